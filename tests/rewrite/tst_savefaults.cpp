// SPDX-License-Identifier: GPL-3.0-or-later
#include "mountguard.h"
#include "savetesthelpers.h"
#include "support/testusers.h"

#include "platform/linux/earlysync.h"
#include "platform/linux/systemcalls.h"
#include "rewrite/linereader.h"
#include "rewrite/savecore.h"
#include "rewrite/savemessages.h"
#include "rewrite/savereasons.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cerrno>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray EarlierOutput("an earlier save\r\nwith two lines\r\n");
const QString InputName = u"a_sp.cfg"_s;
const QString OutputName = u"a_sp.cfg.new"_s;

// A strength file and the output a save with start index 6 makes of it: start-strength lines
// that grow from 18 to 41 bytes, each followed by a plain line.
struct Sample
{
    QByteArray input;
    QByteArray output;
};

Sample sample(int pairs)
{
    const QByteArray start("01STRENGTH  3000\r\n");
    const QByteArray plain("; a plain line of the file\r\n");
    const QByteArray rewritten = "01STRENG" + QByteArray(25, ' ') + " 6000 \r\n";
    Sample result;
    result.input.reserve(pairs * (start.size() + plain.size()));
    result.output.reserve(pairs * (rewritten.size() + plain.size()));
    for (int i = 0; i < pairs; ++i) {
        result.input += start + plain;
        result.output += rewritten + plain;
    }
    return result;
}

// Every entry below `folder`, hidden ones included, links not followed: a link by where it
// leads, a folder as such, a file by its bytes. A left-behind temporary file shows up here.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> entries;
    const QDir base(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        QByteArray &entry = entries[base.relativeFilePath(info.filePath())];
        struct stat status{};
        if (::lstat(QFile::encodeName(info.filePath()).constData(), &status) != 0)
            entry = "gone";
        else if (S_ISLNK(status.st_mode))
            entry = "link to " + info.symLinkTarget().toUtf8();
        else if (S_ISDIR(status.st_mode))
            entry = "folder";
        else if (S_ISREG(status.st_mode))
            entry = "file " + readFile(info.filePath()).value_or("unreadable");
        else // FIFO, socket or device: never opened here
            entry = "special " + QByteArray::number(status.st_mode, 8) + ' '
                + QByteArray::number(quint64(status.st_rdev));
    }
    return entries;
}

RecordingCaller callerFor(const QString &folder)
{
    RecordingCaller caller;
    caller.path = folder + u'/' + InputName;
    caller.startIndex = 6;
    caller.maxIndex = 8;
    return caller;
}

// ---------------------------------------------------------------------------------------------
// The headless save as a child, optionally under strace

// Why strace cannot inject faults here, or nothing.
QString straceUnavailable()
{
    if (QStandardPaths::findExecutable(u"strace"_s).isEmpty())
        return u"strace is not installed"_s;
    const CommandResult probe = run(u"strace"_s, {u"-o"_s, u"/dev/null"_s, u"true"_s});
    if (probe.exitCode != 0)
        return u"strace cannot trace here (is ptrace permitted?): "_s + probe.output;
    return {};
}

struct ChildSave
{
    int exitCode = -1;
    QString messageLine; // "Icon|Title|Text", line breaks in the text written as \n
    QString outcomeLine; // "outcome|<step>|<error number>"
    QString errors;
};

ChildSave runHeadlessSave(const QString &inputPath, const QStringList &straceArguments = {},
                          bool oneThread = true)
{
    QString program = QStringLiteral(HEADLESS_SAVE_PATH);
    QStringList arguments{inputPath, u"6"_s, u"8"_s};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!straceArguments.isEmpty()) {
        // LeakSanitizer needs ptrace for its check, and strace holds it already.
        const QString asan = environment.value(u"ASAN_OPTIONS"_s);
        environment.insert(u"ASAN_OPTIONS"_s,
                           asan.isEmpty() ? u"detect_leaks=0"_s : asan + u":detect_leaks=0"_s);
        // Output written in the one thread, so that strace's count of calls is one count.
        arguments = straceArguments + QStringList{u"--"_s, program}
            + (oneThread ? QStringList{u"--one-thread"_s} : QStringList{}) + arguments;
        program = u"strace"_s;
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(120000))
        return {-1, {}, {}, u"did not finish: "_s + process.errorString()};
    ChildSave result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    result.messageLine = output.section(u'\n', 0, 0);
    result.outcomeLine = output.section(u'\n', 1, 1);
    result.errors = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    return result;
}

const QString SavedLine = u"Information|Speichern|Speichern erfolgreich"_s;

// One system call from a trace written with `strace -f -y -o`.
struct SystemCall
{
    QString name;
    QString arguments;
    QString result;
    int number = 0; // among the calls of its name, counting from 1 as strace's when= does
};

// The calls of the one process traced; nothing if there was more than one process.
std::optional<QList<SystemCall>> readTrace(const QString &path)
{
    static const QRegularExpression callLine(
        u"^(\\d+)\\s+(\\w+)\\((.*)\\)\\s+=\\s+(\\S.*)$"_s);
    const std::optional<QByteArray> text = readFile(path);
    if (!text)
        return std::nullopt;
    QList<SystemCall> calls;
    QMap<QString, int> counts;
    QString pid;
    for (const QString &line : QString::fromUtf8(*text).split(u'\n')) {
        const QRegularExpressionMatch match = callLine.match(line);
        if (!match.hasMatch())
            continue;
        if (!pid.isEmpty() && match.captured(1) != pid)
            return std::nullopt; // strace counts per process; the numbers would not apply
        pid = match.captured(1);
        const QString name = match.captured(2);
        calls.append({name, match.captured(3), match.captured(4), ++counts[name]});
    }
    return calls;
}

// True when the call's first argument, as `strace -y` shows it, is a file in `folder`.
bool onFileIn(const SystemCall &call, const QString &folder)
{
    return call.arguments.section(u',', 0, 0).contains(u'<' + folder + u'/');
}

// The last string argument of a call, a target path for link and rename calls.
QString lastPathArgument(const SystemCall &call)
{
    static const QRegularExpression quoted(u"\"((?:[^\"\\\\]|\\\\.)*)\""_s);
    QString last;
    for (const QRegularExpressionMatch &match : quoted.globalMatch(call.arguments))
        last = match.captured(1);
    return last;
}

enum class FaultAt {
    OpenInput,
    ReadInput,
    CreateTemporary,
    FirstBlock,
    MiddleBlock,
    LastBlock,
    Sync,
    Commit,
    FolderSync,
    Close,          // the close that reports what the file system made of the writes
    NamedFileBlock, // a middle block, on a file system without unnamed files
};

// The first call of that name whose arguments hold `text`.
std::optional<SystemCall> firstCall(const QList<SystemCall> &calls, const QString &name,
                                    const QString &text, QString &why)
{
    for (const SystemCall &call : calls)
        if (call.name == name && call.arguments.contains(text))
            return call;
    why = u"no %1 call with %2"_s.arg(name, text);
    return std::nullopt;
}

// The call of a clean save's trace where the fault goes, or nothing with the reason.
std::optional<SystemCall> faultTarget(const QList<SystemCall> &calls, FaultAt at,
                                      const QString &folder, QString &why)
{
    QList<SystemCall> writes;
    for (const SystemCall &call : calls) {
        if ((call.name == u"write"_s || call.name == u"writev"_s) && onFileIn(call, folder))
            writes.append(call);
        if (call.name == u"pwrite64"_s && onFileIn(call, folder)) {
            why = u"the output is written with pwrite64 too: "_s + call.arguments;
            return std::nullopt;
        }
    }
    qInfo().noquote() << writes.size() << "block writes to the output";
    if (writes.size() < 3) {
        why = u"%1 block writes, fewer than a first, a middle and a last"_s.arg(writes.size());
        return std::nullopt;
    }
    switch (at) {
    case FaultAt::OpenInput:
        return firstCall(calls, u"openat"_s, u'"' + InputName + u'"', why);
    case FaultAt::ReadInput:
        return firstCall(calls, u"read"_s, u'<' + folder + u'/' + InputName + u'>', why);
    case FaultAt::CreateTemporary:
        return firstCall(calls, u"openat"_s, u"O_TMPFILE"_s, why);
    case FaultAt::FirstBlock:
        return writes.first();
    case FaultAt::MiddleBlock:
    case FaultAt::NamedFileBlock:
        return writes.at(writes.size() / 2);
    case FaultAt::LastBlock:
        return writes.last();
    case FaultAt::Sync:
        for (const SystemCall &call : calls)
            if ((call.name == u"fsync"_s || call.name == u"fdatasync"_s) && onFileIn(call, folder))
                return call;
        why = u"no sync of the output"_s;
        return std::nullopt;
    case FaultAt::Commit: {
        // The call that put the output under its name: a rename onto it, or a link.
        std::optional<SystemCall> commit;
        for (const SystemCall &call : calls)
            if ((call.name.startsWith(u"rename"_s) || call.name == u"linkat"_s)
                && call.result == u"0"_s && lastPathArgument(call) == OutputName)
                commit = call;
        if (!commit)
            why = u"no call put the output in place"_s;
        return commit;
    }
    case FaultAt::FolderSync:
        for (const SystemCall &call : calls)
            if (call.name == u"fsync"_s && call.arguments.contains(u'<' + folder + u'>'))
                return call;
        why = u"no sync of the folder"_s;
        return std::nullopt;
    case FaultAt::Close: // the first after the sync
        for (bool synced = false; const SystemCall &call : calls)
            if (onFileIn(call, folder) && (synced = synced || call.name == u"fdatasync"_s)
                && call.name == u"close"_s)
                return call;
        why = u"no close of the output after its sync"_s;
        return std::nullopt;
    }
    return std::nullopt;
}

// The step a fault at that place fails.
SaveFailure::Step failingStep(FaultAt at)
{
    using Step = SaveFailure::Step;
    switch (at) {
    case FaultAt::OpenInput:
        return Step::OpenInput;
    case FaultAt::ReadInput:
        return Step::ReadInput;
    case FaultAt::CreateTemporary:
        return Step::OpenOutput;
    case FaultAt::FolderSync:
        return Step::SyncFolder;
    default:
        break;
    }
    return Step::WriteOutput;
}

// ---------------------------------------------------------------------------------------------
// What is in the output's place before a save

enum class InTheWay {
    // In the selected file's place
    FifoAsInput,
    LinkToFifoAsInput,
    LinkToEndlessDeviceAsInput,
    DeviceNodeAsInput,
    ForeignLinkInSharedFolderAsInput,
    ForeignLinkBeyondItsOwnerAsInput,
    ForeignLinkIntoClosedFolderAsInput,
    ForeignLinkAclHidesAsInput,
    ForeignLinkOfHighUserIdAsInput,
    ForeignLinkInUnreachableFolderAsInput,
    SocketAsInput,
    // In the output's place
    Fifo,
    LinkToFifo,
    LinkToDeviceNode,
    Socket,
    ForeignLinkInSharedFolder,
    ForeignLinkBeyondItsOwner,
    ForeignLinkAclDeniesWriting,
    ForeignFolderLinkIntoClosedFolder,
    AppendOnlyFolder,
    SelectedFileLinksToOutput,
    DanglingLink,
    ImmutableFolderWithWritableOutput,
    LinkToSelectedFile,
    LinkChainToSelectedFile,
    LinkThroughLinkedFolder,
    LinkThroughBindMount,
    LinkToFileBehindSelectedLink,
    Folder,
    LinkToFolder,
    ImmutableFile,
    ReadOnlyBindMountedFile,
    DanglingLinkIntoMissingFolder,
    LinkToOtherFile,
    LinkChainToOtherFile,
    HardLinkToSelectedFile,
};

bool isInputSide(InTheWay inTheWay)
{
    return inTheWay <= InTheWay::SocketAsInput;
}

// Empty when made, else why it could not be (mknod and chown need root).
QString makeSpecial(const QString &path, mode_t mode, dev_t device = 0)
{
    if (::mknod(QFile::encodeName(path).constData(), mode, device) == 0)
        return {};
    return u"mknod refused: "_s + QString::fromLocal8Bit(std::strerror(errno));
}

bool makeSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (fd < 0 || size_t(name.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

// The selected folder "work" and a folder "elsewhere" beside it in a fresh folder.
struct Layout
{
    explicit Layout(const QString &folder)
        : root(folder),
          work(folder + "/work"_L1),
          elsewhere(folder + "/elsewhere"_L1),
          input(work + u'/' + InputName),
          output(work + u'/' + OutputName)
    {
    }

    bool create(const QByteArray &content) const
    {
        return QDir().mkpath(work) && QDir().mkpath(elsewhere) && writeFile(input, content);
    }

    QString root;
    QString work;
    QString elsewhere;
    QString input;
    QString output;
};

// A small ext4 file system with 128-byte inodes, whose time stamps count whole seconds (FAT
// counts two), mounted where `mount` points. Empty when done, else why not.
QString mountCoarseTimes(const QString &folder, MountGuard &mount)
{
    if (::geteuid() != 0)
        return u"mounting a file system needs root"_s;
    const QString image = folder + "/coarse.img"_L1;
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(32) << 20))
        return u"no room for a file system image"_s;
    file.close();
    const CommandResult made = run(u"mkfs.ext4"_s, {u"-q"_s, u"-F"_s, u"-I"_s, u"128"_s, image});
    if (made.exitCode != 0)
        return u"mkfs.ext4 failed: "_s + made.output;
    QDir().mkpath(folder + "/coarse"_L1);
    return mount.mount({u"-o"_s, u"loop"_s, image});
}

} // namespace

class tst_SaveFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void injectedSystemCallFault_data();
    void injectedSystemCallFault();
    void savesWithoutThreads();
    void earlySyncKeepsItsFailure();

    void refused_data();
    void refused();
    void outputThroughLink_data();
    void outputThroughLink();

    void inputChangedDuringSave_data();
    void inputChangedDuringSave();
    void folderSwappedForLinkWhileSaving();

    void inputLargerThanTwoGiB();
};

// ---------------------------------------------------------------------------------------------
// System calls of the save failing, injected with strace into the headless save

void tst_SaveFaults::injectedSystemCallFault_data()
{
    QTest::addColumn<FaultAt>("at");
    QTest::addColumn<QString>("errorName");
    QTest::addColumn<int>("errorNumber");
    QTest::addColumn<bool>("earlierOutput");
    QTest::addColumn<QString>("earlierOwner"); // a test user's, or the saving user's when empty

    // Every error the save can meet, each where it may happen, each with its German meaning.
    const struct {
        const char *name;
        FaultAt at;
        int number;
        bool earlierOutput;
    } rows[] = {
        {"ENOENT", FaultAt::OpenInput, ENOENT, true},
        {"EACCES", FaultAt::OpenInput, EACCES, false},
        {"EISDIR", FaultAt::OpenInput, EISDIR, true},
        {"ENOTDIR", FaultAt::OpenInput, ENOTDIR, false},
        {"ELOOP", FaultAt::OpenInput, ELOOP, true},
        {"EMFILE", FaultAt::OpenInput, EMFILE, false},
        {"EAGAIN", FaultAt::ReadInput, EAGAIN, true},
        {"ESTALE", FaultAt::ReadInput, ESTALE, false},
        {"EIO", FaultAt::ReadInput, EIO, true},
        {"EROFS", FaultAt::CreateTemporary, EROFS, false},
        {"ENAMETOOLONG", FaultAt::CreateTemporary, ENAMETOOLONG, true},
        {"ENFILE", FaultAt::CreateTemporary, ENFILE, false},
        {"ETXTBSY", FaultAt::CreateTemporary, ETXTBSY, true},
        {"EDQUOT", FaultAt::CreateTemporary, EDQUOT, false},
        {"ENOSPC", FaultAt::FirstBlock, ENOSPC, true},
        {"ENOSPC", FaultAt::MiddleBlock, ENOSPC, false},
        {"ENOSPC", FaultAt::LastBlock, ENOSPC, true},
        {"EDQUOT", FaultAt::MiddleBlock, EDQUOT, true},
        {"EFBIG", FaultAt::MiddleBlock, EFBIG, false},
        {"EIO", FaultAt::FirstBlock, EIO, false},
        {"EIO", FaultAt::LastBlock, EIO, true},
        {"EIO", FaultAt::Sync, EIO, true},
        {"ENOSPC", FaultAt::Sync, ENOSPC, false},
        {"EINVAL", FaultAt::Sync, EINVAL, true},
        {"EACCES", FaultAt::Commit, EACCES, false},
        {"EPERM", FaultAt::Commit, EPERM, true},
        {"EBUSY", FaultAt::Commit, EBUSY, true},
        {"EXDEV", FaultAt::Commit, EXDEV, false},
        {"EIO", FaultAt::Commit, EIO, true},
        // The output is in place then, and the message says it may not survive a power loss.
        {"EIO", FaultAt::FolderSync, EIO, true},
        {"EIO", FaultAt::Close, EIO, false},
        // Killed (error 0): nothing is left but a temporary file that a later save removes.
        {"SIGKILL", FaultAt::MiddleBlock, 0, true},
        {"SIGKILL", FaultAt::Sync, 0, false},
        {"SIGKILL", FaultAt::Commit, 0, false},
        {"SIGKILL", FaultAt::Commit, 0, true},
        {"SIGKILL", FaultAt::NamedFileBlock, 0, true},
    };
    const char *const places[] = {"opening the selected file", "reading it",
                                  "making the new file", "writing the first block",
                                  "writing a middle block", "writing the last block",
                                  "syncing the new file", "putting it in place",
                                  "syncing its folder", "closing it after its sync",
                                  "writing a middle block of a named file"};
    for (const auto &row : rows) {
        QTest::addRow("%s %s, %s", row.name, places[int(row.at)],
                      row.earlierOutput ? "earlier output kept" : "no earlier output")
            << row.at << QString::fromLatin1(row.name) << row.number << row.earlierOutput
            << QString();
    }
    // Root's save keeps the earlier output's owner, and gives its temporary file to that user.
    QTest::addRow("SIGKILL putting it in place, earlier output another user's")
        << FaultAt::Commit << u"SIGKILL"_s << 0 << true << testusers::Users.first();
}

// A clean save is traced first to find the call to fail; the same save then runs with that one
// call failing, and once more without a fault.
void tst_SaveFaults::injectedSystemCallFault()
{
    QFETCH(FaultAt, at);
    QFETCH(QString, errorName);
    QFETCH(int, errorNumber);
    QFETCH(bool, earlierOutput);
    QFETCH(QString, earlierOwner);

    if (const QString why = straceUnavailable(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    if (!earlierOwner.isEmpty() && !testusers::unavailableIn(dir.path()).isEmpty())
        QSKIP(qPrintable(testusers::unavailableIn(dir.path())));
    QTemporaryDir traces;
    QVERIFY2(traces.isValid(), qPrintable(traces.errorString()));
    const QString inputPath = dir.filePath(InputName);
    const QString outputPath = dir.filePath(OutputName);
    // About 3.5 MiB of output: several gathered writes of the save's writer.
    const Sample file = sample(53200);
    QVERIFY(writeFile(inputPath, file.input));
    const uid_t owner = earlierOwner.isEmpty() ? ::geteuid() : testusers::uid(earlierOwner);
    auto resetOutput = [&] {
        return earlierOutput ? writeFile(outputPath, EarlierOutput)
                && ::chown(QFile::encodeName(outputPath).constData(), owner, gid_t(-1)) == 0
                             : !QFileInfo::exists(outputPath) || QFile::remove(outputPath);
    };
    QVERIFY(resetOutput());
    const QStringList traceOptions{u"-f"_s, u"-y"_s, u"-e"_s, u"signal=none"_s, u"-e"_s,
                                   u"trace=read,write,writev,pwrite64,fsync,fdatasync,close,%file"_s};
    const bool killed = errorNumber == 0;

    const QString cleanTrace = traces.filePath(u"clean"_s);
    const ChildSave clean =
        runHeadlessSave(inputPath, traceOptions + QStringList{u"-o"_s, cleanTrace});
    QVERIFY2(clean.exitCode == 0, qPrintable(clean.messageLine + u' ' + clean.errors));
    QVERIFY(readFile(outputPath) == file.output);
    const std::optional<QList<SystemCall>> calls = readTrace(cleanTrace);
    QVERIFY2(calls, "the save ran in more than one process or thread");
    QString why;
    const std::optional<SystemCall> target = faultTarget(*calls, at, dir.path(), why);
    QVERIFY2(target, qPrintable(why));
    qInfo().noquote() << "failing" << target->name << "call" << target->number << "with"
                      << errorName << ":" << target->arguments.left(100);

    QVERIFY(resetOutput());
    const QStringList before = listing(dir.path());
    const QString faultTrace = traces.filePath(u"fault"_s);
    QStringList faultOptions{u"-o"_s, faultTrace, u"-e"_s,
                             u"inject=%1:%2:when=%3"_s.arg(target->name).arg(
                                 killed ? u"signal=KILL"_s : "error="_L1 + errorName).arg(
                                 target->number)};
    if (at == FaultAt::NamedFileBlock) { // as FAT or NFS refuse a file without a name
        const std::optional<SystemCall> unnamed = faultTarget(*calls, FaultAt::CreateTemporary,
                                                              dir.path(), why);
        QVERIFY2(unnamed, qPrintable(why));
        faultOptions << u"-e"_s << u"inject=openat:error=EOPNOTSUPP:when=%1"_s.arg(unnamed->number);
    }
    const ChildSave faulty = runHeadlessSave(inputPath, traceOptions + faultOptions);
    qInfo().noquote() << "message:" << faulty.messageLine;
    QVERIFY2(faulty.exitCode == (killed ? -1 : 1),
             qPrintable(faulty.messageLine + u' ' + faulty.errors));

    // The fault hit exactly the call chosen, and nothing else.
    const std::optional<QList<SystemCall>> faultCalls = readTrace(faultTrace);
    QVERIFY(faultCalls);
    QList<SystemCall> injected;
    for (const SystemCall &call : *faultCalls)
        if (call.result.contains(u"(INJECTED)"_s) || call.result == u"?"_s) // "?": killed in it
            injected.append(call);
    QCOMPARE(injected.size(), at == FaultAt::NamedFileBlock ? 2 : 1);
    QCOMPARE(injected.last().name, target->name);
    QCOMPARE(injected.last().number, target->number);
    QCOMPARE(injected.last().arguments.section(u',', 0, 0).contains(u'<' + dir.path() + u'/'),
             target->arguments.section(u',', 0, 0).contains(u'<' + dir.path() + u'/'));

    QVERIFY(readFile(inputPath) == file.input);
    // A temporary file a running save holds is no leftover.
    const QString held = u".kelvora-0a0b0c.tmp"_s;
    QProcess holder;
    const auto release = qScopeGuard([&] { holder.kill(); holder.waitForFinished(); });
    if (killed) {
        QStringList left = listing(dir.path());
        for (const QString &entry : before)
            left.removeOne(entry);
        // A named file, part-way written or complete between its link and its rename.
        const bool named =
            at == FaultAt::NamedFileBlock || (at == FaultAt::Commit && earlierOutput);
        QCOMPARE(left.size(), named ? 1 : 0);
        QVERIFY(left.isEmpty() || left.first().startsWith(u".kelvora-"_s));
        QVERIFY(left.isEmpty() || QFileInfo(dir.filePath(left.first())).ownerId() == owner);
        QVERIFY(!earlierOutput || readFile(outputPath) == EarlierOutput);
        QVERIFY(writeFile(dir.filePath(held), "held"));
        holder.start(u"flock"_s, {u"-s"_s, dir.filePath(held), u"-c"_s, u"echo; exec sleep 60"_s});
        QVERIFY(holder.waitForReadyRead(10000));
    }
    const QString reason = germanReason(SystemError::ofErrno(errorNumber));
    QVERIFY2(killed || !reason.contains(u"Fehler Nummer"_s),
             qPrintable(u"no German meaning: "_s + reason));
    QVERIFY2(killed || faulty.messageLine.startsWith(u"Warning|Speichern|"_s),
             qPrintable(faulty.messageLine));
    QVERIFY(killed
            || faulty.outcomeLine == u"outcome|%1|%2"_s.arg(int(failingStep(at))).arg(errorNumber));
    if (at == FaultAt::FolderSync) {
        QVERIFY(readFile(outputPath) == file.output);
    } else if (!killed) {
        QCOMPARE(listing(dir.path()), before);
        if (earlierOutput)
            QCOMPARE(readFile(outputPath), EarlierOutput);
    }

    const ChildSave again = runHeadlessSave(inputPath);
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(again.messageLine, SavedLine);
    QVERIFY(readFile(outputPath) == file.output);
    QVERIFY(readFile(inputPath) == file.input);
    QCOMPARE(listing(dir.path()), (killed ? QStringList{held} : QStringList())
                                      + QStringList({InputName, OutputName}));
}

// Where no thread is to be had (a limit of processes reached), the save writes its output and
// syncs it in the one thread it has, early syncs of a large output included.
void tst_SaveFaults::savesWithoutThreads()
{
    if (const QString why = straceUnavailable(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString inputPath = dir.filePath(InputName);
    const Sample file = sample(260000); // about 18 MB of output: two early syncs
    QVERIFY(writeFile(inputPath, file.input));

    const ChildSave save = runHeadlessSave(
        inputPath,
        {u"-f"_s, u"-o"_s, u"/dev/null"_s, u"-e"_s, u"trace=clone,clone3"_s, u"-e"_s,
         u"inject=clone,clone3:error=EAGAIN"_s},
        false);
    QCOMPARE(save.exitCode, 0);
    QCOMPARE(save.messageLine, SavedLine);
    QVERIFY(readFile(dir.filePath(OutputName)) == file.output);
    QCOMPARE(listing(dir.path()), QStringList({InputName, OutputName}));
}

// The system reports a failed write back to one sync only: one that failed on the early sync's
// thread is still told when the save asks at its end.
void tst_SaveFaults::earlySyncKeepsItsFailure()
{
    int pipeEnds[2];
    QCOMPARE(::pipe(pipeEnds), 0);
    const FileDescriptor reading(pipeEnds[0]), writing(pipeEnds[1]);
    QTemporaryFile file;
    QVERIFY(file.open());
    EarlySync sync;
    QVERIFY(sync.start(writing.get())); // a pipe has no sync
    QCOMPARE(sync.wait(), EINVAL);
    QVERIFY(sync.start(file.handle())); // succeeds
    QCOMPARE(sync.wait(), EINVAL);
}

// ---------------------------------------------------------------------------------------------
// Something in the output's place

void tst_SaveFaults::refused_data()
{
    QTest::addColumn<InTheWay>("inTheWay");
    QTest::addColumn<ExpectedFailure>("expected");

    using Step = SaveFailure::Step;
    const auto input = [](FileType type, bool throughLink = false) {
        return ExpectedFailure{Step::OpenInput, 0, Refusal::NotRegular, type, throughLink};
    };
    const auto output = [](FileType type, bool throughLink = false) {
        return ExpectedFailure{Step::OpenOutput, 0, Refusal::NotRegular, type, throughLink};
    };
    const auto refused = [](Step step, Refusal refusal, int errorNumber = 0) {
        return ExpectedFailure{step, errorNumber, refusal};
    };
    const ExpectedFailure leadsToInput = refused(Step::OpenOutput, Refusal::LeadsToInput);
    const ExpectedFailure dangling = refused(Step::OpenOutput, Refusal::DanglingLink);
    QTest::newRow("selected file is a FIFO") << InTheWay::FifoAsInput << input(FileType::Fifo);
    QTest::newRow("selected file is a link to a FIFO")
        << InTheWay::LinkToFifoAsInput << input(FileType::Fifo, true);
    QTest::newRow("selected file is a link to an endless device")
        << InTheWay::LinkToEndlessDeviceAsInput << input(FileType::CharacterDevice, true);
    QTest::newRow("selected file is a device node")
        << InTheWay::DeviceNodeAsInput << input(FileType::CharacterDevice);
    QTest::newRow("selected file is another user's link in a folder everyone may write to")
        << InTheWay::ForeignLinkInSharedFolderAsInput
        << refused(Step::OpenInput, Refusal::ForeignLinkInSharedFolder);
    QTest::newRow("selected file is another user's link to a file that user may not read")
        << InTheWay::ForeignLinkBeyondItsOwnerAsInput
        << refused(Step::OpenInput, Refusal::ForeignLinkBeyondItsOwner);
    QTest::newRow("selected file is another user's link into a folder that user may not enter")
        << InTheWay::ForeignLinkIntoClosedFolderAsInput
        << refused(Step::OpenInput, Refusal::ForeignLinkBeyondItsOwner);
    // Real users, whose rights the kernel decides by ACLs and groups; the second save, once the
    // ACL or a group lets the link's owner, succeeds.
    QTest::newRow("selected file is another user's link to a file an ACL hides from that user")
        << InTheWay::ForeignLinkAclHidesAsInput
        << refused(Step::OpenInput, Refusal::ForeignLinkBeyondItsOwner);
    // User 70000, whom a 16-bit identity call would take for user 4464 (70000 - 65536).
    QTest::newRow("selected file is a link of user 70000 to a file an ACL hides from that user")
        << InTheWay::ForeignLinkOfHighUserIdAsInput
        << refused(Step::OpenInput, Refusal::ForeignLinkBeyondItsOwner);
    // A link is judged from the root: the folders above the link's own count too.
    QTest::newRow("selected file is another user's link inside a folder that user cannot reach")
        << InTheWay::ForeignLinkInUnreachableFolderAsInput
        << refused(Step::OpenInput, Refusal::ForeignLinkBeyondItsOwner);
    QTest::newRow("selected file is a socket")
        << InTheWay::SocketAsInput << input(FileType::Socket);

    QTest::newRow("FIFO") << InTheWay::Fifo << output(FileType::Fifo);
    QTest::newRow("link to a FIFO") << InTheWay::LinkToFifo << output(FileType::Fifo, true);
    QTest::newRow("link to a device node")
        << InTheWay::LinkToDeviceNode << output(FileType::CharacterDevice, true);
    QTest::newRow("socket") << InTheWay::Socket << output(FileType::Socket);
    QTest::newRow("another user's link in a folder everyone may write to")
        << InTheWay::ForeignLinkInSharedFolder
        << refused(Step::OpenOutput, Refusal::ForeignLinkInSharedFolder);
    QTest::newRow("another user's link to a file that user may not write")
        << InTheWay::ForeignLinkBeyondItsOwner
        << refused(Step::OpenOutput, Refusal::ForeignLinkBeyondItsOwner);
    QTest::newRow("another user's link to a file an ACL keeps that user from writing")
        << InTheWay::ForeignLinkAclDeniesWriting
        << refused(Step::OpenOutput, Refusal::ForeignLinkBeyondItsOwner);
    QTest::newRow("another user's link to a folder where that user may not make files")
        << InTheWay::ForeignFolderLinkIntoClosedFolder
        << refused(Step::OpenOutput, Refusal::ForeignLinkBeyondItsOwner);
    // The rename onto the output fails, and so does removing the file made for it.
    QTest::newRow("folder that takes files but lets none be removed")
        << InTheWay::AppendOnlyFolder << ExpectedFailure{Step::WriteOutput, EPERM};
    QTest::newRow("selected file is a link to its own output")
        << InTheWay::SelectedFileLinksToOutput << leadsToInput;
    QTest::newRow("dangling link") << InTheWay::DanglingLink << dangling;
    QTest::newRow("dangling link into a missing folder")
        << InTheWay::DanglingLinkIntoMissingFolder << dangling;
    QTest::newRow("writable output in a folder that takes no new file")
        << InTheWay::ImmutableFolderWithWritableOutput
        << refused(Step::OpenOutput, Refusal::FolderRefusesNewFile, EPERM);
    QTest::newRow("link to the selected file") << InTheWay::LinkToSelectedFile << leadsToInput;
    QTest::newRow("chain of links to the selected file")
        << InTheWay::LinkChainToSelectedFile << leadsToInput;
    QTest::newRow("link to the selected file through a linked folder")
        << InTheWay::LinkThroughLinkedFolder << leadsToInput;
    QTest::newRow("link to the selected file through a bind mount of its folder")
        << InTheWay::LinkThroughBindMount << leadsToInput;
    QTest::newRow("link to the file the selected link leads to")
        << InTheWay::LinkToFileBehindSelectedLink << leadsToInput;
    QTest::newRow("folder") << InTheWay::Folder << output(FileType::Folder);
    QTest::newRow("link to a folder") << InTheWay::LinkToFolder << output(FileType::Folder, true);
    QTest::newRow("file that cannot be changed")
        << InTheWay::ImmutableFile << refused(Step::OpenOutput, Refusal::NotWritable, EPERM);
    QTest::newRow("file on a read-only bind mount")
        << InTheWay::ReadOnlyBindMountedFile
        << refused(Step::OpenOutput, Refusal::NotWritable, EROFS);
}

// Hostile or unsuitable objects in the selected file's or the output's place: the save refuses
// at once with a message, opens none of them for reading or writing, and changes nothing
// anywhere, the objects included. Once what was in the way is gone, the next save succeeds.
void tst_SaveFaults::refused()
{
    QFETCH(InTheWay, inTheWay);
    QFETCH(ExpectedFailure, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const Layout at(dir.path());
    const Sample file = sample(20);
    QVERIFY(at.create(file.input));
    std::unique_ptr<MountGuard> mount;
    std::function<bool()> clearTheWay = [&] { return QFile::remove(at.output); };
    if (isInputSide(inTheWay)) {
        QVERIFY(QFile::remove(at.input));
        clearTheWay = [&] { return QFile::remove(at.input) && writeFile(at.input, file.input); };
    }
    const QString fifo = at.elsewhere + "/fifo"_L1;

    switch (inTheWay) {
    case InTheWay::FifoAsInput:
        QCOMPARE(::mkfifo(QFile::encodeName(at.input).constData(), 0644), 0);
        break;
    case InTheWay::LinkToFifoAsInput:
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        QVERIFY(QFile::link(fifo, at.input));
        break;
    case InTheWay::LinkToEndlessDeviceAsInput:
        QVERIFY(QFile::link(u"/dev/zero"_s, at.input));
        break;
    case InTheWay::DeviceNodeAsInput: // a private null device
        if (const QString refused = makeSpecial(at.input, S_IFCHR | 0666, makedev(1, 3));
            !refused.isEmpty())
            QSKIP(qPrintable(refused));
        break;
    case InTheWay::ForeignLinkInSharedFolderAsInput:
    case InTheWay::ForeignLinkBeyondItsOwnerAsInput:
    case InTheWay::ForeignLinkIntoClosedFolderAsInput: {
        // Another user's link to a file only root may read, in a folder like /tmp or not; or to
        // a file anyone may read in a folder only root may enter.
        const bool closed = inTheWay == InTheWay::ForeignLinkIntoClosedFolderAsInput;
        const QString secret = at.elsewhere + (closed ? "/closed/secret.cfg"_L1 : "/secret.cfg"_L1);
        QVERIFY(QDir().mkpath(QFileInfo(secret).path()) && writeFile(secret, file.input));
        QCOMPARE(::chmod(QFile::encodeName(secret).constData(), closed ? 0644 : 0600), 0);
        QCOMPARE(::chmod(QFile::encodeName(at.elsewhere).constData(), closed ? 0700 : 0755), 0);
        if (inTheWay == InTheWay::ForeignLinkInSharedFolderAsInput)
            QCOMPARE(::chmod(QFile::encodeName(at.work).constData(), 01777), 0);
        QVERIFY(QFile::link(secret, at.input));
        if (::geteuid() != 0 || ::lchown(QFile::encodeName(at.input).constData(), 4242, 4242) != 0)
            QSKIP("handing a link to another user needs root");
        break;
    }
    case InTheWay::ForeignLinkAclHidesAsInput:
    case InTheWay::ForeignLinkAclDeniesWriting:
    case InTheWay::ForeignFolderLinkIntoClosedFolder: {
        if (const QString why = testusers::unavailableIn(dir.path()); !why.isEmpty())
            QSKIP(qPrintable(why));
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
        // A file everyone may write, which kelvora-r1 may not read (the selected file) or only
        // read (the .new), until the ACL lets it; or the selected folder a link to root's, where
        // kelvora-r2 may make files once its group may.
        const bool input = inTheWay == InTheWay::ForeignLinkAclHidesAsInput;
        const QString target = at.elsewhere + "/conf.txt"_L1;
        const QString real = at.root + "/real"_L1;
        const QString link = inTheWay == InTheWay::ForeignFolderLinkIntoClosedFolder ? at.work
            : input ? at.input : at.output;
        QVERIFY(writeFile(target, input ? file.input : EarlierOutput));
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0666), 0);
        QVERIFY(testusers::setAcl(target, input ? u"u:kelvora-r1:---"_s : u"u:kelvora-r1:r"_s));
        clearTheWay = [=] { return testusers::setAcl(target, u"u:kelvora-r1:rw"_s); };
        if (link == at.work) {
            QVERIFY(QFile::rename(at.work, real) && QFile::link(u"real"_s, at.work));
            clearTheWay = [=] {
                return testusers::succeeds(u"chgrp"_s, {u"kelvora-rg"_s, real})
                    && ::chmod(QFile::encodeName(real).constData(), 0775) == 0;
            };
        } else {
            QVERIFY(QFile::link(u"../elsewhere/conf.txt"_s, link));
        }
        const uid_t owner = testusers::uid(testusers::Users.at(link == at.work ? 1 : 0));
        QCOMPARE(::lchown(QFile::encodeName(link).constData(), owner, 0), 0);
        break;
    }
    case InTheWay::ForeignLinkOfHighUserIdAsInput:
    case InTheWay::ForeignLinkInUnreachableFolderAsInput: {
        if (const QString why = testusers::unavailableIn(dir.path()); !why.isEmpty())
            QSKIP(qPrintable(why));
        // The file beside the link, its folder closed above it until the way is cleared; or a
        // file elsewhere that user 70000 may not read until the ACL lets it.
        const bool highId = inTheWay == InTheWay::ForeignLinkOfHighUserIdAsInput;
        const QString target = highId ? at.elsewhere + "/conf.txt"_L1 : at.work + "/real.cfg"_L1;
        QVERIFY(writeFile(target, file.input));
        QVERIFY(QFile::link(highId ? u"../elsewhere/conf.txt"_s : u"real.cfg"_s, at.input));
        const uid_t owner = highId ? 70000 : testusers::uid(testusers::Users.first());
        QCOMPARE(::lchown(QFile::encodeName(at.input).constData(), owner, 0), 0);
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), highId ? 0755 : 0700), 0);
        QVERIFY(!highId || testusers::setAcl(target, u"u:70000:---,u:4464:r--"_s));
        clearTheWay = [&, target, highId] {
            return highId ? testusers::setAcl(target, u"u:70000:r--"_s)
                          : ::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0;
        };
        break;
    }
    case InTheWay::SocketAsInput:
        QVERIFY(makeSocket(at.input));
        break;
    case InTheWay::Fifo:
        QCOMPARE(::mkfifo(QFile::encodeName(at.output).constData(), 0644), 0);
        break;
    case InTheWay::LinkToFifo:
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        QVERIFY(QFile::link(u"../elsewhere/fifo"_s, at.output));
        break;
    case InTheWay::LinkToDeviceNode:
        if (const QString refused =
                makeSpecial(at.elsewhere + "/null2"_L1, S_IFCHR | 0666, makedev(1, 3));
            !refused.isEmpty())
            QSKIP(qPrintable(refused));
        QVERIFY(QFile::link(u"../elsewhere/null2"_s, at.output));
        break;
    case InTheWay::Socket:
        QVERIFY(makeSocket(at.output));
        break;
    case InTheWay::ForeignLinkInSharedFolder: {
        // Like /tmp: sticky, everyone may write, owned by this user; the link is someone else's.
        QVERIFY(writeFile(at.elsewhere + "/kept.cfg"_L1, EarlierOutput));
        QCOMPARE(::chmod(QFile::encodeName(at.work).constData(), 01777), 0);
        QVERIFY(QFile::link(u"../elsewhere/kept.cfg"_s, at.output));
        if (::lchown(QFile::encodeName(at.output).constData(), ::geteuid() + 4242, 4242) != 0)
            QSKIP("handing a link to another user needs root");
        break;
    }
    case InTheWay::ForeignLinkBeyondItsOwner: // an ordinary folder; the file only root may write
        QVERIFY(writeFile(at.elsewhere + "/kept.cfg"_L1, EarlierOutput));
        QVERIFY(QFile::link(u"../elsewhere/kept.cfg"_s, at.output));
        if (::geteuid() != 0
            || ::lchown(QFile::encodeName(at.output).constData(), 4242, 4242) != 0)
            QSKIP("handing a link to another user needs root");
        break;
    case InTheWay::SelectedFileLinksToOutput:
        QVERIFY(QFile::remove(at.input));
        QVERIFY(writeFile(at.output, file.input));
        QVERIFY(QFile::link(OutputName, at.input));
        clearTheWay = [&] { return QFile::remove(at.input) && writeFile(at.input, file.input); };
        break;
    case InTheWay::DanglingLink:
        QVERIFY(QFile::link(u"../elsewhere/created.cfg"_s, at.output));
        break;
    case InTheWay::ImmutableFolderWithWritableOutput:
    case InTheWay::AppendOnlyFolder: {
        QVERIFY(writeFile(at.output, EarlierOutput));
        const QString flag = inTheWay == InTheWay::AppendOnlyFolder ? u"a"_s : u"i"_s;
        const CommandResult immutable = run(u"chattr"_s, {u'+' + flag, at.work});
        if (immutable.exitCode != 0)
            QSKIP(qPrintable(u"chattr +"_s + flag + u" refused: "_s + immutable.output));
        clearTheWay = [&] { return run(u"chattr"_s, {u"-ia"_s, at.work}).exitCode == 0; };
        break;
    }
    case InTheWay::LinkToSelectedFile:
        QVERIFY(QFile::link(InputName, at.output));
        break;
    case InTheWay::LinkChainToSelectedFile:
        QVERIFY(QFile::link(at.elsewhere + "/one"_L1, at.output));
        QVERIFY(QFile::link(u"two"_s, at.elsewhere + "/one"_L1));
        QVERIFY(QFile::link(u"../work/"_s + InputName, at.elsewhere + "/two"_L1));
        break;
    case InTheWay::LinkThroughLinkedFolder:
        QVERIFY(QFile::link(at.work, at.root + "/alias"_L1));
        QVERIFY(QFile::link(at.root + "/alias/"_L1 + InputName, at.output));
        break;
    case InTheWay::LinkThroughBindMount: {
        // Another path to the very same folder, which no resolving of links uncovers.
        const QString mirror = at.root + "/mirror"_L1;
        QVERIFY(QDir().mkpath(mirror));
        mount = std::make_unique<MountGuard>(mirror);
        if (const QString refused = mount->mount({u"--bind"_s, at.work}); !refused.isEmpty())
            QSKIP(qPrintable(u"bind mount refused: "_s + refused));
        QVERIFY(QFile::link(mirror + u'/' + InputName, at.output));
        break;
    }
    case InTheWay::LinkToFileBehindSelectedLink:
        QVERIFY(QFile::rename(at.input, at.elsewhere + "/real.cfg"_L1));
        QVERIFY(QFile::link(u"../elsewhere/real.cfg"_s, at.input));
        QVERIFY(QFile::link(u"../elsewhere/real.cfg"_s, at.output));
        break;
    case InTheWay::Folder:
        QVERIFY(QDir().mkpath(at.output));
        QVERIFY(writeFile(at.output + "/inside.txt"_L1, "kept"));
        clearTheWay = [&] { return QDir(at.output).removeRecursively(); };
        break;
    case InTheWay::LinkToFolder:
        QVERIFY(QFile::link(u"../elsewhere"_s, at.output));
        break;
    case InTheWay::ImmutableFile: {
        QVERIFY(writeFile(at.output, EarlierOutput));
        const CommandResult immutable = run(u"chattr"_s, {u"+i"_s, at.output});
        if (immutable.exitCode != 0)
            QSKIP(qPrintable(u"chattr +i refused (tmpfs, for one, has no such flag): "_s
                             + immutable.output));
        clearTheWay = [&] { return run(u"chattr"_s, {u"-i"_s, at.output}).exitCode == 0; };
        break;
    }
    case InTheWay::ReadOnlyBindMountedFile:
        // As root, permission bits do not stop writes; a read-only mount does.
        QVERIFY(writeFile(at.output, EarlierOutput));
        mount = std::make_unique<MountGuard>(at.output);
        if (const QString refused = mount->mount({u"--bind"_s, at.output}); !refused.isEmpty())
            QSKIP(qPrintable(u"bind mount refused: "_s + refused));
        if (const QString refused = mount->remountReadOnly(); !refused.isEmpty())
            QSKIP(qPrintable(u"read-only remount refused: "_s + refused));
        clearTheWay = [&] { return mount->unmount(); };
        break;
    case InTheWay::DanglingLinkIntoMissingFolder:
        QVERIFY(QFile::link(u"../missing/out.cfg"_s, at.output));
        break;
    default:
        QFAIL("not a case of refusal");
    }
    // An immutable file or folder left behind would outlive the test folder.
    const auto unlock = qScopeGuard([&] {
        if (inTheWay == InTheWay::ImmutableFile)
            run(u"chattr"_s, {u"-i"_s, at.output});
        if (inTheWay == InTheWay::ImmutableFolderWithWritableOutput
            || inTheWay == InTheWay::AppendOnlyFolder)
            run(u"chattr"_s, {u"-ia"_s, at.work});
    });
    const QMap<QString, QByteArray> before = snapshot(dir.path());

    RecordingCaller caller = callerFor(at.work);
    const SaveOutcome outcome = caller.save();
    const QString problem = failureProblem(outcome, expected);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    // Nothing changed but a temporary file the folder would not let go of, named in the message.
    QMap<QString, QByteArray> after = snapshot(dir.path());
    const QString kept = outcome.newContentKeptAt;
    QVERIFY(kept.isEmpty() || saveMessage(outcome, MessagePlace::Window).text().contains(kept + u'“'));
    QVERIFY(kept.isEmpty()
            || after.take(QDir(dir.path()).relativeFilePath(kept)) == "file " + file.output);
    QCOMPARE(after, before);
    if (!isInputSide(inTheWay))
        QVERIFY(readFile(at.input) == file.input);
    QVERIFY(!kept.isEmpty() || caller.progress.isEmpty()); // refused before anything is read

    QVERIFY(clearTheWay());
    RecordingCaller again = callerFor(at.work);
    const SaveOutcome result = again.save();
    const QString failed = successProblem(result);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    QVERIFY(readFile(at.output) == file.output);
    QVERIFY(readFile(at.input) == file.input);
    QVERIFY(kept.isEmpty() || !QFileInfo::exists(kept)); // no running save holds it
}

void tst_SaveFaults::outputThroughLink_data()
{
    QTest::addColumn<InTheWay>("inTheWay");
    QTest::addColumn<QString>("target");

    QTest::newRow("link to another file") << InTheWay::LinkToOtherFile << u"elsewhere/kept.cfg"_s;
    QTest::newRow("chain of links to another file")
        << InTheWay::LinkChainToOtherFile << u"elsewhere/kept.cfg"_s;
    // Replacing the name never writes into the file behind it, which keeps its bytes.
    QTest::newRow("hard link to the selected file is replaced")
        << InTheWay::HardLinkToSelectedFile << u"work/a_sp.cfg.new"_s;
}

// A symbolic link in the output's place that leads to another regular file was made on
// purpose: the save writes through it, replacing that file, and keeps the link.
void tst_SaveFaults::outputThroughLink()
{
    QFETCH(InTheWay, inTheWay);
    QFETCH(QString, target);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const Layout at(dir.path());
    const Sample file = sample(20);
    QVERIFY(at.create(file.input));
    switch (inTheWay) {
    case InTheWay::LinkToOtherFile:
        QVERIFY(writeFile(dir.filePath(target), EarlierOutput));
        QVERIFY(QFile::link(u"../elsewhere/kept.cfg"_s, at.output));
        break;
    case InTheWay::LinkChainToOtherFile:
        QVERIFY(writeFile(dir.filePath(target), EarlierOutput));
        QVERIFY(QFile::link(at.elsewhere + "/one"_L1, at.output));
        QVERIFY(QFile::link(u"kept.cfg"_s, at.elsewhere + "/one"_L1));
        break;
    case InTheWay::HardLinkToSelectedFile:
        if (::link(QFile::encodeName(at.input).constData(),
                   QFile::encodeName(at.output).constData())
            != 0)
            QSKIP(qPrintable(u"no hard link here: "_s + QString::fromLocal8Bit(std::strerror(errno))));
        break;
    default:
        QFAIL("not a case of writing through a link");
    }
    QMap<QString, QByteArray> expected = snapshot(dir.path());
    expected[target] = "file " + file.output;

    RecordingCaller caller = callerFor(at.work);
    const SaveOutcome result = caller.save();
    const QString problem = successProblem(result);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QMap<QString, QByteArray> after = snapshot(dir.path());
    QCOMPARE(after.keys(), expected.keys());
    QVERIFY(after == expected);
    QCOMPARE(QFileInfo(at.output).isSymLink(), inTheWay != InTheWay::HardLinkToSelectedFile);
    QVERIFY(readFile(at.input) == file.input);
}

// ---------------------------------------------------------------------------------------------
// The selected file changed by someone else while the save reads it

enum class Change { Unlink, Truncate, Append, RewriteInPlace, RewriteBothEnds, ReplaceByRename };

void tst_SaveFaults::inputChangedDuringSave_data()
{
    QTest::addColumn<int>("pairs");
    QTest::addColumn<Change>("change");
    QTest::addColumn<qint64>("newSize"); // for Truncate; bytes added for Append
    QTest::addColumn<int>("atLine");
    QTest::addColumn<InputChange::Kind>("how");
    QTest::addColumn<bool>("coarseTimes"); // on ext4 with time stamps of whole seconds

    constexpr qint64 Block = LineReader::DefaultBlockSize;
    const auto replaced = InputChange::Replaced;
    const auto shorter = InputChange::Shorter;
    const auto longer = InputChange::Longer;
    const auto modified = InputChange::Modified;
    // 70000 pairs are 3.2 MB, read in many blocks.
    QTest::newRow("unlinked at the first line")
        << 70000 << Change::Unlink << qint64(0) << 1 << replaced << false;
    QTest::newRow("unlinked half-way")
        << 70000 << Change::Unlink << qint64(0) << 70000 << replaced << false;
    QTest::newRow("replaced by a copy half-way")
        << 70000 << Change::ReplaceByRename << qint64(0) << 70000 << replaced << false;
    QTest::newRow("emptied while its first block is processed")
        << 70000 << Change::Truncate << qint64(0) << 1 << shorter << false;
    QTest::newRow("cut inside an unread block")
        << 70000 << Change::Truncate << Block + Block / 2 << 1
        << shorter << false;
    QTest::newRow("grown while it is read")
        << 70000 << Change::Append << qint64(1000) << 1 << longer << false;
    QTest::newRow("a few bytes rewritten in place, same size")
        << 70000 << Change::RewriteInPlace << qint64(0) << 35000 << modified << false;
    // The start already read, the end not yet: what is read is a state the file never had,
    // and within one tick its size and times say nothing.
    QTest::newRow("both ends rewritten within the second the file was written")
        << 70000 << Change::RewriteBothEnds << qint64(0) << 35000 << modified << true;
    // A small file is read whole at once, and still a change afterwards counts.
    QTest::newRow("small file emptied after it was read")
        << 20 << Change::Truncate << qint64(0) << 1 << shorter << false;
    QTest::newRow("small file grown after its first read")
        << 20 << Change::Append << qint64(7) << 1 << longer << false;
}

// Whatever the change, the save notices it, warns and keeps the earlier output; with the file
// as it was, the next save succeeds.
void tst_SaveFaults::inputChangedDuringSave()
{
    QFETCH(int, pairs);
    QFETCH(Change, change);
    QFETCH(qint64, newSize);
    QFETCH(int, atLine);
    QFETCH(InputChange::Kind, how);
    QFETCH(bool, coarseTimes);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QString folder = dir.path();
    MountGuard mount(dir.filePath(u"coarse"_s));
    if (coarseTimes) {
        if (const QString refused = mountCoarseTimes(dir.path(), mount); !refused.isEmpty())
            QSKIP(qPrintable(refused));
        folder = dir.filePath(u"coarse/files"_s);
        QVERIFY(QDir().mkpath(folder));
        // Just after a second has begun: written, saved and changed within that second.
        QTest::qSleep(int(1020 - QDateTime::currentMSecsSinceEpoch() % 1000));
    }
    const QString inputPath = folder + u'/' + InputName;
    const QString outputPath = folder + u'/' + OutputName;
    const Sample file = sample(pairs);
    QVERIFY(writeFile(inputPath, file.input));
    QVERIFY(writeFile(outputPath, EarlierOutput));
    QFile input(inputPath);
    if (!coarseTimes) {
        // Written an hour ago, so that a change shows in the modification time.
        QVERIFY(input.open(QIODevice::ReadWrite));
        QVERIFY(input.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                  QFileDevice::FileModificationTime));
        input.close();
    }

    // What the file is after the change, as the save must leave it.
    std::optional<QByteArray> changed;
    bool changeDone = false;
    RecordingCaller caller = callerFor(folder);
    caller.onPump = [&](int line) {
        if (line != atLine)
            return;
        switch (change) {
        case Change::Unlink:
            changeDone = input.remove();
            break;
        case Change::Truncate:
            changeDone = input.resize(newSize);
            changed = file.input.left(newSize);
            break;
        case Change::Append:
            changeDone = input.open(QIODevice::Append) && input.write(QByteArray(newSize, 'x'))
                == newSize;
            changed = file.input + QByteArray(newSize, 'x');
            break;
        case Change::RewriteInPlace:
            changeDone = input.open(QIODevice::ReadWrite) && input.write("99") == 2;
            changed = "99" + file.input.mid(2);
            break;
        case Change::RewriteBothEnds:
            changeDone = input.open(QIODevice::ReadWrite) && input.write("99") == 2
                && input.seek(file.input.size() - 4) && input.write("99") == 2;
            changed = "99" + file.input.mid(2, file.input.size() - 6) + "99\r\n";
            break;
        case Change::ReplaceByRename:
            changeDone = writeFile(inputPath + ".copy"_L1, file.input)
                && ::rename(QFile::encodeName(inputPath + ".copy"_L1).constData(),
                            QFile::encodeName(inputPath).constData())
                    == 0;
            changed = file.input;
            break;
        }
        input.close();
    };
    const SaveOutcome outcome = caller.save();
    QVERIFY(changeDone);
    QCOMPARE(readFile(inputPath), changed);
    ExpectedFailure expected{SaveFailure::Step::InputChanged};
    expected.change = how;
    const QString problem = failureProblem(outcome, expected);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    if (how == InputChange::Shorter)
        QCOMPARE(outcome.failure.change.sizeNow, newSize);
    QCOMPARE(readFile(outputPath), EarlierOutput);
    QCOMPARE(listing(folder),
             changed ? QStringList({InputName, OutputName}) : QStringList{OutputName});

    QVERIFY(writeFile(inputPath, file.input));
    RecordingCaller again = callerFor(folder);
    const SaveOutcome secondResult = again.save();
    const QString failed = successProblem(secondResult);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    QVERIFY(readFile(outputPath) == file.output);
    QCOMPARE(listing(folder), QStringList({InputName, OutputName}));
}

// ---------------------------------------------------------------------------------------------
// Another user swaps the selected folder for a link to a folder of root's, again and again

// Exchanges two names as fast as it can until it is killed, as user 4242.
const QString Swapper = uR"(
import ctypes, sys
libc = ctypes.CDLL(None, use_errno=True)
a, b = sys.argv[1].encode(), sys.argv[2].encode()
while True:
    libc.renameat2(-100, a, -100, b, 2)  # RENAME_EXCHANGE
)"_s;

// Root saves a user's file in a folder everyone may write to while the user swaps that folder
// for a link to a folder only root may enter. Whatever the timing, nothing is written outside
// the folder the save was pointed at: root's folder keeps its files as they were.
void tst_SaveFaults::folderSwappedForLinkWhileSaving()
{
    if (::geteuid() != 0)
        QSKIP("needs root, and a second user to swap the folders");
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString shared = dir.filePath(u"shared"_s);
    const QString victim = dir.filePath(u"victim"_s);
    const QString work = shared + "/d"_L1;
    QVERIFY(QDir().mkpath(work) && QDir().mkpath(victim));
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    QCOMPARE(::chmod(QFile::encodeName(victim).constData(), 0700), 0);
    QVERIFY(writeFile(victim + u'/' + InputName, "01STRENGTH  1000\r\n"));
    QVERIFY(writeFile(victim + u'/' + OutputName, EarlierOutput));
    QVERIFY(writeFile(work + u'/' + InputName, sample(20).input));
    QVERIFY(QFile::link(victim, shared + "/x"_L1));
    // The shared folder is the user's too, so the rule for other users' links in folders like
    // /tmp does not stop the link: the one folder handle and the rule that a link leads only
    // where its owner may go have to.
    for (const QString &path : {shared, work, work + u'/' + InputName, shared + "/x"_L1})
        QCOMPARE(::lchown(QFile::encodeName(path).constData(), 4242, 4242), 0);
    const QMap<QString, QByteArray> victimBefore = snapshot(victim);

    // The system's Python by its path: one found in root's own folders is not for other users.
    const QString python = u"/usr/bin/python3"_s;
    if (!QFileInfo(python).isExecutable())
        QSKIP("no /usr/bin/python3 for the swapping user");
    QProcess swapper;
    swapper.setProcessChannelMode(QProcess::ForwardedChannels);
    swapper.start(u"setpriv"_s, {u"--reuid=4242"_s, u"--regid=4242"_s, u"--clear-groups"_s,
                                 python, u"-c"_s, Swapper, work, shared + "/x"_L1});
    QVERIFY2(swapper.waitForStarted(), qPrintable(swapper.errorString()));
    const auto stop = qScopeGuard([&] {
        swapper.kill();
        swapper.waitForFinished();
    });
    QTest::qWait(200); // the swapping under way
    QCOMPARE(swapper.state(), QProcess::Running);
    QMap<SaveOutcome::End, int> results;
    for (int attempt = 0; attempt < 300; ++attempt) {
        RecordingCaller caller = callerFor(work);
        ++results[caller.save().end];
    }
    qInfo() << "saved" << results.value(SaveOutcome::End::Saved) << "times, failed"
            << results.value(SaveOutcome::End::Failed) << "times";
    QCOMPARE(snapshot(victim), victimBefore);
    // Both states of the swap were met: the race really ran.
    QVERIFY(results.value(SaveOutcome::End::Saved) > 0);
    QVERIFY(results.value(SaveOutcome::End::Failed) > 0);
    swapper.kill();
    swapper.waitForFinished();
    const QStringList left = snapshot(shared).keys();
    QVERIFY2(left.filter(u".kelvora-"_s).isEmpty(), qPrintable(left.join(u", "_s)));
}

// ---------------------------------------------------------------------------------------------
// An input beyond what 32 bits count

// A sparse file of about 3 GiB: a head and a tail of real lines, and between them start-strength
// lines of a MiB each, mostly NUL bytes that take no disk space. The save holds one line at a
// time in memory, so the lines must end somewhere; their rewritten copies are short.
void tst_SaveFaults::inputLargerThanTwoGiB()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString inputPath = dir.filePath(InputName);
    if (QStorageInfo(dir.path()).bytesAvailable() < 256 << 20)
        QSKIP("less than 256 MiB free for a sparse file's written parts");

    // A file of holes only must take no space, or this test would write gigabytes.
    {
        QFile probe(dir.filePath(u"probe"_s));
        QVERIFY(probe.open(QIODevice::WriteOnly) && probe.resize(qint64(64) << 20));
        struct stat status{};
        QVERIFY(::stat(QFile::encodeName(probe.fileName()).constData(), &status) == 0);
        if (status.st_blocks * 512 > (1 << 20))
            QSKIP("the file system keeps no sparse files");
        probe.remove();
    }

    constexpr qint64 LineSpan = 256 << 10;
    constexpr int MiddleLines = 12 * 1024 + 7;
    const QByteArray head("; Kopf\r\n01MAXSTRENGTH   8000\r\n");
    const QByteArray tail("\r\n01MAXSTRENGTH   8000\r\nEnde\r\n");
    QFile input(inputPath);
    QVERIFY(input.open(QIODevice::WriteOnly));
    auto writeAt = [&input](qint64 offset, const QByteArray &bytes) {
        return input.seek(offset) && input.write(bytes) == bytes.size();
    };
    QVERIFY(writeAt(0, head + "01ST"));
    for (int line = 1; line < MiddleLines; ++line)
        QVERIFY(writeAt(head.size() + line * LineSpan - 2, "\r\n01ST"));
    QVERIFY(writeAt(head.size() + MiddleLines * LineSpan - 2, tail));
    input.close();
    const qint64 length = input.size();
    QVERIFY(length > (qint64(3) << 30));

    // Line lengths as the save counts them, and the rows of asterisks they give.
    QList<qint64> lineLengths{6, 20};
    lineLengths.append(QList<qint64>(MiddleLines, LineSpan - 2));
    lineLengths << 20 << 4;
    QList<int> expectedRows;
    qint64 progress = 0;
    for (const qint64 lineLength : lineLengths) {
        progress += lineLength + 2;
        expectedRows << int(std::nearbyint(double(progress) / double(length) * 20));
    }
    QCOMPARE(progress, length);

    const QByteArray maxLine = "01MAXSTRENGT" + QByteArray(21, ' ') + " 8000 \r\n";
    const QByteArray startLine = "01ST" + QByteArray(4, '\0') + QByteArray(25, ' ') + " 6000 \r\n";
    QByteArray expectedOutput = "; Kopf\r\n" + maxLine;
    expectedOutput += startLine.repeated(MiddleLines);
    expectedOutput += maxLine + "Ende\r\n";

    RecordingCaller caller = callerFor(dir.path());
    const SaveOutcome result = caller.save();
    const QString problem = successProblem(result);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(caller.progress.size(), expectedRows.size());
    QCOMPARE(caller.progress, expectedRows);
    QCOMPARE(caller.progress.last(), 20);
    QVERIFY(readFile(inputPath + ".new"_L1) == expectedOutput);
    QCOMPARE(listing(dir.path()), QStringList({InputName, OutputName}));
    QCOMPARE(QFileInfo(inputPath).size(), length);
}

QTEST_GUILESS_MAIN(tst_SaveFaults)
#include "tst_savefaults.moc"
