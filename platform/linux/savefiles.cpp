// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/savefiles.h"

#include "platform/linux/systemcalls.h"

#include <QList>

#include <algorithm>
#include <array>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>

using namespace Qt::StringLiterals;

// Another user whose link was followed, and whether that user could go on from there: into
// every folder entered since (searching it), and at the end to the file.
struct LinkOwner
{
    uid_t user;
    bool reaches = true;
};

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

std::optional<FileIdentity> identityOf(int fd)
{
    struct stat status{};
    if (::fstat(fd, &status) != 0)
        return std::nullopt;
    return identityOf(status);
}

// ---- Following links, one folder at a time -----------------------------------------------------

constexpr int MaximumLinks = 40; // as many as the kernel follows

// The kernel's protected_symlinks rule, applied whether or not the kernel has it on: in a
// sticky folder that everyone may write to, a link is only followed when it belongs to the
// follower or to the folder's owner.
bool isForeignLinkInSharedFolder(int folderFd, const struct stat &link)
{
    struct stat folder{};
    if (::fstat(folderFd, &folder) != 0)
        return true;
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return shared && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid;
}

// Whether `user` may read (S_IRUSR) or write (S_IWUSR) a file of that owner and mode: root,
// the owner (who may change the mode anyway) and, where everyone may, everyone. Group rights
// are not counted, so a doubtful case is refused rather than allowed.
bool userMay(uid_t user, uid_t owner, mode_t mode, mode_t ownerBit)
{
    return user == 0 || user == owner || (mode & (ownerBit >> 6));
}

// The target of the link at `fd` (opened with O_PATH | O_NOFOLLOW), so that its owner, looked
// at through the same descriptor, is the owner of this very link.
std::optional<QByteArray> readLink(int fd)
{
    QByteArray target(256, Qt::Uninitialized);
    for (;;) {
        const ssize_t length = ::readlinkat(fd, "", target.data(), size_t(target.size()));
        if (length < 0)
            return std::nullopt;
        if (length < target.size())
            return target.left(length);
        target.resize(target.size() * 2);
    }
}


// Where a link's walk stands: the folder reached, and the link owners met on the way.
struct Walk
{
    FileDescriptor folder;
    QList<LinkOwner> foreignLinkOwners; // of other users' links followed
    int links = 0;
    Refusal refusal = Refusal::None; // ForeignLinkInSharedFolder
    SystemError error;

    bool failed() const { return refusal != Refusal::None || error.failed(); }
    void fail(int number) { error = makeSystemError(number); }

    // Moves on into the folder at `fd`, which the owners of links met so far must be able to
    // search: a link may not lead anyone, root's save least of all, where its owner cannot go.
    void enter(int fd)
    {
        folder = FileDescriptor(fd);
        struct stat entered{};
        const bool looked = ::fstat(fd, &entered) == 0;
        for (LinkOwner &owner : foreignLinkOwners)
            owner.reaches = owner.reaches && looked
                && userMay(owner.user, entered.st_uid, entered.st_mode, S_IXUSR);
    }
};

// A folder opened for the *at calls: for reading where allowed, which a folder sync needs,
// else only as a place (a folder one may search but not list).
FileDescriptor reopenFolder(int pathFd)
{
    int fd = ::openat(pathFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES)
        fd = ::fcntl(pathFd, F_DUPFD_CLOEXEC, 0);
    return FileDescriptor(fd);
}

void walkPath(Walk &walk, const QByteArray &path);

// Judges the link `name` in walk.folder before it is followed, and gives its target. The link
// is opened first, so that its owner and its target are those of one link, even if another
// is put in its place meanwhile.
std::optional<QByteArray> passLink(Walk &walk, const QByteArray &name)
{
    const FileDescriptor fd(
        ::openat(walk.folder.get(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat link{};
    if (!fd.isOpen() || ::fstat(fd.get(), &link) != 0) {
        walk.fail(errno);
        return std::nullopt;
    }
    if (!S_ISLNK(link.st_mode)) { // replaced since it was looked at
        walk.fail(EAGAIN);
        return std::nullopt;
    }
    if (++walk.links > MaximumLinks) {
        walk.fail(ELOOP);
        return std::nullopt;
    }
    if (isForeignLinkInSharedFolder(walk.folder.get(), link)) {
        walk.refusal = Refusal::ForeignLinkInSharedFolder;
        return std::nullopt;
    }
    if (link.st_uid != ::geteuid())
        walk.foreignLinkOwners.append(LinkOwner{link.st_uid});
    std::optional<QByteArray> target = readLink(fd.get());
    if (!target)
        walk.fail(errno);
    return target;
}

// Takes one step from walk.folder to its entry `name`, which must be a folder; a link there is
// judged, then walked itself.
void stepInto(Walk &walk, const QByteArray &name)
{
    struct stat entry{};
    if (::fstatat(walk.folder.get(), name.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return walk.fail(errno);
    if (S_ISLNK(entry.st_mode)) {
        if (const std::optional<QByteArray> target = passLink(walk, name))
            walkPath(walk, *target);
        return;
    }
    if (!S_ISDIR(entry.st_mode))
        return walk.fail(ENOTDIR);
    const int next = ::openat(walk.folder.get(), name.constData(),
                              O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0)
        return walk.fail(errno);
    walk.enter(next);
}

// Walks a folder path from walk.folder (from the root when it is absolute), one name at a time,
// so that every link on the way is seen and judged; ".." is left to the kernel.
void walkPath(Walk &walk, const QByteArray &path)
{
    if (path.startsWith('/'))
        walk.enter(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (const QByteArray &name : path.split('/')) {
        if (walk.failed())
            return;
        if (name.isEmpty() || name == ".")
            continue;
        if (name == "..") {
            const int up = ::openat(walk.folder.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (up < 0)
                return walk.fail(errno);
            walk.enter(up);
            continue;
        }
        stepInto(walk, name);
    }
}

Walk startWalk(int folderFd)
{
    Walk walk;
    walk.folder = FileDescriptor(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    if (!walk.folder.isOpen())
        walk.fail(errno);
    return walk;
}

// Where a name in a folder leads: the entry itself, or for a link the entry its target names,
// followed link by link, each read relative to the folder that holds it.
struct Followed
{
    Walk walk; // its folder holds `name`
    QByteArray name;
    bool throughLink = false;
    bool exists = false;
    struct stat found{}; // of the entry reached, when it exists

    // Another user's link may only lead where that user could go anyway: otherwise anyone who
    // may put a link into a folder could have root's save read or overwrite any file.
    bool leadsBeyondItsOwners(mode_t ownerBit) const
    {
        return std::any_of(walk.foreignLinkOwners.cbegin(), walk.foreignLinkOwners.cend(),
                           [&](const LinkOwner &owner) {
                               return !owner.reaches
                                   || !userMay(owner.user, found.st_uid, found.st_mode, ownerBit);
                           });
    }
    FolderEntry entry() const
    {
        return {identityOf(walk.folder.get()).value_or(FileIdentity{}), name};
    }
};

} // namespace

// The folder of a save: its descriptor, and the other users' links its path went through,
// which every name followed in it inherits.
struct SaveFolder::State
{
    QString path;
    FileDescriptor fd;
    QList<LinkOwner> foreignLinkOwners;
};

namespace {

Followed follow(const SaveFolder &folder, const QByteArray &name)
{
    Followed f{startWalk(folder.state().fd.get()), name};
    f.walk.foreignLinkOwners = folder.state().foreignLinkOwners;
    while (!f.walk.failed()) {
        struct stat entry{};
        if (::fstatat(f.walk.folder.get(), f.name.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            f.walk.fail(errno); // ENOENT: nothing there
            break;
        }
        if (!S_ISLNK(entry.st_mode)) {
            f.exists = true;
            f.found = entry;
            break;
        }
        f.throughLink = true;
        const std::optional<QByteArray> target = passLink(f.walk, f.name);
        if (!target)
            break;
        // The target's folder part is walked; its last name is looked at next.
        const qsizetype slash = target->lastIndexOf('/');
        walkPath(f.walk, target->left(slash + 1));
        f.name = target->sliced(slash + 1);
        if (f.name.isEmpty())
            f.name = "."_ba; // "dir/": the folder itself
    }
    return f;
}

Opened refusal(Refusal why, SystemError error = {}, FileType type = FileType::Regular,
               bool throughLink = false)
{
    return {why, std::move(error), type, throughLink};
}

Opened failure(SystemError error)
{
    return refusal(Refusal::Failed, std::move(error));
}

// What following the name came to, when it did not reach a regular file (nothing when it did).
std::optional<Opened> unlessRegular(const Followed &f)
{
    if (f.walk.refusal != Refusal::None)
        return refusal(f.walk.refusal);
    if (!f.exists)
        return failure(f.walk.error);
    if (!S_ISREG(f.found.st_mode))
        return refusal(Refusal::NotRegular, {}, fileTypeOf(f.found.st_mode), f.throughLink);
    return std::nullopt;
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

Opened SaveFolder::open(const QString &path)
{
    m->path = path;
    Walk walk;
    walk.folder = FileDescriptor(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!walk.folder.isOpen())
        return failure(lastSystemError());
    walkPath(walk, systemFileName(path));
    if (walk.refusal != Refusal::None)
        return refusal(walk.refusal);
    if (walk.error.failed())
        return failure(walk.error);
    m->fd = reopenFolder(walk.folder.get());
    m->foreignLinkOwners = walk.foreignLinkOwners;
    return m->fd.isOpen() ? Opened{} : failure(lastSystemError());
}

QString SaveFolder::path() const
{
    return m->path;
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
};

InputFile::InputFile() : m(std::make_unique<State>()) {}
InputFile::~InputFile() = default;

qint64 InputFile::stampTicksPerSecond()
{
    return 1'000'000'000;
}

Opened InputFile::openFile(const SaveFolder &folder, const QString &name)
{
    m->name = systemFileName(name);
    const Followed f = follow(folder, m->name);
    if (const std::optional<Opened> refused = unlessRegular(f))
        return *refused;
    if (f.leadsBeyondItsOwners(S_IRUSR))
        return refusal(Refusal::ForeignLinkBeyondItsOwner);
    // Looked at before it is opened for reading: opening a FIFO waits for a writer, opening a
    // device may act. An O_PATH descriptor names the file without opening it, and reading
    // opens that very file again, so nothing swapped in between is ever opened.
    const FileDescriptor found(
        ::openat(f.walk.folder.get(), f.name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!found.isOpen() || ::fstat(found.get(), &m->opened) != 0)
        return failure(lastSystemError());
    if (!sameFile(m->opened, f.found))
        return failure(makeSystemError(EAGAIN)); // swapped while it was looked at
    const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    m->fd = FileDescriptor(
        ::open(("/proc/self/fd/"_ba + QByteArray::number(found.get())).constData(), flags));
    if (!m->fd.isOpen() && errno == ENOENT) // no /proc: by name, still without waiting
        m->fd = FileDescriptor(::openat(f.walk.folder.get(), f.name.constData(), flags | O_NOFOLLOW));
    struct stat opened{};
    if (!m->fd.isOpen() || ::fstat(m->fd.get(), &opened) != 0)
        return failure(lastSystemError());
    if (!sameFile(opened, m->opened) || !S_ISREG(opened.st_mode)) {
        m->fd.reset();
        return refusal(Refusal::NotRegular, {}, fileTypeOf(opened.st_mode));
    }
    m->folder = FileDescriptor(::fcntl(folder.state().fd.get(), F_DUPFD_CLOEXEC, 0));
    m_opened = {m->opened.st_size, nanoseconds(m->opened.st_mtim), nanoseconds(m->opened.st_ctim),
                clockNow()};
    m_identity = identityOf(m->opened);
    m_entry = f.entry();
    m_permissions = {m->opened.st_uid, m->opened.st_gid, m->opened.st_mode & 07777};
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
mode_t readableOnlyAsTheSelectedFile(const FilePermissions &selected, gid_t group, mode_t mode)
{
    const bool everyoneMayRead = selected.mode & S_IROTH;
    const bool groupMayRead =
        everyoneMayRead || ((selected.mode & S_IRGRP) && group == gid_t(selected.group));
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
    SystemError error;

    Opened chooseTarget(const SaveFolder &saveFolder, const QByteArray &name,
                        const InputFile &input);
    Opened acceptExistingTarget(const struct stat &found);
    Opened createTemporary(const InputFile &input);
    void setOwnerAndMode(const FilePermissions &selected);
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

Opened ReplacementFile::open(const SaveFolder &folder, const QString &name, const InputFile &input)
{
    const Opened chosen = m->chooseTarget(folder, systemFileName(name), input);
    return chosen.succeeded() ? m->createTemporary(input) : chosen;
}

// Looks at what is at `name`, without following a link until the link has been judged.
Opened ReplacementFile::State::chooseTarget(const SaveFolder &saveFolder, const QByteArray &name,
                                            const InputFile &input)
{
    Followed f = follow(saveFolder, name);
    throughLink = f.throughLink;
    if (!f.exists && f.walk.refusal == Refusal::None && f.walk.error.number == ENOENT) {
        if (f.throughLink)
            return refusal(Refusal::DanglingLink);
        folder = std::move(f.walk.folder); // a new file, beside the selected one
        targetName = f.name;
        return {};
    }
    if (const std::optional<Opened> refused = unlessRegular(f))
        return *refused;
    // The selected file may be a link to this very entry, or this a link to the selected file
    // (by any other path: a bind mount, a linked folder); replacing it would change that file.
    // A hard link is another entry, which the rename leaves alone.
    if (f.entry() == input.entry()
        || (f.throughLink && identityOf(f.found) == input.identity()))
        return refusal(Refusal::LeadsToInput);
    if (f.leadsBeyondItsOwners(S_IWUSR))
        return refusal(Refusal::ForeignLinkBeyondItsOwner);
    // Where a link led, the folder was reached as a place only; its sync needs it opened.
    folder = f.throughLink ? reopenFolder(f.walk.folder.get()) : std::move(f.walk.folder);
    targetName = f.name;
    if (!folder.isOpen())
        return failure(lastSystemError());
    return acceptExistingTarget(f.found);
}

// A regular file that may be replaced once the user may write it.
Opened ReplacementFile::State::acceptExistingTarget(const struct stat &found)
{
    if (::faccessat(folder.get(), targetName.constData(), W_OK, AT_EACCESS) != 0)
        return refusal(Refusal::NotWritable, lastSystemError());
    targetExisted = true;
    target = found;
    return {};
}

Opened ReplacementFile::State::createTemporary(const InputFile &input)
{
    // A new file starts with the selected file's permissions as the umask leaves them; a
    // replaced one private until it has its owner's.
    const FilePermissions selected = input.permissions();
    const mode_t mode = targetExisted ? 0600 : selected.mode & 0666;
    for (int attempt = 0; attempt < TemporaryNameAttempts; ++attempt) {
        const QByteArray name = systemFileName(temporaryName());
        const int opened = ::openat(folder.get(), name.constData(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (opened < 0 && errno == EEXIST)
            continue;
        if (opened < 0) {
            const bool folderRefuses = errno == EACCES || errno == EPERM || errno == EROFS;
            return refusal(folderRefuses ? Refusal::FolderRefusesNewFile : Refusal::Failed,
                           lastSystemError(), FileType::Regular, throughLink);
        }
        fd = FileDescriptor(opened);
        temporary = name;
        setOwnerAndMode(selected);
        return {};
    }
    return failure(makeSystemError(EEXIST));
}

// A replaced file keeps its owner (when root saves; nobody else can give files away), its
// group where the user may give it and its mode; a new one takes the selected file's group
// where the user may. Either way no one gets to read it who may not read the selected file,
// and root hands a file back only to an owner who may.
void ReplacementFile::State::setOwnerAndMode(const FilePermissions &selected)
{
    struct stat made{};
    if (::fstat(fd.get(), &made) != 0)
        return; // it stays as private as it was made
    uid_t owner = made.st_uid;
    gid_t group = targetExisted ? target.st_gid : gid_t(selected.group);
    mode_t mode = targetExisted ? target.st_mode & 07777 : made.st_mode & 07777;
    if (targetExisted && ::geteuid() == 0
        && userMay(target.st_uid, selected.owner, selected.mode, S_IRUSR))
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

// Up to IOV_MAX ranges a call; after a call that wrote less, the next goes on from there.
bool ReplacementFile::writeGathered(const ByteRange *ranges, qsizetype count)
{
    std::array<iovec, IOV_MAX> parts;
    qint64 skipped = 0; // the bytes of the first range written already
    while (count > 0) {
        const int n = int(std::min<qsizetype>(count, IOV_MAX));
        for (int i = 0; i < n; ++i)
            parts[i] = {const_cast<char *>(ranges[i].bytes), size_t(ranges[i].count)};
        parts[0].iov_base = static_cast<char *>(parts[0].iov_base) + skipped;
        parts[0].iov_len -= size_t(skipped);
        const ssize_t done = ::writev(m->fd.get(), parts.data(), n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            m->error = done < 0 ? lastSystemError() : makeSystemError(ENOSPC);
            return false;
        }
        m->written += done;
        skipped += done;
        for (; count > 0 && skipped >= ranges->count; ++ranges, --count)
            skipped -= ranges->count;
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

ReplacementFile::Commit ReplacementFile::commit()
{
    State &s = *m;
    // sync_file_range reports nothing reliable; fdatasync is the check that counts.
    if (retryOnInterrupt([&] { return ::fdatasync(s.fd.get()); }) != 0) {
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
    // The new name is durable only once the folder is. A folder opened only as a place (one
    // the user may not list) cannot be synced itself; its whole file system is, through the
    // file. EINVAL: a file system that cannot sync folders, where there is nothing more to do.
    int synced = ::fsync(s.folder.get());
    if (synced != 0 && errno == EBADF)
        synced = ::syncfs(s.fd.get());
    const int syncError = synced != 0 && errno != EINVAL ? errno : 0;
    if (::close(s.fd.release()) != 0 || syncError != 0) {
        s.error = makeSystemError(syncError != 0 ? syncError : errno);
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

// A rename either happens whole or not at all: nothing is ever stranded.
ReplacementFile::Stranded ReplacementFile::stranded() const
{
    return {};
}
