#include "rewrite/rewriteline.h"
#include <QTest>
class tst_RewriteLine : public QObject { Q_OBJECT
private Q_SLOTS:
    void smoke() { QCOMPARE(RewriteLine("01STabcdXYZ 3000", 7, 9), QByteArray("01STabcd                          7000 ")); }
};
QTEST_APPLESS_MAIN(tst_RewriteLine)
#include "tst_rewriteline.moc"
