// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows side's rare outcomes, brought about through its table of file calls: ReplaceFileW
// refused or half done, a share without WRITE_DAC, a folder that cannot be flushed, a folder read
// failing part way; and a folder renamed from the Linux side while a save writes in it.
#include "platform/folders.h"
#include "platform/paths.h"
#include "platform/windows/systemcalls.h"
#include "rewrite/savemessages.h"
#include "tests/rewrite/savetesthelpers.h"
#include "tests/support/exactfiles.h"

#include <QProcess>
#include <QTest>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

struct Script
{
    DWORD replaceError = 0; // 0: the real calls
    int moveFailures = 0;   // MoveFileExW calls refused before the real ones
    DWORD flushError = 0;
    int findNextFailsAt = -1;
    bool writeDacWithheld = false;
    int replaceFailures = 1000; // ReplaceFileW calls refused before the real ones
};
Script script;

// Half done is as Windows leaves it: the earlier file under the backup name.
BOOL WINAPI scriptedReplace(LPCWSTR replaced, LPCWSTR by, LPCWSTR backup, DWORD flags, LPVOID,
                            LPVOID)
{
    if (!script.replaceError || script.replaceFailures-- <= 0)
        return ReplaceFileW(replaced, by, backup, flags, nullptr, nullptr);
    if (script.replaceError == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
        MoveFileExW(replaced, backup, 0);
    SetLastError(script.replaceError);
    return false;
}

HANDLE WINAPI scriptedCreate(LPCWSTR name, DWORD access, DWORD share,
                             LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                             HANDLE from)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return script.writeDacWithheld && (access & WRITE_DAC)
        ? INVALID_HANDLE_VALUE
        : CreateFileW(name, access, share, security, disposition, flags, from);
}

BOOL WINAPI scriptedMove(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    SetLastError(ERROR_WRITE_PROTECT);
    return script.moveFailures-- <= 0 && MoveFileExW(from, to, flags);
}

BOOL WINAPI scriptedFlush(HANDLE folder)
{
    SetLastError(script.flushError);
    return !script.flushError && FlushFileBuffers(folder);
}

BOOL WINAPI scriptedFindNext(HANDLE search, LPWIN32_FIND_DATAW entry)
{
    SetLastError(ERROR_NETNAME_DELETED);
    return script.findNextFailsAt-- != 0 && FindNextFileW(search, entry);
}

const QByteArray Input = "01STRENGTH  3000\r\n"_ba;
const QByteArray Earlier = "earlier\r\n"_ba;
const QByteArray Saved = "01STRENG" + QByteArray(25, ' ') + " 0 \r\n";

// Wine starts a Linux program without a process handle to wait on: the rename is awaited by
// its outcome, the folder under its new name.
bool renameOnLinuxSide(const QString &from, const QString &to)
{
    if (!QProcess::startDetached(u"Z:\\bin\\mv"_s, {wineUnixPath(from), wineUnixPath(to)}))
        return false;
    for (int waited = 0; waited < 10000; waited += 10) {
        if (GetFileAttributesW(nativePath(to).c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(10);
    }
    return false;
}

} // namespace

class tst_WindowsFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        script = {};
        fileCalls() = {&scriptedCreate, &scriptedReplace, &scriptedMove, &scriptedFlush,
                       &scriptedFindNext};
    }
    void puttingInPlace_data();
    void puttingInPlace();
    void folderReadFailingPartWay();
    void folderRenamedWhileSaving();
};

// Whatever happens, the selected file stays, and the earlier .new or the new content keep a name.
// An earlier .new marked hidden and system stays so, however the new one took its place.
void tst_WindowsFiles::puttingInPlace_data()
{
    QTest::addColumn<Script>("given");
    QTest::addColumn<SaveFailure::Step>("failedStep");
    QTest::addColumn<QByteArray>("output"); // the .new afterwards, empty for none

    using Step = SaveFailure::Step;
    QTest::newRow("refused for want of WRITE_DAC: moved")
        << Script{ERROR_ACCESS_DENIED, 0, 0, -1, true} << Step::None << Saved;
    QTest::newRow("unsupported: moved") << Script{ERROR_INVALID_FUNCTION} << Step::None << Saved;
    // A scanner holding the earlier .new for a moment: ReplaceFileW again, which keeps its
    // attributes and access rights, never the move that would drop them.
    QTest::newRow("access denied, WRITE_DAC to be had: replaced at the third try")
        << Script{ERROR_ACCESS_DENIED, 1000, 0, -1, false, 2} << Step::None << Saved;
    QTest::newRow("nothing moved, for two seconds: not moved, earlier kept")
        << Script{ERROR_UNABLE_TO_MOVE_REPLACEMENT} << Step::WriteOutput << Earlier;
    QTest::newRow("half done: moved")
        << Script{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2} << Step::None << Saved;
    QTest::newRow("half done: earlier moved back")
        << Script{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, 1} << Step::WriteOutput << Earlier;
    QTest::newRow("half done: both kept, named")
        << Script{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, 2} << Step::WriteOutput << QByteArray();
    QTest::newRow("folder flush refused (FAT)")
        << Script{0, 0, ERROR_INVALID_FUNCTION} << Step::None << Saved;
    QTest::newRow("folder flush fails")
        << Script{0, 0, ERROR_IO_DEVICE} << Step::SyncFolder << Saved;
}

void tst_WindowsFiles::puttingInPlace()
{
    QFETCH(Script, given);
    QFETCH(SaveFailure::Step, failedStep);
    QFETCH(QByteArray, output);
    ScratchFolder folder;
    QVERIFY(folder.holds(Input, Earlier));
    constexpr DWORD Marks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    QVERIFY(SetFileAttributesW(nativePath(folder.outputPath).c_str(), Marks));
    script = given;

    const SaveOutcome outcome = folder.caller.save();
    QCOMPARE(outcome.failure.step, failedStep);
    QCOMPARE(readFile(folder.inputPath), Input);
    QCOMPARE(readFile(folder.outputPath).value_or(QByteArray()), output);
    if (!output.isEmpty())
        QCOMPARE(GetFileAttributesW(nativePath(folder.outputPath).c_str()) & Marks, Marks);
    QStringList kept{u"a_sp.cfg"_s, u"a_sp.cfg.new"_s};
    if (output.isEmpty()) {
        QCOMPARE(readFile(outcome.earlierOutputAt), Earlier);
        QCOMPARE(readFile(outcome.newContentKeptAt), Saved);
        const QString said = saveMessage(outcome, MessagePlace::Window).text();
        QVERIFY(said.contains(shownPath(outcome.earlierOutputAt))
                && said.contains(shownPath(outcome.newContentKeptAt)));
        kept = QStringList{kept[0], splitPath(outcome.earlierOutputAt).name,
                           splitPath(outcome.newContentKeptAt).name};
        kept.sort();
    }
    QCOMPARE(listing(folder.dir.path()), kept);
}

// A failed step shows none of the folder, so no list shows half a folder as whole.
void tst_WindowsFiles::folderReadFailingPartWay()
{
    ScratchFolder folder;
    QVERIFY(folder.holds(Input, Earlier));
    script.findNextFailsAt = 2;
    const FolderEntries entries = readFolder(folder.dir.path());
    QCOMPARE(entries.error.number, ENOTCONN);
    QCOMPARE(entries.files, QStringList());
}

// Windows itself refuses to rename a folder the save holds open; Linux, or a Samba server, may
// rename it all the same. The save then fails, and its temporary file goes with it from where
// the folder is now: it was marked for deletion through its handle, not by its old path.
void tst_WindowsFiles::folderRenamedWhileSaving()
{
    ScratchFolder folder;
    QVERIFY(folder.holds(Input.repeated(1000)));
    const QString renamed = folder.dir.path() + u"-umbenannt"_s;
    if (wineUnixPath(folder.dir.path()).isEmpty())
        QSKIP("only Wine lets the Linux side rename a folder a Windows program holds");
    bool moved = false;
    folder.caller.onPump = [&](int pump) {
        if (pump == 1)
            moved = renameOnLinuxSide(folder.dir.path(), renamed);
    };

    const SaveOutcome outcome = folder.caller.save();
    const QStringList left = listing(renamed);
    QVERIFY(moved && renameOnLinuxSide(renamed, folder.dir.path()));
    QCOMPARE(outcome.end, SaveOutcome::End::Failed);
    if (left.size() == 2 && left.first().startsWith(u".kelvora-"_s))
        QSKIP("Wine deletes a file marked for deletion by the Linux name it was opened under, "
              "which a rename from the Linux side leaves behind; Windows deletes the file");
    QCOMPARE(listing(folder.dir.path()), QStringList{u"a_sp.cfg"_s});
}

QTEST_GUILESS_MAIN(tst_WindowsFiles)
#include "tst_windowsfiles.moc"
