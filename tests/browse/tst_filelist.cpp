#include "browse/filelist.h"
#include "browse/fileselection.h"
#include "listhelpers.h"

#include <QDir>
#include <QFile>
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
    void clickOnEmptySpaceSelectsNothing();
    void unreadableFolderGivesEmptyList();
};

void tst_FileList::matchesPatternIgnoringCase_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<bool>("listed");

    QTest::newRow("plain match") << u"a_sp.cfg"_s << false << true;
    QTest::newRow("text between sp and extension") << u"x_sp2.cfg"_s << false << true;
    QTest::newRow("upper case") << u"A_SP.CFG"_s << false << true;
    QTest::newRow("nothing before _sp") << u"_sp.cfg"_s << false << true;
    QTest::newRow("hidden file") << u"._sp.cfg"_s << false << true;
    QTest::newRow("another extension after cfg") << u"a_sp.cfg.new"_s << false << false;
    QTest::newRow("no _sp") << u"a.cfg"_s << false << false;
    QTest::newRow("sp without underscore") << u"sp.cfg"_s << false << false;
    QTest::newRow("other extension") << u"a_sp.cfx"_s << false << false;
    QTest::newRow("folder with a matching name") << u"d_sp.cfg"_s << true << false;
}

void tst_FileList::matchesPatternIgnoringCase()
{
    QFETCH(QString, name);
    QFETCH(bool, isFolder);
    QFETCH(bool, listed);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QVERIFY(isFolder ? QDir(dir.path()).mkdir(name) : createFile(dir.filePath(name)));
    QVERIFY(createFile(dir.filePath(u"other.txt"_s)));

    FileList list(StrengthFilePattern.toString());
    list.setFolder(dir.path());
    QCOMPARE(namesOf(list), listed ? QStringList{name} : QStringList{});
}

void tst_FileList::sortedByName()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    for (const QString &name : {u"b_sp.cfg"_s, u"a_sp2.cfg"_s, u"C_sp.cfg"_s, u"A_sp.cfg"_s})
        QVERIFY(createFile(dir.filePath(name)));

    FileList list(StrengthFilePattern.toString());
    list.setFolder(dir.path());
    QCOMPARE(namesOf(list),
             (QStringList{u"A_sp.cfg"_s, u"a_sp2.cfg"_s, u"b_sp.cfg"_s, u"C_sp.cfg"_s}));
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

void tst_FileList::clickOnEmptySpaceSelectsNothing()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QVERIFY(createFile(dir.filePath(u"a_sp.cfg"_s)));
    FileList list(StrengthFilePattern.toString());
    list.resize(200, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.setFolder(dir.path());

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(10, list.viewport()->height() - 5));
    QCOMPARE(list.selectedIndex(), -1);
    QCOMPARE(list.selectedFileName(), QString());
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
