// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Following a path the way the save does on Linux: one name at a time from a folder descriptor,
// every link on the way opened, judged and read relative to the folder that holds it, so that
// no link is followed that the rules refuse, and nothing swapped in between is taken for what
// was judged. In: a folder descriptor and a path or name. Out: the folder reached, and what
// the last name is there.

#include "platform/linux/systemcalls.h"
#include "platform/linux/useridentity.h"

#include <QByteArray>
#include <QList>

#include <sys/stat.h>

// Another user whose link was followed, and whether the kernel would let that user go on from
// there: into every folder entered since (searching it), and at the end to the file. Root's
// links are no one else's: root may go anywhere.
struct LinkOwner
{
    UserIdentity identity;
    Refusal stopped = Refusal::None; // why not, at the first folder the owner could not enter

    void mayGoOn(int fd, int access);
    // Whether the owner could reach the folder at `fd` from the root: search every folder on
    // the way down, this one included, as the kernel would ask of that user.
    void mayReach(int fd);
};

// Where a walk stands: the folder reached, and the link owners met on the way.
struct Walk
{
    FileDescriptor folder;
    QList<LinkOwner> foreignLinkOwners; // of other users' links followed
    int links = 0;
    Refusal refusal = Refusal::None;
    SystemError error;

    bool failed() const { return refusal != Refusal::None || error.failed(); }
    SaveFailure failure(SaveFailure::Step step) const
    {
        return refusal != Refusal::None ? SaveFailure::refused(step, refusal)
                                        : SaveFailure::ofSystem(step, error);
    }
    void fail(int number) { error = makeSystemError(number); }
    void enter(int fd);
    // Whether each owner of a link on the way may `access` (R_OK, W_OK, ...) the object at
    // `fd`, as the kernel answers for that user: nothing when all may, else why not.
    std::optional<Refusal> beyondItsOwners(int fd, int access) const;
};

// A walk from a copy of `folderFd`, carrying the link owners met on the way to it.
Walk startWalk(int folderFd, const QList<LinkOwner> &foreignLinkOwners = {});

// Walks a folder path from walk.folder (from the root when it is absolute), one name at a time.
void walkPath(Walk &walk, const QByteArray &path);

// Where a name in a folder leads: the entry itself, or for a link the entry its target names,
// followed link by link.
struct Followed
{
    Walk walk; // its folder holds `name`
    QByteArray name;
    bool throughLink = false;
    bool exists = false;
    struct stat found{}; // of the entry reached, when it exists

    // Another user's link may only lead where that user could go anyway: otherwise anyone who
    // may put a link into a folder could have root's save read, overwrite or create any file.
    std::optional<Refusal> beyondItsOwners(int fd, int access) const
    {
        return walk.beyondItsOwners(fd, access);
    }
    // What it came to when it did not reach a regular file; nothing when it did.
    std::optional<SaveFailure> unlessRegular(SaveFailure::Step step) const;
};
Followed follow(Walk walk, const QByteArray &name);

// A folder opened for the *at calls: for reading where allowed, which a folder sync needs,
// else only as a place (a folder one may search but not list).
FileDescriptor reopenFolder(int pathFd);

// Which folder holds an entry, and its name there. A link's entry is not the entry it leads
// to; two hard links are two entries of one file.
struct FolderEntry
{
    dev_t device = 0;
    ino_t folder = 0;
    QByteArray name;
    friend bool operator==(const FolderEntry &, const FolderEntry &) = default;
};
FolderEntry entryOf(const Followed &followed);
