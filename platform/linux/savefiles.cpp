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

int retryOnInterrupt(const auto &call)
{
    int result;
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
    // Looked at before opening: opening a FIFO waits for a writer, opening a device may act.
    struct stat found{};
    if (::stat(m->path.constData(), &found) != 0)
        return {lastSystemError()};
    if (!S_ISREG(found.st_mode))
        return {{}, fileTypeOf(found.st_mode)};
    // Without waiting even if a FIFO was put there since the look.
    m->fd = FileDescriptor(
        ::open(m->path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!m->fd.isOpen())
        return {lastSystemError()};
    if (::fstat(m->fd.get(), &m->opened) != 0)
        return {lastSystemError()};
    if (!S_ISREG(m->opened.st_mode)) {
        m->fd.reset();
        return {{}, fileTypeOf(m->opened.st_mode)};
    }
    m_opened = {m->opened.st_size, nanoseconds(m->opened.st_mtim), nanoseconds(m->opened.st_ctim)};
    ::posix_fadvise(m->fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return {};
}

qint64 InputFile::readFile(char *into, qint64 max)
{
    ssize_t got;
    do
        got = ::read(m->fd.get(), into, size_t(max));
    while (got < 0 && errno == EINTR);
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

// Writeback of finished output starts every so many bytes, and the range before the last one
// is waited for, so dirty pages stay few and the final sync has little left to do.
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
    ReplacementFile::Opened chooseTarget(const QByteArray &path, const InputFile &input);
    ReplacementFile::Opened followLink(const QByteArray &path, const struct stat &link,
                                       const InputFile &input);
    ReplacementFile::Opened createTemporary();
    void startWriteback();
    bool targetStillAsChecked() const;
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
    return chosen.succeeded() ? m->createTemporary() : chosen;
}

// Looks at what is at `path`, without following a link until the link has been judged.
ReplacementFile::Opened ReplacementFile::State::chooseTarget(const QByteArray &path,
                                                             const InputFile &input)
{
    const FolderAndName parts = splitPath(path);
    folder = FileDescriptor(::open(parts.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isOpen())
        return refuse(Refusal::Failed, lastSystemError());
    targetName = parts.name;
    targetPath = path;
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
    if (::faccessat(folder.get(), targetName.constData(), W_OK, AT_EACCESS) != 0)
        return refuse(Refusal::NotWritable, lastSystemError());
    targetExisted = true;
    target = found;
    return {};
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
    char resolved[PATH_MAX];
    if (!::realpath(path.constData(), resolved))
        return refuse(Refusal::Failed, lastSystemError());
    const FolderAndName parts = splitPath(QByteArray(resolved));
    folder = FileDescriptor(::open(parts.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isOpen())
        return refuse(Refusal::Failed, lastSystemError());
    targetName = parts.name;
    targetPath = resolved;
    if (::faccessat(folder.get(), targetName.constData(), W_OK, AT_EACCESS) != 0)
        return refuse(Refusal::NotWritable, lastSystemError());
    targetExisted = true;
    target = found;
    return {};
}

ReplacementFile::Opened ReplacementFile::State::createTemporary()
{
    // A replaced file keeps its permissions; a new one gets what the umask leaves of 0666.
    const mode_t mode = targetExisted ? 0600 : 0666;
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
            ::fchmod(fd.get(), target.st_mode & 07777);
            // Root replacing someone's file leaves it theirs; nobody else can give files away.
            if (::geteuid() == 0)
                (void)::fchown(fd.get(), target.st_uid, target.st_gid);
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

// Hands each finished range to writeback and waits for the one before it, so that writing
// goes on while the disk catches up.
void ReplacementFile::State::startWriteback()
{
    while (written - writebackStarted >= WritebackRange) {
        ::sync_file_range(fd.get(), writebackStarted, WritebackRange, SYNC_FILE_RANGE_WRITE);
        if (writebackStarted >= WritebackRange) {
            ::sync_file_range(fd.get(), writebackStarted - WritebackRange, WritebackRange,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE
                                  | SYNC_FILE_RANGE_WAIT_AFTER);
        }
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
    // Where nothing was, nothing that appeared since may be replaced.
    const unsigned int flags = s.targetExisted ? 0 : RENAME_NOREPLACE;
    int renamed = ::renameat2(s.folder.get(), s.temporary.constData(), s.folder.get(),
                              s.targetName.constData(), flags);
    if (renamed != 0 && flags != 0 && errno == EINVAL) // a file system without the flag
        renamed = ::renameat(s.folder.get(), s.temporary.constData(), s.folder.get(),
                             s.targetName.constData());
    if (renamed != 0) {
        s.error = lastSystemError();
        return Commit::NotWritten;
    }
    s.temporary.clear();
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
