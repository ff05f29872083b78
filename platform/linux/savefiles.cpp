// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/savefiles.h"

#include "platform/linux/systemcalls.h"

#include <QRandomGenerator>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// A path's folder and last name, as bytes: "/a/b.new" gives "/a" and "b.new".
struct FolderAndName
{
    QByteArray folder;
    QByteArray name;
};

FolderAndName splitPath(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return {"."_ba, path};
    return {slash == 0 ? "/"_ba : path.left(slash), path.mid(slash + 1)};
}

auto retryOnInterrupt(const auto &call)
{
    decltype(call()) result;
    do
        result = call();
    while (result < 0 && errno == EINTR);
    return result;
}

} // namespace

// ---- InputFile --------------------------------------------------------------------------------

namespace {

qint64 nanoseconds(const timespec &time)
{
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

} // namespace

struct InputFile::State
{
    QByteArray path;
    FileDescriptor fd;
    struct stat opened{};
};

InputFile::InputFile() : m(std::make_unique<State>()) {}
InputFile::~InputFile() = default;

InputFile::Opened InputFile::openFile(const QString &path)
{
    m->path = systemFileName(path);
    // Looked at before it is opened for reading: opening a FIFO waits for a writer, opening a
    // device may act. An O_PATH descriptor names the file without opening it, and reading
    // opens that very file again, so nothing swapped in between is ever opened.
    const FileDescriptor found(::open(m->path.constData(), O_PATH | O_CLOEXEC));
    if (!found.isOpen())
        return {lastSystemError()};
    if (::fstat(found.get(), &m->opened) != 0)
        return {lastSystemError()};
    if (!S_ISREG(m->opened.st_mode))
        return {{}, fileTypeOf(m->opened.st_mode)};
    m->fd = FileDescriptor(::open(("/proc/self/fd/"_ba + QByteArray::number(found.get())).constData(),
                                  O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!m->fd.isOpen() && errno == ENOENT) // no /proc: by name, still without waiting
        m->fd = FileDescriptor(
            ::open(m->path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened{};
    if (!m->fd.isOpen() || ::fstat(m->fd.get(), &opened) != 0)
        return {lastSystemError()};
    if (opened.st_dev != m->opened.st_dev || opened.st_ino != m->opened.st_ino
        || !S_ISREG(opened.st_mode)) {
        m->fd.reset();
        return {{}, fileTypeOf(opened.st_mode)};
    }
    m_opened = {m->opened.st_size, nanoseconds(m->opened.st_mtim), nanoseconds(m->opened.st_ctim)};
    ::posix_fadvise(m->fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return {};
}

qint64 InputFile::readFile(char *into, qint64 max)
{
    const ssize_t got = retryOnInterrupt([&] { return ::read(m->fd.get(), into, size_t(max)); });
    if (got < 0)
        m_error = lastSystemError();
    return got;
}

std::optional<InputFile::Stamp> InputFile::stampNow(bool &pathStillNamesIt) const
{
    struct stat now{};
    struct stat atPath{};
    if (::fstat(m->fd.get(), &now) != 0)
        return std::nullopt;
    pathStillNamesIt = ::stat(m->path.constData(), &atPath) == 0
        && atPath.st_dev == m->opened.st_dev && atPath.st_ino == m->opened.st_ino;
    return Stamp{now.st_size, nanoseconds(now.st_mtim), nanoseconds(now.st_ctim)};
}

// ---- ReplacementFile --------------------------------------------------------------------------

namespace {

// Writeback of finished output starts every so many bytes, so that the final sync has little
// left to do. It is only started, never waited for: on a slow disk that would stall the save.
constexpr qint64 WritebackRange = 8 << 20;

constexpr int TemporaryNameAttempts = 100;

// Short and fixed in length, so that it fits wherever the ".new" name fits.
QByteArray temporaryName()
{
    return ".kelvora-"_ba + QByteArray::number(QRandomGenerator::system()->generate() % 0x1000000, 16)
                               .rightJustified(6, '0')
        + ".tmp"_ba;
}

// The kernel's protected_symlinks rule: in a sticky folder that everyone may write to, a link
// is only followed when it belongs to the follower or to the folder's owner.
bool isForeignLinkInSharedFolder(int folderFd, const struct stat &link)
{
    struct stat folder{};
    if (::fstat(folderFd, &folder) != 0)
        return true;
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return shared && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid;
}

// Another user's link may only lead where that user could write anyway: otherwise anyone who
// may put a link into a folder could have root's save overwrite any file on the system.
bool leadsBeyondItsOwner(const struct stat &link, const struct stat &target)
{
    return link.st_uid != ::geteuid() && target.st_uid != link.st_uid
        && !(target.st_mode & S_IWOTH);
}

// The folder's real path and the name: the directory entry a path ends in.
QByteArray entryOf(const QByteArray &path)
{
    const FolderAndName parts = splitPath(path);
    char folder[PATH_MAX];
    if (!::realpath(parts.folder.constData(), folder))
        return {};
    return QByteArray(folder) + '/' + parts.name;
}

} // namespace

struct ReplacementFile::State
{
    FileDescriptor folder;     // where the target lives
    QByteArray targetName;     // in `folder`
    QByteArray targetPath;
    bool targetExisted = false;
    struct stat target{};      // when it existed
    QByteArray temporary;      // in `folder`, empty when there is none
    FileDescriptor fd;
    qint64 written = 0;
    qint64 writebackStarted = 0; // bytes handed to writeback so far
    SystemError error;

    ReplacementFile::Opened refuse(Refusal refusal, SystemError why = {},
                                   FileType type = FileType::Regular)
    {
        return {refusal, type, std::move(why), false};
    }
    bool openFolderOf(const QByteArray &path);
    ReplacementFile::Opened chooseTarget(const QByteArray &path, const InputFile &input);
    ReplacementFile::Opened followLink(const QByteArray &path, const struct stat &link,
                                       const InputFile &input);
    ReplacementFile::Opened acceptExistingTarget(const struct stat &found);
    ReplacementFile::Opened createTemporary(const InputFile &input);
    void startWriteback();
    bool targetStillAsChecked() const;
    bool putInPlace();
    void discard();
};

ReplacementFile::ReplacementFile() : m(std::make_unique<State>()) {}

ReplacementFile::~ReplacementFile()
{
    m->discard();
}

ReplacementFile::Opened ReplacementFile::open(const QString &path, const InputFile &input)
{
    const Opened chosen = m->chooseTarget(systemFileName(path), input);
    return chosen.succeeded() ? m->createTemporary(input) : chosen;
}

// Makes `path` the target: its folder opened, its name within. False when the folder cannot be
// opened (errno says why).
bool ReplacementFile::State::openFolderOf(const QByteArray &path)
{
    const FolderAndName parts = splitPath(path);
    targetName = parts.name;
    targetPath = path;
    folder = FileDescriptor(::open(parts.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.isOpen();
}

// Looks at what is at `path`, without following a link until the link has been judged.
ReplacementFile::Opened ReplacementFile::State::chooseTarget(const QByteArray &path,
                                                             const InputFile &input)
{
    if (!openFolderOf(path))
        return refuse(Refusal::Failed, lastSystemError());
    struct stat found{};
    if (::fstatat(folder.get(), targetName.constData(), &found, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return {};
        return refuse(Refusal::Failed, lastSystemError());
    }
    if (S_ISLNK(found.st_mode))
        return followLink(path, found, input);
    if (!S_ISREG(found.st_mode))
        return refuse(Refusal::NotRegular, {}, fileTypeOf(found.st_mode));
    // The selected file may be a link to its own .new; replacing that would change it. (A hard
    // link is another entry, which the rename leaves alone.)
    if (const QByteArray entry = entryOf(path); !entry.isEmpty()) {
        char selected[PATH_MAX];
        if (::realpath(input.m->path.constData(), selected) && entry == selected)
            return refuse(Refusal::LeadsToInput);
    }
    return acceptExistingTarget(found);
}

ReplacementFile::Opened ReplacementFile::State::followLink(const QByteArray &path,
                                                           const struct stat &link,
                                                           const InputFile &input)
{
    if (isForeignLinkInSharedFolder(folder.get(), link))
        return refuse(Refusal::ForeignLinkInSharedFolder);
    struct stat found{};
    if (::fstatat(folder.get(), targetName.constData(), &found, 0) != 0) {
        if (errno == ENOENT)
            return refuse(Refusal::DanglingLink);
        return refuse(Refusal::Failed, lastSystemError());
    }
    if (!S_ISREG(found.st_mode)) {
        Opened refused = refuse(Refusal::NotRegular, {}, fileTypeOf(found.st_mode));
        refused.throughLink = true;
        return refused;
    }
    // Another path to the very file being read (a bind mount, a linked folder) counts too.
    if (found.st_dev == input.m->opened.st_dev && found.st_ino == input.m->opened.st_ino)
        return refuse(Refusal::LeadsToInput);
    if (leadsBeyondItsOwner(link, found))
        return refuse(Refusal::ForeignLinkBeyondItsOwner);
    char resolved[PATH_MAX];
    if (!::realpath(path.constData(), resolved) || !openFolderOf(QByteArray(resolved)))
        return refuse(Refusal::Failed, lastSystemError());
    return acceptExistingTarget(found);
}

// A regular file that may be replaced once the user may write it.
ReplacementFile::Opened ReplacementFile::State::acceptExistingTarget(const struct stat &found)
{
    if (::faccessat(folder.get(), targetName.constData(), W_OK, AT_EACCESS) != 0)
        return refuse(Refusal::NotWritable, lastSystemError());
    targetExisted = true;
    target = found;
    return {};
}

ReplacementFile::Opened ReplacementFile::State::createTemporary(const InputFile &input)
{
    // A replaced file keeps its permissions. A new one is never more readable than the file it
    // is made from (what the umask leaves of that file's permissions): root saving a file only
    // root may read must not hand its content to everyone.
    const mode_t mode = targetExisted ? 0600 : input.m->opened.st_mode & 0666;
    for (int attempt = 0; attempt < TemporaryNameAttempts; ++attempt) {
        const QByteArray name = temporaryName();
        const int opened = ::openat(folder.get(), name.constData(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (opened < 0 && errno == EEXIST)
            continue;
        if (opened < 0) {
            const bool folderRefuses = errno == EACCES || errno == EPERM || errno == EROFS;
            return refuse(folderRefuses ? Refusal::FolderRefusesNewFile : Refusal::Failed,
                          lastSystemError());
        }
        fd = FileDescriptor(opened);
        temporary = name;
        if (targetExisted) {
            // Root replacing someone's file leaves it theirs; nobody else can give files away.
            // Owner first: a change of owner clears the set-user and set-group bits.
            if (::geteuid() == 0)
                (void)::fchown(fd.get(), target.st_uid, target.st_gid);
            ::fchmod(fd.get(), target.st_mode & 07777);
        }
        return {};
    }
    return refuse(Refusal::Failed, makeSystemError(EEXIST));
}

QString ReplacementFile::targetPath() const
{
    return fileNameFromSystem(m->targetPath);
}

bool ReplacementFile::write(const char *bytes, qint64 count)
{
    while (count > 0) {
        const ssize_t done = ::write(m->fd.get(), bytes, size_t(count));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            m->error = done < 0 ? lastSystemError() : makeSystemError(ENOSPC);
            return false;
        }
        bytes += done;
        count -= done;
        m->written += done;
    }
    m->startWriteback();
    return true;
}

// Hands each finished range to writeback; the disk catches up while the rewrite goes on.
void ReplacementFile::State::startWriteback()
{
    while (written - writebackStarted >= WritebackRange) {
        ::sync_file_range(fd.get(), writebackStarted, WritebackRange, SYNC_FILE_RANGE_WRITE);
        writebackStarted += WritebackRange;
    }
}

// What was judged replaceable at open must still be there: a FIFO or device put in its place
// meanwhile is not replaced.
bool ReplacementFile::State::targetStillAsChecked() const
{
    if (!targetExisted)
        return true; // the rename refuses to replace anything that appeared
    struct stat now{};
    return ::fstatat(folder.get(), targetName.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(now.st_mode) && now.st_dev == target.st_dev && now.st_ino == target.st_ino;
}

// Renames the temporary file onto the target. Where nothing was, nothing that appeared since
// may be replaced: a rename that refuses to replace, or else a hard link, which cannot replace.
// Only a file system that has neither (FAT) gets a plain rename.
bool ReplacementFile::State::putInPlace()
{
    const int from = folder.get();
    const char *temporaryName = temporary.constData();
    const char *name = targetName.constData();
    bool done = ::renameat2(from, temporaryName, from, name, targetExisted ? 0 : RENAME_NOREPLACE)
        == 0;
    if (!done && !targetExisted && (errno == EINVAL || errno == ENOSYS)) {
        done = ::linkat(from, temporaryName, from, name, 0) == 0;
        if (done)
            ::unlinkat(from, temporaryName, 0);
        else if (errno == EPERM || errno == EOPNOTSUPP)
            done = ::renameat(from, temporaryName, from, name) == 0;
    }
    if (done)
        temporary.clear();
    return done;
}

ReplacementFile::Commit ReplacementFile::commit()
{
    State &s = *m;
    // sync_file_range reports nothing reliable; fdatasync is the check that counts.
    if (retryOnInterrupt([&] { return ::fdatasync(s.fd.get()); }) != 0) {
        s.error = lastSystemError();
        return Commit::NotWritten;
    }
    if (::close(s.fd.release()) != 0) {
        s.error = lastSystemError();
        return Commit::NotWritten;
    }
    if (!s.targetStillAsChecked()) {
        s.error = makeSystemError(EEXIST);
        return Commit::NotWritten;
    }
    if (!s.putInPlace()) {
        s.error = lastSystemError();
        return Commit::NotWritten;
    }
    // The new name is durable only once the folder is. EINVAL: a file system that cannot
    // sync folders, where there is nothing more to do.
    if (::fsync(s.folder.get()) != 0 && errno != EINVAL) {
        s.error = lastSystemError();
        return Commit::NotDurable;
    }
    return Commit::Done;
}

SystemError ReplacementFile::error() const
{
    return m->error;
}

void ReplacementFile::State::discard()
{
    fd.reset();
    if (!temporary.isEmpty())
        ::unlinkat(folder.get(), temporary.constData(), 0);
    temporary.clear();
}
