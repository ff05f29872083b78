// SPDX-License-Identifier: GPL-3.0-or-later
// The folder a save holds: opened once, its links followed under the save's rules, and synced
// later where the caller syncs it for several files at once.
#include "platform/linux/savefilestates.h"

#include <climits>
#include <fcntl.h>
#include <unistd.h>

QByteArray shownPathOf(int folderFd)
{
    char path[PATH_MAX];
    const QByteArray link = "/proc/self/fd/"_ba + QByteArray::number(folderFd);
    const ssize_t length = ::readlink(link.constData(), path, sizeof path);
    return length > 0 && length < ssize_t(sizeof path) ? QByteArray(path, length) : QByteArray();
}

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
