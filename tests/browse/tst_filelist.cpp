// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/filelist.h"
#include "browse/fileselection.h"
#include "listhelpers.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_FileList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesPatternIgnoringCase_data();
    void matchesPatternIgnoringCase();
    void sortedByName();
    void refillSelectsNothingAndRaisesNothing();
    void selectingRaisesClick_data();
    void selectingRaisesClick();
    void clickOnEmptySpaceOrChosenFileChangesNothing();
    void unreadableFolderGivesEmptyList();
};

void tst_FileList::matchesPatternIgnoringCase_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<ObjectKind>("kind");
    QTest::addColumn<QString>("shown"); // the row, empty when not listed

    const ObjectKind file = ObjectKind::File;
    QTest::newRow("plain match") << "a_sp.cfg"_ba << file << u"a_sp.cfg"_s;
    QTest::newRow("text between sp and extension") << "x_sp2.cfg"_ba << file << u"x_sp2.cfg"_s;
    QTest::newRow("upper case") << "A_SP.CFG"_ba << file << u"A_SP.CFG"_s;
    QTest::newRow("nothing before _sp") << "_sp.cfg"_ba << file << u"_sp.cfg"_s;
    QTest::newRow("hidden file") << "._sp.cfg"_ba << file << u"._sp.cfg"_s;
    QTest::newRow("another extension after cfg") << "a_sp.cfg.new"_ba << file << QString();
    QTest::newRow("no _sp") << "a.cfg"_ba << file << QString();
    QTest::newRow("sp without underscore") << "sp.cfg"_ba << file << QString();
    QTest::newRow("other extension") << "a_sp.cfx"_ba << file << QString();
    QTest::newRow("Latin-1 name") << "St\xe4rke_sp.cfg"_ba << file << u"Stärke_sp.cfg"_s;
    QTest::newRow("Latin-1 name in capitals") << "\xc4_SP.CFG"_ba << file << u"Ä_SP.CFG"_s;
    QTest::newRow("line break in the name") << "a\nb_sp.cfg"_ba << file << u"a␊b_sp.cfg"_s;
    QTest::newRow("link to a file") << "l_sp.cfg"_ba << ObjectKind::LinkToFile << u"l_sp.cfg"_s;
    QTest::newRow("folder") << "d_sp.cfg"_ba << ObjectKind::Folder << QString();
    QTest::newRow("link to a folder") << "d_sp.cfg"_ba << ObjectKind::LinkToFolder << QString();
    QTest::newRow("FIFO") << "f_sp.cfg"_ba << ObjectKind::Fifo << QString();
    QTest::newRow("link to a FIFO") << "f_sp.cfg"_ba << ObjectKind::LinkToFifo << QString();
    QTest::newRow("socket") << "s_sp.cfg"_ba << ObjectKind::Socket << QString();
    QTest::newRow("device node") << "n_sp.cfg"_ba << ObjectKind::DeviceNode << QString();
    QTest::newRow("link to a device") << "n_sp.cfg"_ba << ObjectKind::LinkToDevice << QString();
    QTest::newRow("dangling link") << "g_sp.cfg"_ba << ObjectKind::DanglingLink << QString();
    QTest::newRow("marked hidden") << "h_sp.cfg"_ba << ObjectKind::HiddenFile << QString();
    QTest::newRow("marked system") << "s_sp.cfg"_ba << ObjectKind::SystemFile << QString();
}

void tst_FileList::matchesPatternIgnoringCase()
{
    QFETCH(QByteArray, name);
    QFETCH(ObjectKind, kind);
    QFETCH(QString, shown);

    if (const QString why = cannotMake(kind, name); !why.isEmpty())
        QSKIP(qPrintable(why));
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    // "list." beside "list", whose decoy Windows would list for it, trimming the name as typed.
    QVERIFY(createFile(makeFolder(dir, u"list"_s) + u"/decoy_sp.cfg"_s));
    const QString folder = dir.filePath(u"list."_s);
    QVERIFY(makeExactFolder(folder));
    const auto removeOddNames = qScopeGuard([&] { removeTree(folder); });
    QVERIFY(makeObject(folder, makeFolder(dir, u"targets"_s), name, kind));
    QVERIFY(writeExactFile(folder + u"/other.txt"_s, "x"));

    FileList list(StrengthFilePattern.toString());
    list.setFolder(folder);
    QCOMPARE(namesOf(list), shown.isEmpty() ? QStringList{} : QStringList{shown});
    if (shown.isEmpty())
        return;
    // The exact name stays behind the readable row, which keeps one line's height.
    list.item(0)->setSelected(true);
    QCOMPARE(systemFileName(list.selectedFileName()), name);
    QListWidget plain;
    plain.addItem(u"a_sp.cfg"_s);
    QCOMPARE(list.sizeHintForRow(0), plain.sizeHintForRow(0));
}

void tst_FileList::sortedByName()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    // Past ASCII the toolkit's case folding counts: "ä" and "Ä" are one letter, after "z", and
    // the Kelvin sign is a "k".
    const QStringList sorted{u"A_sp.cfg"_s, u"a_sp2.cfg"_s, u"b_sp.cfg"_s, u"C_sp.cfg"_s,
                             u"\u212Aa_sp.cfg"_s, u"kb_sp.cfg"_s, u"äa_sp.cfg"_s, u"Äb_sp.cfg"_s};
    for (const QString &name : {sorted[7], sorted[2], sorted[1], sorted[4], sorted[3], sorted[0],
                                sorted[6], sorted[5]})
        QVERIFY(createFile(dir.filePath(name)));

    FileList list(StrengthFilePattern.toString());
    list.setFolder(dir.path());
    QCOMPARE(namesOf(list), sorted);
}

void tst_FileList::refillSelectsNothingAndRaisesNothing()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QVERIFY(createFile(dir.filePath(u"a_sp.cfg"_s)));
    QVERIFY(createFile(dir.filePath(u"b_sp.cfg"_s)));
    FileList list(StrengthFilePattern.toString());
    list.setFolder(dir.path());
    list.setCurrentRow(1);
    QCOMPARE(list.selectedIndex(), 1);
    QSignalSpy clicks(&list, &FileList::fileClicked);

    list.setFolder(dir.path());

    QCOMPARE(list.count(), 2);
    QCOMPARE(list.selectedIndex(), -1);
    QCOMPARE(list.selectedFileName(), QString());
    QCOMPARE(list.currentRow(), -1);
    QVERIFY(list.selectedItems().isEmpty());
    QCOMPARE(clicks.count(), 0);
}

void tst_FileList::selectingRaisesClick_data()
{
    QTest::addColumn<bool>("byKeyboard");
    QTest::addColumn<bool>("tabbedIn");
    QTest::addColumn<int>("expectedIndex");

    QTest::newRow("mouse click on the second entry") << false << false << 1;
    QTest::newRow("down arrow selects the first entry") << true << false << 0;
    // Focus by Tab makes the first entry current without selecting it.
    QTest::newRow("tabbed in, down arrow selects the first entry") << true << true << 0;
}

void tst_FileList::selectingRaisesClick()
{
    QFETCH(bool, byKeyboard);
    QFETCH(bool, tabbedIn);
    QFETCH(int, expectedIndex);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QVERIFY(createFile(dir.filePath(u"a_sp.cfg"_s)));
    QVERIFY(createFile(dir.filePath(u"b_sp.cfg"_s)));
    FileList list(StrengthFilePattern.toString());
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.setFolder(dir.path());
    int indexSeenByHandler = -2;
    connect(&list, &FileList::fileClicked, this, [&] { indexSeenByHandler = list.selectedIndex(); });
    QSignalSpy clicks(&list, &FileList::fileClicked);
    if (tabbedIn) {
        QVERIFY(QTest::qWaitForWindowActive(&list));
        list.clearFocus();
        list.setFocus(Qt::TabFocusReason);
        QVERIFY(list.currentItem());
    }

    if (byKeyboard)
        QTest::keyClick(&list, Qt::Key_Down);
    else
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                          list.visualItemRect(list.item(1)).center());

    QCOMPARE(clicks.count(), 1);
    QCOMPARE(indexSeenByHandler, expectedIndex);
    QCOMPARE(list.selectedIndex(), expectedIndex);
    QCOMPARE(list.selectedFileName(), list.item(expectedIndex)->text());
}

// Save stays enabled once a file was chosen; only another file may replace the choice.
void tst_FileList::clickOnEmptySpaceOrChosenFileChangesNothing()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QVERIFY(createFile(dir.filePath(u"a_sp.cfg"_s)));
    FileList list(StrengthFilePattern.toString());
    list.resize(200, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.setFolder(dir.path());
    const QPoint below(10, list.viewport()->height() - 5);

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, below);
    QCOMPARE(list.selectedIndex(), -1);

    list.item(0)->setSelected(true);
    QSignalSpy clicks(&list, &FileList::fileClicked);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, below);
    QCOMPARE(list.selectedIndex(), 0);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list.visualItemRect(list.item(0)).center());
    QCOMPARE(list.selectedIndex(), 0);
    QCOMPARE(clicks.count(), 0);
}

void tst_FileList::unreadableFolderGivesEmptyList()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QVERIFY(createFile(dir.filePath(u"a_sp.cfg"_s)));
    FileList list(StrengthFilePattern.toString());
    list.setFolder(dir.path());
    QCOMPARE(list.count(), 1);

    list.setFolder(dir.filePath(u"missing"_s));
    QCOMPARE(list.count(), 0);
    QCOMPARE(list.selectedIndex(), -1);
}

QTEST_MAIN(tst_FileList)
#include "tst_filelist.moc"
