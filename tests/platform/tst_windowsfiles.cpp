// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows side's rare outcomes, brought about through its table of file calls: ReplaceFileW's
// refusals and half-done failures, a folder that cannot be flushed, a folder read failing part
// way. Whatever happens, the selected file stays, and the earlier .new or the new content keeps
// a name.
#include "platform/folders.h"
#include "platform/paths.h"
#include "platform/windows/systemcalls.h"
#include "rewrite/savemessages.h"
#include "tests/rewrite/savetesthelpers.h"

#include <QTest>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

struct Script
{
    DWORD replaceError = 0;  // ReplaceFileW's answer; 0 for the real call
    int moveFailures = 0;    // MoveFileExW calls refused before the real ones
    DWORD flushError = 0;    // the folder flush's answer; 0 for the real call
    int findNextBefore = -1; // FindNextFileW calls before one fails; -1 never
};
Script script;

// As ReplaceFileW fails half done: the earlier file moved to the backup name, the new one not
// in its place (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2).
BOOL WINAPI scriptedReplace(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags,
                            LPVOID exclude, LPVOID reserved)
{
    if (script.replaceError == 0)
        return ReplaceFileW(replaced, replacement, backup, flags, exclude, reserved);
    if (script.replaceError == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
        MoveFileExW(replaced, backup, 0);
    SetLastError(script.replaceError);
    return FALSE;
}

BOOL WINAPI scriptedMove(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    if (script.moveFailures-- > 0) {
        SetLastError(ERROR_WRITE_PROTECT);
        return FALSE;
    }
    return MoveFileExW(from, to, flags);
}

BOOL WINAPI scriptedFlush(HANDLE folder)
{
    if (script.flushError == 0)
        return FlushFileBuffers(folder);
    SetLastError(script.flushError);
    return FALSE;
}

BOOL WINAPI scriptedFindNext(HANDLE search, LPWIN32_FIND_DATAW entry)
{
    if (script.findNextBefore >= 0 && script.findNextBefore-- == 0) {
        SetLastError(ERROR_NETNAME_DELETED);
        return FALSE;
    }
    return FindNextFileW(search, entry);
}

const QByteArray Input = "01STRENGTH  3000\r\n"_ba;
const QByteArray Earlier = "earlier\r\n"_ba;
const QByteArray Saved = "01STRENG" + QByteArray(25, ' ') + " 0 \r\n";

} // namespace

class tst_WindowsFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void puttingInPlace_data();
    void puttingInPlace();
    void folderReadFailingPartWay();
};

void tst_WindowsFiles::init()
{
    script = {};
    fileCalls() = {&scriptedReplace, &scriptedMove, &scriptedFlush, &scriptedFindNext};
}

void tst_WindowsFiles::puttingInPlace_data()
{
    QTest::addColumn<Script>("given");
    QTest::addColumn<SaveOutcome::Step>("failedStep"); // None: saved
    QTest::addColumn<QByteArray>("output"); // the .new afterwards, empty for none

    using Step = SaveOutcome::Step;
    QTest::newRow("refused for want of WRITE_DAC: a replacing move")
        << Script{ERROR_ACCESS_DENIED} << Step::None << Saved;
    QTest::newRow("unsupported on a redirected folder: a replacing move")
        << Script{ERROR_INVALID_FUNCTION} << Step::None << Saved;
    QTest::newRow("replacement not renamed, nothing moved: a replacing move")
        << Script{ERROR_UNABLE_TO_MOVE_REPLACEMENT} << Step::None << Saved;
    QTest::newRow("half done, then the new file moved in")
        << Script{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2} << Step::None << Saved;
    QTest::newRow("half done, the earlier file moved back")
        << Script{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, 1} << Step::WriteOutput << Earlier;
    QTest::newRow("half done, neither moved: both kept and named")
        << Script{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, 2} << Step::WriteOutput << QByteArray();
    QTest::newRow("a folder that cannot be flushed (FAT)")
        << Script{0, 0, ERROR_INVALID_FUNCTION} << Step::None << Saved;
    QTest::newRow("flushing the folder fails") << Script{0, 0, ERROR_IO_DEVICE} << Step::SyncFolder
                                               << Saved;
}

void tst_WindowsFiles::puttingInPlace()
{
    QFETCH(Script, given);
    QFETCH(SaveOutcome::Step, failedStep);
    QFETCH(QByteArray, output);
    ScratchFolder folder;
    QVERIFY(folder.holds(Input, Earlier));
    script = given;

    const SaveOutcome outcome = folder.caller.save();
    QCOMPARE(outcome.step, failedStep);
    QCOMPARE(readFile(folder.inputPath), Input);
    QCOMPARE(readFile(folder.outputPath).value_or(QByteArray()), output);
    QStringList kept{u"a_sp.cfg"_s};
    if (!output.isEmpty())
        kept << u"a_sp.cfg.new"_s;
    if (output.isEmpty()) {
        QCOMPARE(readFile(outcome.earlierOutputAt), Earlier);
        QCOMPARE(readFile(outcome.newContentKeptAt), Saved);
        const QString said = saveMessage(outcome).text();
        QVERIFY2(said.contains(shownPath(outcome.earlierOutputAt))
                     && said.contains(shownPath(outcome.newContentKeptAt)),
                 qPrintable(said));
        kept << splitPath(outcome.earlierOutputAt).name << splitPath(outcome.newContentKeptAt).name;
        kept.sort();
    }
    QCOMPARE(listing(folder.dir.path()), kept);
}

// One failed step of a folder's read shows none of it, so no list shows half a folder as whole.
void tst_WindowsFiles::folderReadFailingPartWay()
{
    ScratchFolder folder;
    for (const QString &name : {u"a_sp.cfg"_s, u"b_sp.cfg"_s, u"c_sp.cfg"_s})
        QVERIFY(writeFile(folder.dir.filePath(name), Input));
    QCOMPARE(readFolder(folder.dir.path()).files.size(), 3);

    script.findNextBefore = 2;
    const FolderEntries entries = readFolder(folder.dir.path());
    QCOMPARE(entries.error.number, ENOTCONN);
    QCOMPARE(entries.files, QStringList());
}

QTEST_GUILESS_MAIN(tst_WindowsFiles)
#include "tst_windowsfiles.moc"
