// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/savefiles.h"

#include "platform/linux/pathwalk.h"

#include <QList>

#include <algorithm>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

auto retryOnInterrupt(const auto &call)
{
    decltype(call()) result;
    do
        result = call();
    while (result < 0 && errno == EINTR);
    return result;
}

FileIdentity identityOf(const struct stat &status)
{
    return {quint64(status.st_dev), quint64(status.st_ino)};
}

} // namespace

// The folder of a save: its descriptor, and the other users' links its path went through,
// which every name followed in it inherits.
struct SaveFolder::State
{
    FileDescriptor fd;
    QList<LinkOwner> foreignLinkOwners;

    Followed follow(const QByteArray &name) const
    {
        return ::follow(startWalk(fd.get(), foreignLinkOwners), name);
    }
};

namespace {

using Step = SaveFailure::Step;

SaveFailure lastFailure(Step step)
{
    return SaveFailure::ofSystem(step, lastSystemError());
}

// The folder's path as the kernel knows it now, for messages only.
QByteArray shownPathOf(int folderFd)
{
    char path[PATH_MAX];
    const QByteArray link = "/proc/self/fd/"_ba + QByteArray::number(folderFd);
    const ssize_t length = ::readlink(link.constData(), path, sizeof path);
    return length > 0 && length < ssize_t(sizeof path) ? QByteArray(path, length) : QByteArray();
}

} // namespace

// ---- SaveFolder -------------------------------------------------------------------------------

SaveFolder::SaveFolder() : m(std::make_unique<State>()) {}
SaveFolder::~SaveFolder() = default;

std::optional<SaveFailure> SaveFolder::open(const QString &path)
{
    m_path = path;
    Walk walk;
    walk.folder = FileDescriptor(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!walk.folder.isOpen())
        return lastFailure(Step::OpenInput);
    walkPath(walk, systemFileName(path));
    if (walk.failed())
        return walk.failure(Step::OpenInput);
    m->fd = reopenFolder(walk.folder.get());
    m->foreignLinkOwners = walk.foreignLinkOwners;
    if (!m->fd.isOpen())
        return lastFailure(Step::OpenInput);
    return std::nullopt;
}

// ---- InputFile --------------------------------------------------------------------------------

namespace {

qint64 nanoseconds(const timespec &time)
{
    return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

qint64 clockNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

struct InputFile::State
{
    FileDescriptor folder;
    QByteArray name; // as chosen, in `folder`
    FileDescriptor fd;
    struct stat opened{};
    FolderEntry entry; // the one its links lead to, where replacing a file would change it
};

InputFile::InputFile() : m(std::make_unique<State>()) {}
InputFile::~InputFile() = default;

qint64 InputFile::stampTicksPerSecond()
{
    return 1'000'000'000;
}

std::optional<SaveFailure> InputFile::openFile(const SaveFolder &folder, const QString &name)
{
    m->name = systemFileName(name);
    const Followed f = folder.state().follow(m->name);
    if (std::optional<SaveFailure> refused = f.unlessRegular(Step::OpenInput))
        return refused;
    if (f.leadsBeyondItsOwners(S_IRUSR))
        return SaveFailure::refused(Step::OpenInput, Refusal::ForeignLinkBeyondItsOwner);
    // Looked at before it is opened for reading: opening a FIFO waits for a writer, opening a
    // device may act. An O_PATH descriptor names the file without opening it, and reading
    // opens that very file again, so nothing swapped in between is ever opened.
    const FileDescriptor found(
        ::openat(f.walk.folder.get(), f.name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!found.isOpen() || ::fstat(found.get(), &m->opened) != 0)
        return lastFailure(Step::OpenInput);
    if (!sameFile(m->opened, f.found))
        return SaveFailure::refused(Step::OpenInput, Refusal::SwappedMeanwhile);
    const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    m->fd = FileDescriptor(
        ::open(("/proc/self/fd/"_ba + QByteArray::number(found.get())).constData(), flags));
    if (!m->fd.isOpen() && errno == ENOENT) // no /proc: by name, still without waiting
        m->fd = FileDescriptor(::openat(f.walk.folder.get(), f.name.constData(), flags | O_NOFOLLOW));
    struct stat opened{};
    if (!m->fd.isOpen() || ::fstat(m->fd.get(), &opened) != 0)
        return lastFailure(Step::OpenInput);
    if (!sameFile(opened, m->opened) || !S_ISREG(opened.st_mode)) {
        m->fd.reset();
        return SaveFailure::notRegular(Step::OpenInput, fileTypeOf(opened.st_mode));
    }
    m->folder = FileDescriptor(::fcntl(folder.state().fd.get(), F_DUPFD_CLOEXEC, 0));
    m->entry = entryOf(f);
    m_opened = {m->opened.st_size, nanoseconds(m->opened.st_mtim), nanoseconds(m->opened.st_ctim),
                clockNow()};
    m_identity = identityOf(m->opened);
    ::posix_fadvise(m->fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::nullopt;
}

qint64 InputFile::readFile(char *into, qint64 max)
{
    const ssize_t got = retryOnInterrupt([&] { return ::read(m->fd.get(), into, size_t(max)); });
    if (got < 0)
        m_error = lastSystemError();
    return got;
}

qint64 InputFile::readFileAt(qint64 offset, char *into, qint64 max)
{
    const ssize_t got =
        retryOnInterrupt([&] { return ::pread(m->fd.get(), into, size_t(max), off_t(offset)); });
    if (got < 0)
        m_error = lastSystemError();
    return got;
}

std::optional<InputFile::Stamp> InputFile::stampNow(bool &nameStillNamesIt) const
{
    struct stat now{};
    struct stat atName{};
    if (::fstat(m->fd.get(), &now) != 0)
        return std::nullopt;
    nameStillNamesIt = ::fstatat(m->folder.get(), m->name.constData(), &atName, 0) == 0
        && sameFile(atName, m->opened);
    return Stamp{now.st_size, nanoseconds(now.st_mtim), nanoseconds(now.st_ctim), clockNow()};
}

// ---- ReplacementFile --------------------------------------------------------------------------

namespace {

// Writeback of finished output starts every so many bytes, so that the final sync has little
// left to do. It is only started, never waited for: on a slow disk that would stall the save.
constexpr qint64 WritebackRange = 8 << 20;

// `mode` without the read rights that would let anyone read the file who may not read the
// selected file: root saving a file only root may read must not hand its content to anyone.
mode_t readableOnlyAsTheSelectedFile(const struct stat &selected, gid_t group, mode_t mode)
{
    const bool everyoneMayRead = selected.st_mode & S_IROTH;
    const bool groupMayRead =
        everyoneMayRead || ((selected.st_mode & S_IRGRP) && group == selected.st_gid);
    if (!everyoneMayRead)
        mode &= ~mode_t(S_IROTH);
    if (!groupMayRead)
        mode &= ~mode_t(S_IRGRP);
    return mode;
}

} // namespace

struct ReplacementFile::State
{
    FileDescriptor folder;     // where the target lives
    QByteArray targetName;     // in `folder`
    bool throughLink = false;  // `folder` is where a link led
    bool targetExisted = false;
    struct stat target{};      // when it existed
    QByteArray temporary;      // in `folder`, empty when there is none
    FileDescriptor fd;
    qint64 written = 0;
    qint64 writebackStarted = 0; // bytes handed to writeback so far
    SaveFailure failure;

    std::optional<SaveFailure> chooseTarget(const SaveFolder &saveFolder, const QByteArray &name,
                                            const InputFile::State &input);
    std::optional<SaveFailure> acceptExistingTarget(const struct stat &found);
    std::optional<SaveFailure> createTemporary(const struct stat &selected);
    void setOwnerAndMode(const struct stat &selected);
    std::optional<SaveFailure> failed(const SaveFailure &why);
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

std::optional<SaveFailure> ReplacementFile::open(const SaveFolder &folder, const QString &name,
                                                 const InputFile &input)
{
    if (std::optional<SaveFailure> refused =
            m->chooseTarget(folder, systemFileName(name), input.state()))
        return refused;
    return m->createTemporary(input.state().opened);
}

// Looks at what is at `name`, without following a link until the link has been judged.
std::optional<SaveFailure> ReplacementFile::State::chooseTarget(const SaveFolder &saveFolder,
                                                                const QByteArray &name,
                                                                const InputFile::State &input)
{
    Followed f = saveFolder.state().follow(name);
    throughLink = f.throughLink;
    if (!f.exists && f.walk.refusal == Refusal::None && f.walk.error.number == ENOENT) {
        if (f.throughLink)
            return SaveFailure::refused(Step::OpenOutput, Refusal::DanglingLink);
        folder = std::move(f.walk.folder); // a new file, beside the selected one
        targetName = f.name;
        return std::nullopt;
    }
    if (std::optional<SaveFailure> refused = f.unlessRegular(Step::OpenOutput))
        return refused;
    // The selected file may be a link to this very entry, or this a link to the selected file
    // (by any other path: a bind mount, a linked folder); replacing it would change that file.
    // A hard link is another entry, which the rename leaves alone.
    if (entryOf(f) == input.entry || (f.throughLink && sameFile(f.found, input.opened)))
        return SaveFailure::refused(Step::OpenOutput, Refusal::LeadsToInput);
    if (f.leadsBeyondItsOwners(S_IWUSR))
        return SaveFailure::refused(Step::OpenOutput, Refusal::ForeignLinkBeyondItsOwner);
    // Where a link led, the folder was reached as a place only; its sync needs it opened.
    folder = f.throughLink ? reopenFolder(f.walk.folder.get()) : std::move(f.walk.folder);
    targetName = f.name;
    if (!folder.isOpen())
        return lastFailure(Step::OpenOutput);
    return acceptExistingTarget(f.found);
}

// A regular file that may be replaced once the user may write it.
std::optional<SaveFailure> ReplacementFile::State::acceptExistingTarget(const struct stat &found)
{
    targetExisted = true;
    target = found;
    if (::faccessat(folder.get(), targetName.constData(), W_OK, AT_EACCESS) != 0)
        return SaveFailure::refused(Step::OpenOutput, Refusal::NotWritable, lastSystemError());
    return std::nullopt;
}

std::optional<SaveFailure> ReplacementFile::State::createTemporary(const struct stat &selected)
{
    // A new file starts with the selected file's permissions as the umask leaves them; a
    // replaced one private until it has its owner's.
    const mode_t mode = targetExisted ? 0600 : selected.st_mode & 0666;
    QByteArray name;
    int opened = -1;
    for (int attempt = 0; attempt < TemporaryNameAttempts && opened < 0; ++attempt) {
        name = systemFileName(temporaryName());
        opened = ::openat(folder.get(), name.constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (opened < 0 && errno != EEXIST)
            break;
    }
    if (opened < 0) { // EEXIST when every name tried was taken
        const bool folderRefuses = errno == EACCES || errno == EPERM || errno == EROFS;
        SaveFailure refused = SaveFailure::refused(
            Step::OpenOutput, folderRefuses ? Refusal::FolderRefusesNewFile : Refusal::None,
            lastSystemError());
        refused.throughLink = throughLink;
        return refused;
    }
    fd = FileDescriptor(opened);
    temporary = name;
    setOwnerAndMode(selected);
    return std::nullopt;
}

// A replaced file keeps its owner (when root saves; nobody else can give files away), its
// group where the user may give it and its mode; a new one takes the selected file's group
// where the user may. Either way no one gets to read it who may not read the selected file,
// and root hands a file back only to an owner who may.
void ReplacementFile::State::setOwnerAndMode(const struct stat &selected)
{
    struct stat made{};
    if (::fstat(fd.get(), &made) != 0)
        return; // it stays as private as it was made
    uid_t owner = made.st_uid;
    gid_t group = targetExisted ? target.st_gid : selected.st_gid;
    mode_t mode = targetExisted ? target.st_mode & 07777 : made.st_mode & 07777;
    if (targetExisted && ::geteuid() == 0
        && userMay(target.st_uid, selected.st_uid, selected.st_mode, S_IRUSR))
        owner = target.st_uid;
    // A file given to no one else keeps no one else's set-user or set-group bit.
    if (targetExisted && owner != target.st_uid)
        mode &= ~mode_t(S_ISUID | S_ISGID);
    // Owner first: a change of owner clears the set-user and set-group bits.
    if ((owner != made.st_uid || group != made.st_gid)
        && ::fchown(fd.get(), owner, group) != 0 && ::fchown(fd.get(), made.st_uid, group) != 0)
        group = made.st_gid;
    ::fchmod(fd.get(), readableOnlyAsTheSelectedFile(selected, group, mode));
}

QString ReplacementFile::targetFolder() const
{
    return fileNameFromSystem(shownPathOf(m->folder.get()));
}

bool ReplacementFile::foundEarlierFile() const
{
    return m->targetExisted;
}

bool ReplacementFile::write(const char *bytes, qint64 count)
{
    while (count > 0) {
        const ssize_t done = ::write(m->fd.get(), bytes, size_t(count));
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0) {
            m->failed(lastFailure(Step::WriteOutput));
            return false;
        }
        if (done == 0) {
            m->failed(SaveFailure::refused(Step::WriteOutput, Refusal::NothingWritten));
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
        && S_ISREG(now.st_mode) && sameFile(now, target);
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

std::optional<SaveFailure> ReplacementFile::State::failed(const SaveFailure &why)
{
    failure = why;
    return why;
}

std::optional<SaveFailure> ReplacementFile::commit()
{
    State &s = *m;
    // sync_file_range reports nothing reliable; fdatasync is the check that counts.
    if (retryOnInterrupt([&] { return ::fdatasync(s.fd.get()); }) != 0)
        return s.failed(lastFailure(Step::WriteOutput));
    if (!s.targetStillAsChecked())
        return s.failed(SaveFailure::refused(Step::WriteOutput, Refusal::SwappedMeanwhile));
    if (!s.putInPlace())
        return s.failed(lastFailure(Step::WriteOutput));
    // The new name is durable only once the folder is. A folder opened only as a place (one
    // the user may not list) cannot be synced itself; its whole file system is, through the
    // file. EINVAL: a file system that cannot sync folders, where there is nothing more to do.
    int synced = ::fsync(s.folder.get());
    if (synced != 0 && errno == EBADF)
        synced = ::syncfs(s.fd.get());
    const int syncError = synced != 0 && errno != EINVAL ? errno : 0;
    if (::close(s.fd.release()) != 0 || syncError != 0)
        return s.failed(SaveFailure::ofSystem(
            Step::SyncFolder, makeSystemError(syncError != 0 ? syncError : errno)));
    return std::nullopt;
}

SaveFailure ReplacementFile::failure() const
{
    return m->failure;
}

void ReplacementFile::State::discard()
{
    fd.reset();
    if (!temporary.isEmpty())
        ::unlinkat(folder.get(), temporary.constData(), 0);
    temporary.clear();
}

// A rename either happens whole or not at all: nothing is ever stranded.
ReplacementFile::Stranded ReplacementFile::stranded() const
{
    return {};
}
