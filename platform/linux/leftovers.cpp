// SPDX-License-Identifier: GPL-3.0-or-later
// The temporary files of earlier saves that ended before they could remove them.
#include "platform/linux/savefilestates.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

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

} // namespace

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
