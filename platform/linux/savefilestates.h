// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the Linux side keeps behind each class of savefiles.h, and the few helpers its files
// share: the held folder (heldfolder.cpp), the selected file (inputfile.cpp), the temporary file
// (temporaryfile.cpp) and its putting in place (replacementfile.cpp), the new file's rights
// (newfilerights.cpp) and earlier saves' leftovers (leftovers.cpp).

#include "platform/savefiles.h"

#include "platform/linux/accesslist.h"
#include "platform/linux/earlysync.h"
#include "platform/linux/pathwalk.h"

#include <QByteArray>
#include <QList>

#include <cerrno>
#include <functional>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

inline auto retryOnInterrupt(const auto &call)
{
    decltype(call()) result;
    do
        result = call();
    while (result < 0 && errno == EINTR);
    return result;
}

inline FileIdentity identityOf(const struct stat &status)
{
    return {quint64(status.st_dev), quint64(status.st_ino)};
}

inline bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

using Step = SaveFailure::Step;

inline SaveFailure lastFailure(Step step)
{
    return SaveFailure::ofSystem(step, lastSystemError());
}

inline QByteArray procPath(int fd)
{
    return "/proc/self/fd/"_ba + QByteArray::number(fd);
}

// The folder's path as the kernel knows it now, for messages only.
QByteArray shownPathOf(int folderFd);

// Removes the temporary files that earlier saves left in the folder, where none holds them.
void removeLeftovers(int folder);

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

struct UnsyncedFolder::State
{
    FileDescriptor folder; // opened for reading, which fsync needs
};

struct InputFile::State
{
    FileDescriptor folder;
    QByteArray name; // as chosen, in `folder`
    FileDescriptor fd;
    struct stat opened{};
    FolderEntry entry; // the one its links lead to, where replacing a file would change it
};

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
