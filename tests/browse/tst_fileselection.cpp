// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/drivelist.h"
#include "browse/filelist.h"
#include "browse/fileselection.h"
#include "browse/folderlist.h"
#include "listhelpers.h"
#include "fixeddriveprovider.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <QScopeGuard>
#include <windows.h>
#endif
#include <QVBoxLayout>

#include <optional>

using namespace Qt::StringLiterals;

namespace {


// The three lists and the Save button wired as the window wires them.
struct Selection
{
    explicit Selection(std::shared_ptr<const DriveProvider> drives)
        : drvlaufwerk(new DriveList(drives, &frame)),
          Dirverzeichnis(new FolderList(drives, &frame)),
          Fildatei(new FileList(StrengthFilePattern.toString(), &frame)),
          btnspeichern(new QPushButton(u"Speichern"_s, &frame))
    {
        auto *layout = new QVBoxLayout(&frame);
        layout->addWidget(drvlaufwerk);
        layout->addWidget(Dirverzeichnis);
        layout->addWidget(Fildatei);
        layout->addWidget(btnspeichern);
        btnspeichern->setEnabled(false);
        connectFileSelection(*drvlaufwerk, *Dirverzeichnis, *Fildatei, *btnspeichern, &frame);
        frame.resize(300, 500);
    }

    bool show()
    {
        frame.show();
        return QTest::qWaitForWindowExposed(&frame);
    }

    void pickDrive(const QString &root)
    {
        // The index change a pick from the drop-down makes, so the same notification runs.
        drvlaufwerk->setCurrentIndex(drvlaufwerk->findData(root));
    }

    void doubleClickFolder(const QString &name)
    {
        const QList<QTreeWidgetItem *> found =
            Dirverzeichnis->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        QVERIFY2(found.size() == 1, qPrintable(name));
        QTest::mouseDClick(Dirverzeichnis->viewport(), Qt::LeftButton, {},
                           Dirverzeichnis->visualItemRect(found.first()).center());
    }

    QWidget frame;
    DriveList *drvlaufwerk;
    FolderList *Dirverzeichnis;
    FileList *Fildatei;
    QPushButton *btnspeichern;
};

} // namespace

class tst_FileSelection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void readableDriveShowsItsFolderAndFiles();
    void unreadableDriveIsUndoneSilently_data();
    void unreadableDriveIsUndoneSilently();
    void unreadableDriveLetterIsUndone();
    void eachDriveReturnsToItsLastFolder();
    void driveListFollowsFolderOpenedElsewhere();
    void openingFolderRefillsFileList_data();
    void openingFolderRefillsFileList();
    void firstSelectionEnablesSaveForGood_data();
    void firstSelectionEnablesSaveForGood();
    void clickWithNothingSelectedLeavesSaveDisabled();
    void refreshKeepsWhatStillExists();

private:
    std::optional<QTemporaryDir> m_dir;
    std::shared_ptr<FixedDriveProvider> m_drives;
    QString m_a;
    QString m_b;
    QString m_gone; // a drive whose mount point no longer exists
};

void tst_FileSelection::init()
{
    m_dir.emplace();
    QVERIFY2(m_dir->isValid(), qPrintable(m_dir->errorString()));
    m_a = makeFolder(*m_dir, u"a"_s);
    m_b = makeFolder(*m_dir, u"b"_s);
    m_gone = m_dir->filePath(u"gone"_s);
    QVERIFY(!m_a.isEmpty() && !m_b.isEmpty());
    QVERIFY(!makeFolder(*m_dir, u"a/sub/deeper"_s).isEmpty());
    QVERIFY(!makeFolder(*m_dir, u"b/empty"_s).isEmpty());
    for (const QString &file : {u"a/sub/a_sp.cfg"_s, u"a/sub/x_sp2.cfg"_s, u"a/sub/notes.txt"_s,
                                u"a/sub/deeper/d_sp.cfg"_s, u"b/b_sp.cfg"_s, u"b/empty/b.cfg"_s})
        QVERIFY(createFile(m_dir->filePath(file)));
    m_drives = std::make_shared<FixedDriveProvider>(
        QList<Drive>{FixedDriveProvider::driveAt(m_a), FixedDriveProvider::driveAt(m_b),
                     FixedDriveProvider::driveAt(m_gone)});
}

void tst_FileSelection::cleanup()
{
    // Nothing may have been said: no message box or other window left behind.
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    m_dir.reset();
}

void tst_FileSelection::readableDriveShowsItsFolderAndFiles()
{
    Selection s(m_drives);
    QVERIFY(!s.Dirverzeichnis->setPath(m_a + u"/sub"_s).failed());
    QCOMPARE(namesOf(*s.Fildatei), (QStringList{u"a_sp.cfg"_s, u"x_sp2.cfg"_s}));

    s.pickDrive(m_b);

    QCOMPARE(s.drvlaufwerk->drive(), m_b);
    QCOMPARE(s.Dirverzeichnis->path(), m_b);
    QCOMPARE(s.Fildatei->folder(), m_b);
    QCOMPARE(namesOf(*s.Fildatei), QStringList{u"b_sp.cfg"_s});
    QCOMPARE(s.Fildatei->selectedIndex(), -1);
}

void tst_FileSelection::unreadableDriveIsUndoneSilently_data()
{
    QTest::addColumn<QString>("shownFolder");
    QTest::addColumn<bool>("removeShownDrive");
    QTest::addColumn<QString>("expectedDrive");
    QTest::addColumn<QStringList>("expectedFiles");

    QTest::newRow("back on the drive of the shown folder")
        << u"a/sub"_s << false << u"a"_s << QStringList{u"a_sp.cfg"_s, u"x_sp2.cfg"_s};
    QTest::newRow("shown drive gone as well: lists stay on the last folder")
        << u"a/sub"_s << true << u"a"_s << QStringList{u"a_sp.cfg"_s, u"x_sp2.cfg"_s};
    QTest::newRow("shown folder on no drive: drive list keeps the pick")
        << u"elsewhere"_s << false << u"gone"_s << QStringList{u"e_sp.cfg"_s};
}

void tst_FileSelection::unreadableDriveIsUndoneSilently()
{
    QFETCH(QString, shownFolder);
    QFETCH(bool, removeShownDrive);
    QFETCH(QString, expectedDrive);
    QFETCH(QStringList, expectedFiles);

    QVERIFY(createFile(makeFolder(*m_dir, u"elsewhere"_s) + u"/e_sp.cfg"_s));
    Selection s(m_drives);
    const QString folder = m_dir->filePath(shownFolder);
    QVERIFY(!s.Dirverzeichnis->setPath(folder).failed());
    s.drvlaufwerk->setDrive(folder);
    if (removeShownDrive)
        QVERIFY(QDir(m_a).removeRecursively());
    QSignalSpy driveChanges(s.drvlaufwerk, &DriveList::driveChanged);
    QSignalSpy pathChanges(s.Dirverzeichnis, &FolderList::pathChanged);
    const int windowsBefore = static_cast<int>(QApplication::topLevelWidgets().size());

    s.pickDrive(m_gone);

    QCOMPARE(s.drvlaufwerk->drive(), m_dir->filePath(expectedDrive));
    QCOMPARE(s.Dirverzeichnis->path(), folder);
    QCOMPARE(s.Fildatei->folder(), folder);
    QCOMPARE(namesOf(*s.Fildatei), expectedFiles);
    QCOMPARE(pathChanges.count(), 0);
    // The pick, then at most the one restore.
    QCOMPARE(driveChanges.count(), expectedDrive == "gone"_L1 ? 1 : 2);
    QCOMPARE(QApplication::topLevelWidgets().size(), windowsBefore);
}

// The system's own drives on Windows: a drive letter whose folder is gone (a substituted
// folder removed; under Wine a dosdevices link that leads nowhere) is undone silently.
void tst_FileSelection::unreadableDriveLetterIsUndone()
{
#ifndef Q_OS_WIN
    QSKIP("drive letters are Windows'");
#else
    const QString target = makeFolder(*m_dir, u"drive-q"_s);
    const std::wstring native = QDir::toNativeSeparators(target).toStdWString();
    QVERIFY(DefineDosDeviceW(0, L"Q:", native.c_str()));
    const auto unmap = qScopeGuard([] { DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"Q:", nullptr); });
    Selection s(createSystemDriveProvider());
    QVERIFY(!s.Dirverzeichnis->setPath(m_b).failed());
    s.drvlaufwerk->setDrive(m_b);
    const QString shownDrive = s.drvlaufwerk->drive();
    s.drvlaufwerk->reloadDrives(); // as when the list drops down
    QVERIFY2(s.drvlaufwerk->findData(u"Q:/"_s) >= 0, "Q: is not listed");
    QVERIFY(QDir(target).removeRecursively());

    s.pickDrive(u"Q:/"_s);

    QCOMPARE(s.drvlaufwerk->drive(), shownDrive);
    QCOMPARE(s.Dirverzeichnis->path(), m_b);
    QCOMPARE(namesOf(*s.Fildatei), QStringList{u"b_sp.cfg"_s});
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
#endif
}

void tst_FileSelection::eachDriveReturnsToItsLastFolder()
{
    Selection s(m_drives);
    QVERIFY(s.show());
    QVERIFY(!s.Dirverzeichnis->setPath(m_a + u"/sub"_s).failed());
    s.drvlaufwerk->setDrive(m_a);

    s.pickDrive(m_b);
    s.doubleClickFolder(u"empty"_s);
    QCOMPARE(s.Dirverzeichnis->path(), m_b + u"/empty"_s);

    s.pickDrive(m_a);
    QCOMPARE(s.Dirverzeichnis->path(), m_a + u"/sub"_s);
    QCOMPARE(namesOf(*s.Fildatei), (QStringList{u"a_sp.cfg"_s, u"x_sp2.cfg"_s}));

    s.pickDrive(m_b);
    QCOMPARE(s.Dirverzeichnis->path(), m_b + u"/empty"_s);
    QVERIFY(namesOf(*s.Fildatei).isEmpty());
}

// A folder opened on another drive (a start path, a drop) moves the drive list there, without
// its handler taking the folder list on to that drive's last folder.
void tst_FileSelection::driveListFollowsFolderOpenedElsewhere()
{
    Selection s(m_drives);
    QVERIFY(!s.Dirverzeichnis->setPath(m_a + u"/sub"_s).failed());
    QSignalSpy driveChanged(s.drvlaufwerk, &DriveList::driveChanged);

    QVERIFY(!s.Dirverzeichnis->setPath(m_b + u"/empty"_s).failed());

    QCOMPARE(s.drvlaufwerk->drive(), m_b);
    QCOMPARE(s.Dirverzeichnis->path(), m_b + u"/empty"_s);
    QCOMPARE(driveChanged.count(), 0);
    s.pickDrive(m_a);
    QCOMPARE(s.Dirverzeichnis->path(), m_a + u"/sub"_s);
}

void tst_FileSelection::openingFolderRefillsFileList_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("byKeyboard");
    QTest::addColumn<QString>("expectedPath");
    QTest::addColumn<QStringList>("expectedFiles");

    QTest::newRow("double-click on a subfolder")
        << u"deeper"_s << false << u"a/sub/deeper"_s << QStringList{u"d_sp.cfg"_s};
    QTest::newRow("Enter on a subfolder")
        << u"deeper"_s << true << u"a/sub/deeper"_s << QStringList{u"d_sp.cfg"_s};
    QTest::newRow("double-click on the drive root")
        << u"root"_s << false << u"a"_s << QStringList{};
}

void tst_FileSelection::openingFolderRefillsFileList()
{
    QFETCH(QString, folder);
    QFETCH(bool, byKeyboard);
    QFETCH(QString, expectedPath);
    QFETCH(QStringList, expectedFiles);

    Selection s(m_drives);
    QVERIFY(s.show());
    QVERIFY(!s.Dirverzeichnis->setPath(m_a + u"/sub"_s).failed());
    const QString rowName = folder == "root"_L1 ? QDir::toNativeSeparators(m_a) : folder;
    if (byKeyboard) {
        const QList<QTreeWidgetItem *> found =
            s.Dirverzeichnis->findItems(rowName, Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        s.Dirverzeichnis->setCurrentItem(found.first());
        QTest::keyClick(s.Dirverzeichnis, Qt::Key_Return);
    } else {
        s.doubleClickFolder(rowName);
    }

    QCOMPARE(s.Dirverzeichnis->path(), m_dir->filePath(expectedPath));
    QCOMPARE(s.Fildatei->folder(), m_dir->filePath(expectedPath));
    QCOMPARE(namesOf(*s.Fildatei), expectedFiles);
}

void tst_FileSelection::firstSelectionEnablesSaveForGood_data()
{
    QTest::addColumn<bool>("byKeyboard");

    QTest::newRow("mouse click") << false;
    QTest::newRow("down arrow") << true;
}

void tst_FileSelection::firstSelectionEnablesSaveForGood()
{
    QFETCH(bool, byKeyboard);

    Selection s(m_drives);
    QVERIFY(s.show());
    QVERIFY(!s.Dirverzeichnis->setPath(m_a + u"/sub"_s).failed());
    QVERIFY(!s.btnspeichern->isEnabled());

    if (byKeyboard)
        QTest::keyClick(s.Fildatei, Qt::Key_Down);
    else
        QTest::mouseClick(s.Fildatei->viewport(), Qt::LeftButton, {},
                          s.Fildatei->visualItemRect(s.Fildatei->item(1)).center());
    QVERIFY(s.Fildatei->selectedIndex() != -1);
    QVERIFY(s.btnspeichern->isEnabled());

    // A folder without matching files, then another drive: nothing selected, Save stays.
    s.doubleClickFolder(QDir::toNativeSeparators(m_a));
    QVERIFY(namesOf(*s.Fildatei).isEmpty());
    QVERIFY(s.btnspeichern->isEnabled());
    s.pickDrive(m_b);
    QCOMPARE(namesOf(*s.Fildatei), QStringList{u"b_sp.cfg"_s});
    QCOMPARE(s.Fildatei->selectedIndex(), -1);
    QVERIFY(s.btnspeichern->isEnabled());
}

void tst_FileSelection::clickWithNothingSelectedLeavesSaveDisabled()
{
    Selection s(m_drives);
    QVERIFY(s.show());
    QVERIFY(!s.Dirverzeichnis->setPath(m_b + u"/empty"_s).failed());
    QVERIFY(namesOf(*s.Fildatei).isEmpty());

    QTest::mouseClick(s.Fildatei->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::keyClick(s.Fildatei, Qt::Key_Down);
    FildateiClick(*s.Fildatei, *s.btnspeichern);

    QCOMPARE(s.Fildatei->selectedIndex(), -1);
    QVERIFY(!s.btnspeichern->isEnabled());
}

// Files and folders come and go behind the lists' back; F5 shows them, the choices kept.
void tst_FileSelection::refreshKeepsWhatStillExists()
{
    Selection s(m_drives);
    const QString sub = m_a + u"/sub"_s;
    QVERIFY(!s.Dirverzeichnis->setPath(sub).failed());
    QVERIFY(s.Fildatei->selectFileName(u"x_sp2.cfg"_s));
    const QList<QTreeWidgetItem *> deeper = s.Dirverzeichnis->findItems(
        u"deeper"_s, Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(deeper.size(), 1);
    s.Dirverzeichnis->setCurrentItem(deeper.first());
    QVERIFY(!s.Dirverzeichnis->changedSinceRead());
    QVERIFY(createFile(sub + u"/n_sp.cfg"_s) && QFile::remove(sub + u"/a_sp.cfg"_s)
            && !makeFolder(*m_dir, u"a/sub/neu"_s).isEmpty());

    refreshLists(*s.drvlaufwerk, *s.Dirverzeichnis, *s.Fildatei);
    QCOMPARE(namesOf(*s.Fildatei), (QStringList{u"n_sp.cfg"_s, u"x_sp2.cfg"_s}));
    QCOMPARE(s.Fildatei->selectedFileName(), u"x_sp2.cfg"_s);
    QCOMPARE(s.Dirverzeichnis->currentItem()->text(0), u"deeper"_s);
    QCOMPARE(s.Dirverzeichnis->findItems(u"neu"_s, Qt::MatchExactly | Qt::MatchRecursive).size(), 1);
    QVERIFY(!s.Dirverzeichnis->changedSinceRead());

    // The chosen file gone, then its folder: nothing chosen, the nearest folder above shown.
    QVERIFY(QFile::remove(sub + u"/x_sp2.cfg"_s));
    refreshLists(*s.drvlaufwerk, *s.Dirverzeichnis, *s.Fildatei);
    QCOMPARE(s.Fildatei->selectedFileName(), QString());
    QVERIFY(removeTree(sub));
    QVERIFY(s.Dirverzeichnis->changedSinceRead());
    refreshLists(*s.drvlaufwerk, *s.Dirverzeichnis, *s.Fildatei);
    QCOMPARE(s.Dirverzeichnis->path(), m_a);
    QCOMPARE(s.Fildatei->folder(), m_a);
}

QTEST_MAIN(tst_FileSelection)
#include "tst_fileselection.moc"
