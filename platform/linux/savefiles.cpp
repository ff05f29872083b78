// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/savefiles.h"

#include "platform/linux/accesslist.h"
#include "platform/linux/earlysync.h"
#include "platform/linux/pathwalk.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <array>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/xattr.h>

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

// ---- UnsyncedFolder ---------------------------------------------------------------------------

struct UnsyncedFolder::State
{
    FileDescriptor folder; // opened for reading, which fsync needs
};

UnsyncedFolder::UnsyncedFolder(std::unique_ptr<State> state, FileIdentity identity)
    : m(std::move(state)), m_identity(identity)
{
}
UnsyncedFolder::~UnsyncedFolder() = default;

// EINVAL: a file system that cannot sync folders, where there is nothing more to do.
std::optional<SaveFailure> UnsyncedFolder::sync() const
{
    if (::fsync(m->folder.get()) == 0 || errno == EINVAL)
        return std::nullopt;
    return lastFailure(Step::SyncFolder);
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
    // Looked at before it is opened for reading: opening a FIFO waits for a writer, opening a
    // device may act. An O_PATH descriptor names the file without opening it, and reading
    // opens that very file again, so nothing swapped in between is ever opened.
    const FileDescriptor found(
        ::openat(f.walk.folder.get(), f.name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!found.isOpen() || ::fstat(found.get(), &m->opened) != 0)
        return lastFailure(Step::OpenInput);
    if (!sameFile(m->opened, f.found))
        return SaveFailure::refused(Step::OpenInput, Refusal::SwappedMeanwhile);
    if (const std::optional<Refusal> refusal = f.beyondItsOwners(found.get(), R_OK))
        return SaveFailure::refused(Step::OpenInput, *refusal);
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

// Every so many bytes of output, what is written so far is synced on a thread of its own (where
// the file system lets the file be written meanwhile), or else its writeback started, so that
// the final sync has little left to do. Neither is waited for: on a slow disk that would stall
// the save.
constexpr qint64 WritebackRange = 8 << 20;

// The new file is private until it has its rights, before anything is written to it.
constexpr mode_t PrivateMode = 0600;

QByteArray procPath(int fd)
{
    return "/proc/self/fd/"_ba + QByteArray::number(fd);
}

// The process' umask, read without setting it: umask() would change it for every thread.
mode_t processUmask()
{
    QFile status(u"/proc/self/status"_s);
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("Umask:"))
                return mode_t(line.sliced(6).trimmed().toUInt(nullptr, 8));
    }
    return 077; // unknown: as private as a umask makes files
}

// A file made without a name is given one through /proc, or, without /proc, by a privileged
// process through its descriptor alone.
bool canNameUnnamedFiles()
{
    return ::access("/proc/self/fd", X_OK) == 0 || ::geteuid() == 0;
}

bool linkUnnamed(int fd, int folder, const QByteArray &name)
{
    if (::linkat(AT_FDCWD, procPath(fd).constData(), folder, name.constData(), AT_SYMLINK_FOLLOW)
        == 0)
        return true;
    return errno == ENOENT
        && ::linkat(fd, "", folder, name.constData(), AT_EMPTY_PATH) == 0;
}

// A temporary name as the program gives them (".kelvora-" six lowercase hex digits ".tmp"),
// so that a leftover is known by it, and no other name is ever taken for one.
bool isTemporaryName(QByteArrayView name)
{
    const auto hexDigit = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
    return name.size() == 19 && name.startsWith(".kelvora-") && name.endsWith(".tmp")
        && std::all_of(name.begin() + 9, name.begin() + 15, hexDigit);
}

// The file at `place` (an O_PATH descriptor) locked, which no running save can be holding
// then: each holds a lock on its own temporary file while it lives. Opened for reading or,
// where the file's rights give the user only writing, for writing; a file it may open neither
// way stays closed, and counts as held.
FileDescriptor lockedIfUnheld(int place)
{
    const int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    FileDescriptor opened(::open(procPath(place).constData(), O_RDONLY | flags));
    if (!opened.isOpen())
        opened = FileDescriptor(::open(procPath(place).constData(), O_WRONLY | flags));
    if (opened.isOpen() && ::flock(opened.get(), LOCK_EX | LOCK_NB) != 0)
        opened.reset();
    return opened;
}

// A temporary file of an earlier save that ended before it could remove it (killed, or a
// folder that let it make the file but not remove it), whoever it belongs to: root's save
// that replaced another user's .new gave its temporary file to that user. Only a regular file
// under one of the program's own names, looked at and removed in the folder held, and only
// while that very file is still at the name; the folder's own rules (the sticky bit) decide
// whether this user may remove it. The lock is held until it is gone: a save that made the
// file a moment ago and waits for its own lock then sees it removed, and makes another.
void removeIfAbandoned(int folder, const char *name)
{
    const FileDescriptor place(::openat(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat found{};
    if (!place.isOpen() || ::fstat(place.get(), &found) != 0 || !S_ISREG(found.st_mode))
        return;
    const FileDescriptor locked = lockedIfUnheld(place.get());
    struct stat now{};
    if (locked.isOpen() && ::fstatat(folder, name, &now, AT_SYMLINK_NOFOLLOW) == 0
        && sameFile(now, found))
        ::unlinkat(folder, name, 0);
}

void removeLeftovers(int folder)
{
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *entries = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!entries) {
        if (listed >= 0)
            ::close(listed);
        return;
    }
    while (const dirent *entry = ::readdir(entries))
        if (isTemporaryName(entry->d_name))
            removeIfAbandoned(folder, entry->d_name);
    ::closedir(entries);
}

// The user's own attributes of the file at `from` (a place only) on the file at `to`.
void copyUserAttributes(int from, int to)
{
    const QByteArray path = procPath(from);
    const ssize_t size = ::listxattr(path.constData(), nullptr, 0);
    QByteArray names(qMax<ssize_t>(size, 0), Qt::Uninitialized);
    if (size <= 0 || ::listxattr(path.constData(), names.data(), size_t(size)) != size)
        return;
    for (const QByteArray &name : names.split('\0')) {
        if (!name.startsWith("user."))
            continue;
        const ssize_t length = ::getxattr(path.constData(), name.constData(), nullptr, 0);
        QByteArray value(qMax<ssize_t>(length, 0), Qt::Uninitialized);
        if (length >= 0
            && ::getxattr(path.constData(), name.constData(), value.data(), size_t(length))
                == length)
            ::fsetxattr(to, name.constData(), value.constData(), size_t(length), 0);
    }
}

} // namespace

struct ReplacementFile::State
{
    FileDescriptor folder;     // where the target lives
    QByteArray targetName;     // in `folder`
    bool throughLink = false;  // `folder` is where a link led
    bool mayClearFolder = true; // every owner of a link that led here may write in `folder`
    bool targetExisted = false;
    bool earlierFound = false; // a regular file at the name, whether or not it may be replaced
    struct stat target{};      // when it existed
    FileDescriptor targetPlace; // the existing target, held for its rights and attributes
    FileDescriptor fd;
    bool unnamed = false;      // made without a name, which it gets only when complete
    QByteArray temporary;      // its name in `folder` while it has one
    qint64 written = 0;
    qint64 writebackStarted = 0; // bytes synced early or handed to writeback so far
    std::optional<bool> earlySyncFits; // whether its file system lets it be written meanwhile
    EarlySync earlySync;
    SaveFailure failure;
    std::shared_ptr<UnsyncedFolder> unsynced; // `folder`, once committed without its sync

    std::optional<SaveFailure> chooseTarget(const SaveFolder &saveFolder, const QByteArray &name,
                                            const InputFile::State &input);
    std::optional<SaveFailure> acceptExistingTarget(Followed &f);
    std::optional<SaveFailure> createTemporary();
    int createNamed();
    void setRights(const InputFile::State &input);
    bool keepEarlierReaders(AccessList &rights, const AccessList &chosen,
                            const std::function<bool(uid_t)> &readsChosen);
    std::optional<SaveFailure> failed(const SaveFailure &why);
    void startWriteback();
    bool targetStillAsChecked() const;
    bool putInPlace();
    bool putUnnamedInPlace();
    bool leaveFolderUnsynced();
    void removeTemporaryName();
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
    if (m->mayClearFolder)
        removeLeftovers(m->folder.get());
    if (std::optional<SaveFailure> refused = m->createTemporary())
        return refused;
    m->setRights(input.state());
    return std::nullopt;
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
        if (const std::optional<Refusal> refusal = f.beyondItsOwners(f.walk.folder.get(),
                                                                     W_OK | X_OK))
            return SaveFailure::refused(Step::OpenOutput, *refusal);
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
    return acceptExistingTarget(f);
}

// A regular file that may be replaced once the user, and every other user whose link led
// here, may write it.
std::optional<SaveFailure> ReplacementFile::State::acceptExistingTarget(Followed &f)
{
    // Leftovers of other saves are removed only where the links' owners could remove them.
    mayClearFolder = !f.beyondItsOwners(f.walk.folder.get(), W_OK | X_OK);
    targetPlace = FileDescriptor(
        ::openat(f.walk.folder.get(), f.name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!targetPlace.isOpen() || ::fstat(targetPlace.get(), &target) != 0)
        return lastFailure(Step::OpenOutput);
    if (!sameFile(target, f.found) || !S_ISREG(target.st_mode))
        return SaveFailure::refused(Step::OpenOutput, Refusal::SwappedMeanwhile);
    earlierFound = true;
    if (const std::optional<Refusal> refusal = f.beyondItsOwners(targetPlace.get(), W_OK))
        return SaveFailure::refused(Step::OpenOutput, *refusal);
    if (::faccessat(targetPlace.get(), "", W_OK, AT_EACCESS | AT_EMPTY_PATH) != 0)
        return SaveFailure::refused(Step::OpenOutput, Refusal::NotWritable, lastSystemError());
    // Where a link led, the folder was reached as a place only; its sync needs it opened.
    folder = f.throughLink ? reopenFolder(f.walk.folder.get()) : std::move(f.walk.folder);
    targetName = f.name;
    if (!folder.isOpen())
        return lastFailure(Step::OpenOutput);
    targetExisted = true;
    return std::nullopt;
}

// Made without a name where the file system can (O_TMPFILE), so that a save killed at any
// moment leaves nothing; else under a temporary name. Either way it holds a lock while it
// lives, which tells a later save that it is no leftover.
std::optional<SaveFailure> ReplacementFile::State::createTemporary()
{
    int opened = -1;
    if (canNameUnnamedFiles()) {
        opened = ::openat(folder.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, PrivateMode);
        unnamed = opened >= 0;
        // Not on this file system, or a kernel that does not know the flag.
        if (opened < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
            opened = createNamed();
    } else {
        opened = createNamed();
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
    if (unnamed)
        ::flock(fd.get(), LOCK_SH);
    return std::nullopt;
}

// A later save may take a named file for a leftover in the moment before it is locked, and
// remove it: then it is made again under another name.
int ReplacementFile::State::createNamed()
{
    for (int attempt = 0; attempt < TemporaryNameAttempts; ++attempt) {
        const QByteArray name = systemFileName(temporaryName());
        FileDescriptor opened(::openat(folder.get(), name.constData(),
                                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                       PrivateMode));
        if (!opened.isOpen() && errno != EEXIST)
            return -1;
        struct stat locked{};
        if (opened.isOpen() && ::flock(opened.get(), LOCK_SH) == 0
            && ::fstat(opened.get(), &locked) == 0 && locked.st_nlink == 0)
            continue;
        if (opened.isOpen()) {
            temporary = name;
            return opened.release();
        }
    }
    return -1;
}

// A replaced file keeps its owner (when root saves; nobody else can give files away) if that
// owner may read the selected file, its group where the user may give it, its mode, ACL entries
// and the user's attributes; a new one takes the selected file's group where the user may, and
// its ACL, as the umask leaves it. Either way every entry is narrowed to the readers of the
// selected file, as the kernel answers for each user, so that a default ACL of the folder or
// the earlier file's entries let nobody else read it. Where this fails it stays private.
void ReplacementFile::State::setRights(const InputFile::State &input)
{
    const std::optional<AccessList> chosen = AccessList::of(input.fd.get());
    std::optional<AccessList> rights = targetExisted ? AccessList::of(targetPlace.get()) : chosen;
    struct stat made{};
    if (!chosen || !rights || ::fstat(fd.get(), &made) != 0)
        return;
    const auto readsChosen = [&](uid_t user) {
        if (user == 0 || user == ::geteuid())
            return true;
        switch (UserIdentity::of(user).may(input.fd.get(), R_OK)) {
        case UserIdentity::Answer::Granted:
            return true;
        case UserIdentity::Answer::Denied:
            return false;
        case UserIdentity::Answer::CannotAsk:
            break;
        }
        return chosen->namesAsReader(user);
    };
    uid_t owner = made.st_uid;
    gid_t group = targetExisted ? target.st_gid : input.opened.st_gid;
    if (targetExisted && ::geteuid() == 0 && readsChosen(target.st_uid))
        owner = target.st_uid;
    if ((owner != made.st_uid || group != made.st_gid) && ::fchown(fd.get(), owner, group) != 0) {
        owner = made.st_uid;
        if (::fchown(fd.get(), owner, group) != 0)
            group = made.st_gid;
    }
    // A file given to no one else keeps no one else's set-user or set-group bit.
    mode_t special = targetExisted ? target.st_mode & 07000 : 0;
    if (owner != target.st_uid)
        special &= ~mode_t(S_ISUID | S_ISGID);
    // The mode narrows the chosen file's entries before the former owner and group are named,
    // which keep what the mode leaves the owner and what the group could read through the mask.
    if (!targetExisted)
        rights->narrowByMode(input.opened.st_mode & 0666 & ~processUmask());
    rights->handTo(owner, group, !targetExisted);
    rights->narrowToReadersOf(*chosen, readsChosen);
    if (!rights->applyTo(fd.get(), special))
        return;
    if (targetExisted && keepEarlierReaders(*rights, *chosen, readsChosen))
        rights->applyTo(fd.get(), special);
    if (targetExisted)
        copyUserAttributes(targetPlace.get(), fd.get());
}

// Every reader of the selected file who could read the earlier .new still can: where the
// narrowing shut one out (the selected file's owner, a member of a group it keeps out), that
// user gets an entry of its own. The users asked are those the two files' entries name; the
// kernel answers for each, on the earlier file and on the new one as it is now.
bool ReplacementFile::State::keepEarlierReaders(AccessList &rights, const AccessList &chosen,
                                                const std::function<bool(uid_t)> &readsChosen)
{
    const std::optional<AccessList> earlier = AccessList::of(targetPlace.get());
    if (::geteuid() != 0 || !earlier) // only root may ask for another user
        return false;
    QList<uid_t> users = chosen.users() + earlier->users();
    std::sort(users.begin(), users.end());
    users.erase(std::unique(users.begin(), users.end()), users.end());
    bool changed = false;
    for (const uid_t user : users) {
        const UserIdentity who = UserIdentity::of(user);
        using enum UserIdentity::Answer;
        if (!readsChosen(user) || who.may(targetPlace.get(), R_OK) != Granted
            || who.may(fd.get(), R_OK) != Denied)
            continue;
        const int others = (who.may(fd.get(), W_OK) == Granted ? AccessList::Write : 0)
            | (who.may(fd.get(), X_OK) == Granted ? AccessList::Execute : 0);
        rights.letRead(user, others);
        changed = true;
    }
    return changed;
}

QString ReplacementFile::targetFolder() const
{
    return fileNameFromSystem(shownPathOf(m->folder.get()));
}

bool ReplacementFile::foundEarlierFile() const
{
    return m->earlierFound;
}

bool ReplacementFile::write(const char *bytes, qint64 count)
{
    const ByteRange all{bytes, count};
    return writeGathered(&all, 1);
}

// Up to IOV_MAX ranges a call; after a call that wrote less, the next goes on from there.
bool ReplacementFile::writeGathered(const ByteRange *ranges, qsizetype count)
{
    std::array<iovec, IOV_MAX> parts;
    qint64 skipped = 0; // the bytes of the first range written already
    for (;;) {
        for (; count > 0 && skipped >= ranges->count; ++ranges, --count)
            skipped -= ranges->count;
        if (count == 0)
            break;
        const int n = int(std::min<qsizetype>(count, IOV_MAX));
        for (int i = 0; i < n; ++i)
            parts[i] = {const_cast<char *>(ranges[i].bytes), size_t(ranges[i].count)};
        parts[0].iov_base = static_cast<char *>(parts[0].iov_base) + skipped;
        parts[0].iov_len -= size_t(skipped);
        const ssize_t done = ::writev(m->fd.get(), parts.data(), n);
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
        m->written += done;
        skipped += done;
    }
    m->startWriteback();
    return true;
}

// The disk catches up while the rewrite goes on.
void ReplacementFile::State::startWriteback()
{
    if (written - writebackStarted < WritebackRange)
        return;
    if (!earlySyncFits)
        earlySyncFits = syncLeavesWritingFree(fd.get());
    if (!*earlySyncFits || !earlySync.start(fd.get()))
        ::sync_file_range(fd.get(), writebackStarted, written - writebackStarted,
                          SYNC_FILE_RANGE_WRITE);
    writebackStarted = written;
}

// What was judged replaceable at open must still be there: a FIFO or device put in its place
// meanwhile is not replaced.
bool ReplacementFile::State::targetStillAsChecked() const
{
    if (!targetExisted)
        return true; // putting it in place refuses to replace anything that appeared
    struct stat now{};
    return ::fstatat(folder.get(), targetName.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(now.st_mode) && sameFile(now, target);
}

// A new file's name is linked to it directly, which replaces nothing that appeared meanwhile.
// A file to replace has no call that links over it: it gets a temporary name for the moment
// of a rename, which is removed again if the rename fails.
bool ReplacementFile::State::putUnnamedInPlace()
{
    if (!targetExisted)
        return linkUnnamed(fd.get(), folder.get(), targetName);
    for (int attempt = 0; temporary.isEmpty() && attempt < TemporaryNameAttempts; ++attempt) {
        const QByteArray name = systemFileName(temporaryName());
        if (linkUnnamed(fd.get(), folder.get(), name))
            temporary = name;
        else if (errno != EEXIST)
            return false;
    }
    if (::renameat(folder.get(), temporary.constData(), folder.get(), targetName.constData())
        == 0) {
        temporary.clear();
        return true;
    }
    const int error = errno;
    removeTemporaryName();
    errno = error;
    return false;
}

// Renames the temporary file onto the target. Where nothing was, nothing that appeared since
// may be replaced: a rename that refuses to replace, or else a hard link, which cannot replace.
// Only a file system that has neither (FAT) gets a plain rename.
bool ReplacementFile::State::putInPlace()
{
    if (unnamed)
        return putUnnamedInPlace();
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

// A folder opened only as a place (one the user may not list) cannot be synced itself: the
// file's whole file system is, at once.
bool ReplacementFile::State::leaveFolderUnsynced()
{
    const int flags = ::fcntl(folder.get(), F_GETFL);
    struct stat status{};
    if (flags < 0 || (flags & O_PATH) != 0 || ::fstat(folder.get(), &status) != 0)
        return false;
    unsynced = std::make_shared<UnsyncedFolder>(
        std::make_unique<UnsyncedFolder::State>(UnsyncedFolder::State{std::move(folder)}),
        identityOf(status));
    return true;
}

std::optional<SaveFailure> ReplacementFile::commit(FolderSync folderSync)
{
    State &s = *m;
    if (const int error = s.earlySync.wait(); error != 0)
        return s.failed(SaveFailure::ofSystem(Step::WriteOutput, makeSystemError(error)));
    // sync_file_range reports nothing reliable; fdatasync is the check that counts.
    if (retryOnInterrupt([&] { return ::fdatasync(s.fd.get()); }) != 0)
        return s.failed(lastFailure(Step::WriteOutput));
    // Some file systems (network ones, FUSE) report a failed write only when the file is
    // closed: a copy of the descriptor closed now hears it while the file has no place yet.
    const int copy = ::fcntl(s.fd.get(), F_DUPFD_CLOEXEC, 0);
    if (copy >= 0 && ::close(copy) != 0)
        return s.failed(lastFailure(Step::WriteOutput));
    if (!s.targetStillAsChecked())
        return s.failed(SaveFailure::refused(Step::WriteOutput, Refusal::SwappedMeanwhile));
    if (!s.putInPlace())
        return s.failed(lastFailure(Step::WriteOutput));
    if (folderSync == FolderSync::ByCaller && s.leaveFolderUnsynced()) {
        s.fd.reset();
        return std::nullopt;
    }
    // The new name is durable only once the folder is. A folder opened only as a place (one
    // the user may not list) cannot be synced itself; its whole file system is, through the
    // file. EINVAL: a file system that cannot sync folders, where there is nothing more to do.
    int synced = ::fsync(s.folder.get());
    if (synced != 0 && errno == EBADF)
        synced = ::syncfs(s.fd.get());
    const int syncError = synced != 0 && errno != EINVAL ? errno : 0;
    s.fd.reset(); // nothing written since the close above, which reported how the writes went
    if (syncError != 0)
        return s.failed(SaveFailure::ofSystem(Step::SyncFolder, makeSystemError(syncError)));
    return std::nullopt;
}

std::shared_ptr<UnsyncedFolder> ReplacementFile::unsyncedFolder() const
{
    return m->unsynced;
}

SaveFailure ReplacementFile::failure() const
{
    return m->failure;
}

void ReplacementFile::State::removeTemporaryName()
{
    if (!temporary.isEmpty() && ::unlinkat(folder.get(), temporary.constData(), 0) == 0)
        temporary.clear();
}

void ReplacementFile::State::discard()
{
    fd.reset();
    removeTemporaryName();
}

// Asked once a save has failed: what is not in place is discarded first, and only a temporary
// name the folder would not let go of (one that takes no removal, or became read-only) is
// left, named here.
ReplacementFile::Stranded ReplacementFile::stranded() const
{
    m->discard();
    if (m->temporary.isEmpty())
        return {};
    return {fileNameFromSystem(shownPathOf(m->folder.get()) + '/' + m->temporary), {}};
}
