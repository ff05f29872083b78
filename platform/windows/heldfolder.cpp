// SPDX-License-Identifier: GPL-3.0-or-later
// The folder a save holds: opened once, held against renaming and removal, and flushed after
// the rename, now or later where the caller flushes it for several files at once.
#include "platform/windows/savefilestates.h"

// ---- SaveFolder -------------------------------------------------------------------------------

SaveFolder::SaveFolder() : m(std::make_unique<State>()) {}
SaveFolder::~SaveFolder() = default;

std::optional<SaveFailure> SaveFolder::open(const QString &path)
{
    m_path = path;
    const std::wstring native = nativePath(path);
    const DWORD shared = FILE_SHARE_READ | FILE_SHARE_WRITE;
    m->folder = Handle(CreateFileW(native.c_str(), FILE_LIST_DIRECTORY, shared, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!m->folder.isOpen() && GetLastError() == ERROR_ACCESS_DENIED)
        m->folder = Handle(CreateFileW(native.c_str(), FILE_READ_ATTRIBUTES, shared, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!m->folder.isOpen())
        return lastFailure(Step::OpenInput);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(m->folder.get(), &info))
        return lastFailure(Step::OpenInput);
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return SaveFailure::ofSystem(Step::OpenInput, systemError(ERROR_DIRECTORY));
    return std::nullopt;
}

namespace {

// The rename is durable once the folder's entries are on the disk. NTFS flushes them through a
// handle to the folder opened for writing with backup semantics (FlushFileBuffers needs
// GENERIC_WRITE); where the folder cannot be opened so, or the file system refuses to flush it
// (FAT, network shares), there is no more to be had than the rename's own write-through.
Handle folderToFlush(const QString &folder)
{
    return Handle(CreateFileW(nativePath(folder).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::optional<SaveFailure> flushFolder(HANDLE folder)
{
    if (fileCalls().flushFolder(folder))
        return std::nullopt;
    const DWORD code = GetLastError();
    if (code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED
        || code == ERROR_INVALID_PARAMETER)
        return std::nullopt;
    return SaveFailure::ofSystem(Step::SyncFolder, systemError(code));
}

} // namespace

struct UnsyncedFolder::State
{
    Handle folder; // the folder itself, not its path: the flush reaches it wherever it is now
};

UnsyncedFolder::UnsyncedFolder(std::unique_ptr<State> state, FileIdentity identity)
    : m(std::move(state)), m_identity(identity)
{
}
UnsyncedFolder::~UnsyncedFolder() = default;

std::optional<SaveFailure> UnsyncedFolder::sync() const
{
    return flushFolder(m->folder.get());
}

// Left to the caller, the folder is held open for the later flush.
bool ReplacementFile::State::syncFolder(FolderSync folderSync)
{
    Handle handle = folderToFlush(folder);
    if (!handle.isOpen())
        return true;
    if (folderSync == FolderSync::ByCaller) {
        const FileIdentity identity = identityOf(handle.get());
        auto state = std::make_unique<UnsyncedFolder::State>();
        state->folder = std::move(handle);
        unsynced = std::make_shared<UnsyncedFolder>(std::move(state), identity);
        return true;
    }
    if (const std::optional<SaveFailure> flushFailed = flushFolder(handle.get())) {
        failed(*flushFailed);
        return false;
    }
    return true;
}
