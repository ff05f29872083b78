// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows side's rare outcomes, brought about through its table of file calls: ReplaceFileW
// refused or half done, a folder that cannot be flushed, a folder read failing part way.
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
    DWORD replaceError = 0; // 0: the real calls
    int moveFailures = 0;   // MoveFileExW calls refused before the real ones
    DWORD flushError = 0;
    int findNextFailsAt = -1;
};
Script script;

// Half done is as Windows leaves it: the earlier file under the backup name.
BOOL WINAPI scriptedReplace(LPCWSTR replaced, LPCWSTR by, LPCWSTR backup, DWORD flags, LPVOID,
                            LPVOID)
{
    if (script.replaceError == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
        MoveFileExW(replaced, backup, 0);
    SetLastError(script.replaceError);
    return !script.replaceError && ReplaceFileW(replaced, by, backup, flags, nullptr, nullptr);
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

} // namespace

class tst_WindowsFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        script = {};
        fileCalls() = {&scriptedReplace, &scriptedMove, &scriptedFlush, &scriptedFindNext};
    }
    void puttingInPlace_data();
    void puttingInPlace();
    void folderReadFailingPartWay();
};

// Whatever happens, the selected file stays, and the earlier .new or the new content keep a name.
void tst_WindowsFiles::puttingInPlace_data()
{
    QTest::addColumn<Script>("given");
    QTest::addColumn<SaveFailure::Step>("failedStep");
    QTest::addColumn<QByteArray>("output"); // the .new afterwards, empty for none

    using Step = SaveFailure::Step;
    QTest::newRow("refused for want of WRITE_DAC: moved")
        << Script{ERROR_ACCESS_DENIED} << Step::None << Saved;
    QTest::newRow("unsupported: moved") << Script{ERROR_INVALID_FUNCTION} << Step::None << Saved;
    QTest::newRow("nothing moved: moved")
        << Script{ERROR_UNABLE_TO_MOVE_REPLACEMENT} << Step::None << Saved;
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
    script = given;

    const SaveOutcome outcome = folder.caller.save();
    QCOMPARE(outcome.failure.step, failedStep);
    QCOMPARE(readFile(folder.inputPath), Input);
    QCOMPARE(readFile(folder.outputPath).value_or(QByteArray()), output);
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

QTEST_GUILESS_MAIN(tst_WindowsFiles)
#include "tst_windowsfiles.moc"
