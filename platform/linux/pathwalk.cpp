// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/pathwalk.h"

#include <fcntl.h>

namespace {

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
        walk.refusal = Refusal::SwappedMeanwhile;
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
    if (link.st_uid != ::geteuid() && link.st_uid != 0) {
        LinkOwner owner{UserIdentity::of(link.st_uid)};
        owner.mayReach(walk.folder.get());
        walk.foreignLinkOwners.append(owner);
    }
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

} // namespace

// A process that may not take on another user's identity cannot tell what that user may do:
// it follows no other user's link at all.
void LinkOwner::mayGoOn(int fd, int access)
{
    if (stopped != Refusal::None)
        return;
    switch (identity.may(fd, access)) {
    case UserIdentity::Answer::Granted:
        return;
    case UserIdentity::Answer::Denied:
        stopped = Refusal::ForeignLinkBeyondItsOwner;
        return;
    case UserIdentity::Answer::CannotAsk:
        stopped = Refusal::ForeignLinkUnjudged;
        return;
    }
}

// Up from the folder through "..", as the kernel sees its place now, until ".." is the folder
// itself: the root (of the process, where it was given another).
void LinkOwner::mayReach(int fd)
{
    FileDescriptor here(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    while (stopped == Refusal::None) {
        mayGoOn(here.get(), X_OK);
        FileDescriptor up(::openat(here.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat folder{};
        struct stat above{};
        if (!here.isOpen() || !up.isOpen() || ::fstat(here.get(), &folder) != 0
            || ::fstat(up.get(), &above) != 0) {
            stopped = Refusal::ForeignLinkUnjudged;
            return;
        }
        if (folder.st_dev == above.st_dev && folder.st_ino == above.st_ino)
            return;
        here = std::move(up);
    }
}

// Moves on into the folder at `fd`, which the owners of links met so far must be able to
// search: a link may not lead anyone, root's save least of all, where its owner cannot go.
void Walk::enter(int fd)
{
    folder = FileDescriptor(fd);
    for (LinkOwner &owner : foreignLinkOwners)
        owner.mayGoOn(fd, X_OK);
}

Walk startWalk(int folderFd, const QList<LinkOwner> &foreignLinkOwners)
{
    Walk walk;
    walk.folder = FileDescriptor(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    walk.foreignLinkOwners = foreignLinkOwners;
    if (!walk.folder.isOpen())
        walk.fail(errno);
    return walk;
}

// ".." is left to the kernel.
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

std::optional<Refusal> Walk::beyondItsOwners(int fd, int access) const
{
    for (LinkOwner owner : foreignLinkOwners) {
        owner.mayGoOn(fd, access);
        if (owner.stopped != Refusal::None)
            return owner.stopped;
    }
    return std::nullopt;
}

std::optional<SaveFailure> Followed::unlessRegular(SaveFailure::Step step) const
{
    if (walk.refusal != Refusal::None || !exists)
        return walk.failure(step);
    if (!S_ISREG(found.st_mode))
        return SaveFailure::notRegular(step, fileTypeOf(found.st_mode), throughLink);
    return std::nullopt;
}

// Each link is read relative to the folder that holds it.
Followed follow(Walk walk, const QByteArray &name)
{
    Followed f{std::move(walk), name};
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
            f.name = QByteArrayLiteral("."); // "dir/": the folder itself
    }
    return f;
}

FileDescriptor reopenFolder(int pathFd)
{
    int fd = ::openat(pathFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES)
        fd = ::fcntl(pathFd, F_DUPFD_CLOEXEC, 0);
    return FileDescriptor(fd);
}

FolderEntry entryOf(const Followed &followed)
{
    struct stat folder{};
    if (::fstat(followed.walk.folder.get(), &folder) != 0)
        return {0, 0, followed.name};
    return {folder.st_dev, folder.st_ino, followed.name};
}
