// Drives the real window like a user: mouse and keyboard only, real message box.
#include "app/form1.h"
#include "app/windowservices.h"
#include "browse/driveprovider.h"
#include "browse/filelist.h"
#include "browse/folderlist.h"
#include "tests/app/messageboxanswer.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class tst_EndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void chooseRateAndSave();
};

void tst_EndToEnd::cleanup()
{
    QTRY_VERIFY2(QApplication::topLevelWidgets().isEmpty(), "a window was left behind");
}

namespace {

void doubleClickFolder(FolderList &list, const QString &name)
{
    const QList<QTreeWidgetItem *> found = list.findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    QVERIFY2(found.size() == 1, qPrintable(name));
    list.scrollToItem(found[0]);
    const QPoint at = list.visualItemRect(found[0]).center();
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
}

void pressDown(QWidget *widget, int times)
{
    widget->setFocus();
    for (int i = 0; i < times; ++i)
        QTest::keyClick(widget, Qt::Key_Down);
}

} // namespace

void tst_EndToEnd::chooseRateAndSave()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QVERIFY(QDir(dir.path()).mkdir(u"Spielstand"_s));
    const QString input = dir.filePath(u"Spielstand/team_sp3.cfg"_s);
    const QByteArray original = "[Team]\r\n01STRENGTH  3000\r\n01MAXSTRENGTH   8000\r\nende";
    {
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(original), original.size());
    }

    Form1 form({std::make_shared<WindowServices>(), createSystemDriveProvider(), dir.path()});
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const Controls &c = form.controls();
    QCOMPARE(c.Fildatei->count(), 0);

    doubleClickFolder(*c.Dirverzeichnis, u"Spielstand"_s);
    QCOMPARE(c.Fildatei->count(), 1);
    QVERIFY(!c.btnspeichern->isEnabled());
    QTest::mouseClick(c.Fildatei->viewport(), Qt::LeftButton, {},
                      c.Fildatei->visualItemRect(c.Fildatei->item(0)).center());
    QVERIFY(c.btnspeichern->isEnabled());

    pressDown(c.cbostar[0], 5); // "2.5 Sterne"
    QCOMPARE(c.cbostar[1]->currentIndex(), 5); // pulled up with the start
    pressDown(c.cbostar[1], 3);                // "4.0 Sterne"
    QCOMPARE(c.cbostar[0]->currentText(), u"2.5 Sterne"_s);
    QCOMPARE(c.cbostar[1]->currentText(), u"4.0 Sterne"_s);

    MessageBoxAnswer answer;
    answer.armFor(&form);
    c.btnspeichern->setFocus();
    QTest::keyClick(c.btnspeichern, Qt::Key_Space);

    QVERIFY(answer.answered);
    QCOMPARE(answer.text, u"Speichern erfolgreich"_s);
    QCOMPARE(answer.icon, QMessageBox::Information);
    QFile output(input + ".new"_L1);
    QVERIFY(output.open(QIODevice::ReadOnly));
    QCOMPARE(output.readAll(), "[Team]\r\n"
                               "01STRENG" + QByteArray(25, ' ') + " 5000 \r\n"
                               "01MAXSTRENGT" + QByteArray(21, ' ') + " 8000 \r\n"
                               "ende\r\n");
    QFile unchanged(input);
    QVERIFY(unchanged.open(QIODevice::ReadOnly));
    QCOMPARE(unchanged.readAll(), original);
}

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
