// SPDX-License-Identifier: GPL-3.0-or-later
// The ".new" file: which file it replaces or creates, judged before anything is made, and put
// in place only when complete, its folder synced now or by the caller.
#include "platform/linux/savefilestates.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

bool linkUnnamed(int fd, int folder, const QByteArray &name)
{
    if (::linkat(AT_FDCWD, procPath(fd).constData(), folder, name.constData(), AT_SYMLINK_FOLLOW)
        == 0)
        return true;
    return errno == ENOENT
        && ::linkat(fd, "", folder, name.constData(), AT_EMPTY_PATH) == 0;
}

} // namespace

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

QString ReplacementFile::targetFolder() const
{
    return fileNameFromSystem(shownPathOf(m->folder.get()));
}

bool ReplacementFile::foundEarlierFile() const
{
    return m->earlierFound;
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
