// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/folderlist.h"
#include "fixeddriveprovider.h"
#include "listhelpers.h"
#include "platform/folders.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// The rows as the user reads them: each name indented by its depth, "> " marking the
// current folder.
QStringList rowsOf(const QTreeWidget &list)
{
    QStringList rows;
    const auto add = [&](const auto &self, const QTreeWidgetItem *item, int depth) -> void {
        const QString marker = item == list.currentItem() ? u"> "_s : QString();
        rows.append(QString(depth * 2, u' ') + marker + item->text(0));
        for (int i = 0; i < item->childCount(); ++i)
            self(self, item->child(i), depth + 1);
    };
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        add(add, list.topLevelItem(i), 0);
    return rows;
}

QTreeWidgetItem *rowNamed(const QTreeWidget &list, const QString &name)
{
    const QList<QTreeWidgetItem *> found =
        list.findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.size() == 1 ? found.first() : nullptr;
}

} // namespace

class tst_FolderList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void showsPathFromDriveRootAndSubfolders();
    void startsAtFileSystemRootOffTheDrives();
    void currentFolderWhoseNameIsNotText();
    void showsOnlyFolders_data();
    void showsOnlyFolders();
    void unreadableFolderKeepsPath_data();
    void unreadableFolderKeepsPath();
    void pathChangedOncePerChange();
    void driveTextShowsLastFolderOnThatDrive();
    void driveTextFallsBackToRootWhenLastFolderIsGone();
    void opensFolder_data();
    void opensFolder();
    void opensSymlinkedFolder();
    void vanishedFolderIsDroppedInsteadOfOpened();
    void largeFolderListsEverySubfolder();

private:
    std::optional<QTemporaryDir> m_dir;
    std::shared_ptr<FixedDriveProvider> m_drives;
    QString m_a; // drive A
    QString m_b; // drive B
};

void tst_FolderList::init()
{
    m_dir.emplace();
    QVERIFY2(m_dir->isValid(), qPrintable(m_dir->errorString()));
    m_a = makeFolder(*m_dir, u"a"_s);
    m_b = makeFolder(*m_dir, u"b"_s);
    QVERIFY(!m_a.isEmpty() && !m_b.isEmpty());
    m_drives = std::make_shared<FixedDriveProvider>(
        QList<Drive>{FixedDriveProvider::driveAt(m_a), FixedDriveProvider::driveAt(m_b)});
}

void tst_FolderList::cleanup()
{
    QVERIFY(removeTree(m_dir->path()));
    m_dir.reset();
}

void tst_FolderList::showsPathFromDriveRootAndSubfolders()
{
    const QString folder = makeFolder(*m_dir, u"a/x/y"_s);
    QStringList names{u"Zeta"_s, u"alpha"_s, u".hidden"_s, u"Beta"_s};
    if (CaseSensitiveNames)
        names << u"beta"_s;
    for (const QString &name : names)
        QVERIFY(!makeFolder(*m_dir, u"a/x/y/"_s + name).isEmpty());
    QFile file(folder + u"/file.txt"_s);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    if (SymbolicLinks) {
        QVERIFY(QFile::link(m_b, folder + u"/link"_s));
        QVERIFY(QFile::link(folder + u"/missing"_s, folder + u"/broken"_s));
    }

    FolderList list(m_drives);
    QVERIFY(!list.setPath(folder).failed());

    QCOMPARE(list.path(), folder);
    QStringList expected{QDir::toNativeSeparators(m_a), u"  x"_s, u"    > y"_s,
                         u"      .hidden"_s, u"      alpha"_s, u"      Beta"_s};
    if (CaseSensitiveNames)
        expected << u"      beta"_s;
    if (SymbolicLinks)
        expected << u"      link"_s;
    QCOMPARE(rowsOf(list), expected << u"      Zeta"_s);
}

void tst_FolderList::startsAtFileSystemRootOffTheDrives()
{
    const QString folder = makeFolder(*m_dir, u"elsewhere"_s);
    FolderList list(std::make_shared<FixedDriveProvider>());
    QVERIFY(!list.setPath(folder).failed());

    const QStringList rows = rowsOf(list);
    QCOMPARE(rows.first(), QDir::toNativeSeparators(QDir::rootPath()));
    QCOMPARE(rows.last().trimmed(), u"> elsewhere"_s);
}

void tst_FolderList::currentFolderWhoseNameIsNotText()
{
#ifdef Q_OS_WIN
    QSKIP("Windows names are UTF-16: every one is valid text");
#else
    QVERIFY(makeObject(m_a, m_b, "G\xe4ste", ObjectKind::Folder));
    const QString guests = m_a + u'/' + fileNameFromSystem("G\xe4ste");
    const QString previous = QDir::currentPath();
    QCOMPARE(::chdir(systemFileName(guests).constData()), 0);
    FolderList list(m_drives);
    QVERIFY(!list.setPath(currentFolder()).failed());
    QDir::setCurrent(previous);
    QCOMPARE(list.path(), guests);
#endif
}

// Objects that are never folders themselves (files, FIFOs, sockets) are the file list test's.
void tst_FolderList::showsOnlyFolders_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<ObjectKind>("kind");
    QTest::addColumn<QString>("shown"); // the row, empty when not listed

    QTest::newRow("folder") << "sub"_ba << ObjectKind::Folder << u"sub"_s;
    QTest::newRow("Latin-1 name") << "G\xe4ste"_ba << ObjectKind::Folder << u"Gäste"_s;
    QTest::newRow("line break in the name") << "a\nb"_ba << ObjectKind::Folder << u"a␊b"_s;
    QTest::newRow("link to a folder") << "link"_ba << ObjectKind::LinkToFolder << u"link"_s;
    QTest::newRow("link to a FIFO") << "f"_ba << ObjectKind::LinkToFifo << QString();
    QTest::newRow("link to a device") << "n"_ba << ObjectKind::LinkToDevice << QString();
    QTest::newRow("dangling link") << "g"_ba << ObjectKind::DanglingLink << QString();
    QTest::newRow("marked hidden") << "h"_ba << ObjectKind::HiddenFolder << QString();
    QTest::newRow("marked system") << "$Recycle.Bin"_ba << ObjectKind::SystemFolder << QString();
    // Names Windows keeps, from zips, Linux or shares, that it would change in a typed path.
    QTest::newRow("name ending in a dot") << "Liga."_ba << ObjectKind::Folder << u"Liga."_s;
    QTest::newRow("name ending in a space") << "Liga "_ba << ObjectKind::Folder << u"Liga "_s;
    QTest::newRow("device name") << "con"_ba << ObjectKind::Folder << u"con"_s;
}

// A listed folder opens under its exact name, whatever its row shows.
void tst_FolderList::showsOnlyFolders()
{
    QFETCH(QByteArray, name);
    QFETCH(ObjectKind, kind);
    QFETCH(QString, shown);

    if (const QString why = cannotMake(kind, name); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY(makeObject(m_a, m_b, name, kind));
    FolderList list(m_drives);
    QVERIFY(!list.setPath(m_a).failed());
    QCOMPARE(rowsOf(list).mid(1), shown.isEmpty() ? QStringList{} : QStringList{u"  "_s + shown});
    if (shown.isEmpty())
        return;

    list.setCurrentItem(list.topLevelItem(0)->child(0));
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(systemFileName(list.path()), systemFileName(m_a) + '/' + name);
    QCOMPARE(rowsOf(list).last(), u"  > "_s + shown);
}

void tst_FolderList::unreadableFolderKeepsPath_data()
{
    QTest::addColumn<QString>("assigned");
    QTest::addColumn<int>("expectedError");

    QTest::newRow("missing folder") << u"a/missing"_s << ENOENT;
    QTest::newRow("file in place of a folder") << u"a/file_sp.cfg"_s << ENOTDIR;
    QTest::newRow("drive whose mount point is gone") << u"gone"_s << ENOENT;
    QTest::newRow("empty path") << QString() << ENOENT;
}

void tst_FolderList::unreadableFolderKeepsPath()
{
    QFETCH(QString, assigned);
    QFETCH(int, expectedError);

    QFile file(m_a + u"/file_sp.cfg"_s);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString gone = m_dir->filePath(u"gone"_s);
    m_drives->setDrives(m_drives->drives() << FixedDriveProvider::driveAt(gone));
    const QString folder = makeFolder(*m_dir, u"a/x"_s);
    FolderList list(m_drives);
    QVERIFY(!list.setPath(folder).failed());
    const QStringList rowsBefore = rowsOf(list);
    QSignalSpy changes(&list, &FolderList::pathChanged);

    const SystemError result =
        list.setPath(assigned.isEmpty() ? assigned : m_dir->filePath(assigned));
    QCOMPARE(result.number, expectedError);
    QCOMPARE(list.path(), folder);
    QCOMPARE(rowsOf(list), rowsBefore);
    QCOMPARE(changes.count(), 0);
}

void tst_FolderList::pathChangedOncePerChange()
{
    const QString x = makeFolder(*m_dir, u"a/x"_s);
    FolderList list(m_drives);
    QVERIFY(!list.setPath(m_a).failed());
    QString pathSeenByHandler;
    connect(&list, &FolderList::pathChanged, this, [&] { pathSeenByHandler = list.path(); });
    QSignalSpy changes(&list, &FolderList::pathChanged);

    QVERIFY(!list.setPath(x).failed());
    QCOMPARE(changes.count(), 1);
    QCOMPARE(pathSeenByHandler, x);

    QVERIFY(!list.setPath(x + u"/"_s).failed());
    QCOMPARE(changes.count(), 1);
}

void tst_FolderList::driveTextShowsLastFolderOnThatDrive()
{
    const QString ax = makeFolder(*m_dir, u"a/x/y"_s);
    const QString bq = makeFolder(*m_dir, u"b/q"_s);
    FolderList list(m_drives);

    QVERIFY(!list.setPath(ax).failed());
    QVERIFY(!list.setPath(m_b).failed());
    QCOMPARE(list.path(), m_b); // first visit: the root
    QVERIFY(!list.setPath(bq).failed());
    QVERIFY(!list.setPath(m_a).failed());
    QCOMPARE(list.path(), ax);
    QVERIFY(!list.setPath(m_b).failed());
    QCOMPARE(list.path(), bq);
}

void tst_FolderList::driveTextFallsBackToRootWhenLastFolderIsGone()
{
    const QString ax = makeFolder(*m_dir, u"a/x"_s);
    FolderList list(m_drives);
    QVERIFY(!list.setPath(ax).failed());
    QVERIFY(!list.setPath(m_b).failed());
    QVERIFY(QDir(ax).removeRecursively());

    QVERIFY(!list.setPath(m_a).failed());
    QCOMPARE(list.path(), m_a);
}

void tst_FolderList::opensFolder_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<bool>("byKeyboard");
    QTest::addColumn<QString>("expectedPath");
    QTest::addColumn<int>("expectedChanges");

    // Shown before each row: a/x/sub.
    QTest::newRow("double-click on a subfolder") << u"deeper"_s << false << u"a/x/sub/deeper"_s << 1;
    QTest::newRow("double-click on the drive root") << u"root"_s << false << u"a"_s << 1;
    QTest::newRow("double-click on a folder above") << u"x"_s << false << u"a/x"_s << 1;
    QTest::newRow("double-click on the current folder") << u"sub"_s << false << u"a/x/sub"_s << 0;
    QTest::newRow("Enter on a subfolder") << u"deeper"_s << true << u"a/x/sub/deeper"_s << 1;
    QTest::newRow("Enter on the drive root") << u"root"_s << true << u"a"_s << 1;
}

void tst_FolderList::opensFolder()
{
    QFETCH(QString, row);
    QFETCH(bool, byKeyboard);
    QFETCH(QString, expectedPath);
    QFETCH(int, expectedChanges);

    QVERIFY(!makeFolder(*m_dir, u"a/x/sub/deeper"_s).isEmpty());
    QVERIFY(!makeFolder(*m_dir, u"a/x/sub/other"_s).isEmpty());
    FolderList list(m_drives);
    list.resize(300, 400);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QVERIFY(!list.setPath(m_dir->filePath(u"a/x/sub"_s)).failed());
    QSignalSpy changes(&list, &FolderList::pathChanged);

    QTreeWidgetItem *item = row == "root"_L1 ? list.topLevelItem(0) : rowNamed(list, row);
    QVERIFY(item);
    if (byKeyboard) {
        list.setCurrentItem(item);
        QTest::keyClick(&list, Qt::Key_Return);
    } else {
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {},
                           list.visualItemRect(item).center());
    }

    QCOMPARE(list.path(), m_dir->filePath(expectedPath));
    QCOMPARE(changes.count(), expectedChanges);
    // The rows are rebuilt around the opened folder.
    const QString currentRow = expectedPath == "a"_L1 ? QDir::toNativeSeparators(m_a)
                                                      : expectedPath.section(u'/', -1);
    QVERIFY(list.currentItem());
    QCOMPARE(list.currentItem()->text(0), currentRow);
}

void tst_FolderList::opensSymlinkedFolder()
{
    if (!SymbolicLinks)
        QSKIP("QFile::link makes a shortcut file here, no folder");
    QVERIFY(!makeFolder(*m_dir, u"b/inside"_s).isEmpty());
    QVERIFY(QFile::link(m_b, m_a + u"/link"_s));
    FolderList list(m_drives);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QVERIFY(!list.setPath(m_a).failed());

    QTreeWidgetItem *link = rowNamed(list, u"link"_s);
    QVERIFY(link);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(link).center());

    QCOMPARE(list.path(), m_a + u"/link"_s);
    QVERIFY(rowNamed(list, u"inside"_s));
}

void tst_FolderList::vanishedFolderIsDroppedInsteadOfOpened()
{
    const QString sub = makeFolder(*m_dir, u"a/sub"_s);
    QVERIFY(!makeFolder(*m_dir, u"a/stays"_s).isEmpty());
    FolderList list(m_drives);
    QVERIFY(!list.setPath(m_a).failed());
    QSignalSpy changes(&list, &FolderList::pathChanged);
    QVERIFY(QDir(sub).removeRecursively());

    QTreeWidgetItem *item = rowNamed(list, u"sub"_s);
    QVERIFY(item);
    list.setCurrentItem(item);
    QTest::keyClick(&list, Qt::Key_Enter);

    QCOMPARE(list.path(), m_a);
    QCOMPARE(changes.count(), 0);
    QVERIFY(!rowNamed(list, u"sub"_s));
    QVERIFY(rowNamed(list, u"stays"_s));
}

void tst_FolderList::largeFolderListsEverySubfolder()
{
    const QString big = makeFolder(*m_dir, u"a/big"_s);
    QDir dir(big);
    for (int i = 0; i < 10000; ++i)
        QVERIFY(dir.mkdir(u"f%1"_s.arg(i, 5, 10, QChar(u'0'))));
    FolderList list(m_drives);
    QVERIFY(!list.setPath(big).failed());

    QTreeWidgetItem *current = list.currentItem();
    QVERIFY(current);
    QCOMPARE(current->childCount(), 10000);
    QCOMPARE(current->child(0)->text(0), u"f00000"_s);
    QCOMPARE(current->child(9999)->text(0), u"f09999"_s);
}

QTEST_MAIN(tst_FolderList)
#include "tst_folderlist.moc"
