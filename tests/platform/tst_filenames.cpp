// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/filenames.h"
#include "platform/paths.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_FileNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exactBytesAndReadableText_data();
    void exactBytesAndReadableText();
    void anyBytesComeBackExactly();
    void pathSplitAndJoined_data();
    void pathSplitAndJoined();
};

void tst_FileNames::exactBytesAndReadableText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("readable");

    QTest::newRow("ascii") << "a_sp.cfg"_ba << u"a_sp.cfg"_s;
    QTest::newRow("utf-8 umlaut") << "St\xc3\xa4rke_sp.cfg"_ba << u"Stärke_sp.cfg"_s;
    QTest::newRow("latin-1 umlaut") << "St\xe4rke_sp.cfg"_ba << u"Stärke_sp.cfg"_s;
    QTest::newRow("latin-1 at the end") << "a\xfc"_ba << u"aü"_s;
    QTest::newRow("lone continuation byte") << "a\x80z"_ba << u"a\uFFFDz"_s;
    QTest::newRow("overlong slash") << "\xc0\xaf"_ba << u"À¯"_s;
    QTest::newRow("encoded surrogate") << "\xed\xb2\x80"_ba << u"í²\uFFFD"_s;
    QTest::newRow("truncated sequence") << "x\xe2\x82"_ba << u"xâ\uFFFD"_s;
    QTest::newRow("pair whose low half looks escaped") << "\xf0\x90\x82\x80"_ba
                                                         << QString::fromUtf8("\xf0\x90\x82\x80");
    QTest::newRow("byte order mark first") << "\xef\xbb\xbf" "bom_sp.cfg"_ba << u"\uFEFFbom_sp.cfg"_s;
    QTest::newRow("line break") << "a\nb_sp.cfg"_ba << u"a␊b_sp.cfg"_s;
    QTest::newRow("carriage return and tab") << "a\r\tb"_ba << u"a␍␉b"_s;
}

void tst_FileNames::exactBytesAndReadableText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, readable);

    const QString name = fileNameFromSystem(bytes);
    QCOMPARE(systemFileName(name), bytes);
    QCOMPARE(readableFileName(name), readable);
}

void tst_FileNames::anyBytesComeBackExactly()
{
    QRandomGenerator random(20261207);
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes(random.bounded(1, 12), Qt::Uninitialized);
        for (char &b : bytes)
            b = static_cast<char>(random.bounded(1, 256));
        const QString name = fileNameFromSystem(bytes);
        QVERIFY2(systemFileName(name) == bytes, bytes.toHex(' ').constData());
    }
}

// One rule for roots wherever a path is split or joined: a root keeps its "/".
void tst_FileNames::pathSplitAndJoined_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("root");

    QTest::newRow("bare name") << u"a_sp.cfg"_s << u"."_s << u"a_sp.cfg"_s << QString();
    QTest::newRow("relative") << u"liga/a_sp.cfg"_s << u"liga"_s << u"a_sp.cfg"_s << QString();
    QTest::newRow("in the root") << u"/a_sp.cfg"_s << u"/"_s << u"a_sp.cfg"_s << u"/"_s;
    QTest::newRow("below the root") << u"/srv/a"_s << u"/srv"_s << u"a"_s << u"/"_s;
    QTest::newRow("root with a separator added") << u"//a"_s << u"/"_s << u"a"_s << u"/"_s;
    QTest::newRow("drive root") << u"C:/a"_s << u"C:/"_s << u"a"_s << u"C:/"_s;
    QTest::newRow("drive root with a separator added") << u"C://a"_s << u"C:/"_s << u"a"_s
                                                       << u"C:/"_s;
    QTest::newRow("network share") << u"//srv/share/a"_s << u"//srv/share"_s << u"a"_s
                                   << u"//srv/share"_s;
    QTest::newRow("folder given with its separator") << u"liga/"_s << u"liga"_s << QString()
                                                     << QString();
}

void tst_FileNames::pathSplitAndJoined()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, root);

    const FolderAndName parts = splitPath(path);
    QCOMPARE(parts.folder, folder);
    QCOMPARE(parts.name, name);
    QCOMPARE(rootOf(path), root);
    if (!name.isEmpty() && !path.contains("//"_L1))
        QCOMPARE(joinPath(folder, name), path);
}

QTEST_APPLESS_MAIN(tst_FileNames)
#include "tst_filenames.moc"
