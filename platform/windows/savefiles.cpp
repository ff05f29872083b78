// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/savefiles.h"

#include "platform/paths.h"

#include <QDir>

#include <cerrno>
#include <utility>

#include <windows.h>

using namespace Qt::StringLiterals;

namespace {

// The errno value for a Windows error, so that the messages choose their German text from one
// table on both systems.
int errnoOf(DWORD error)
{
    static const std::pair<DWORD, int> Numbers[] = {
        {ERROR_FILE_NOT_FOUND, ENOENT},        {ERROR_PATH_NOT_FOUND, ENOENT},
        {ERROR_INVALID_DRIVE, ENOENT},         {ERROR_BAD_NETPATH, ENOENT},
        {ERROR_ACCESS_DENIED, EACCES},         {ERROR_NETWORK_ACCESS_DENIED, EACCES},
        {ERROR_SHARING_VIOLATION, EBUSY},      {ERROR_LOCK_VIOLATION, EBUSY},
        {ERROR_DISK_FULL, ENOSPC},             {ERROR_HANDLE_DISK_FULL, ENOSPC},
        {ERROR_WRITE_PROTECT, EROFS},          {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
        {ERROR_INVALID_NAME, EINVAL},          {ERROR_DIRECTORY, ENOTDIR},
        {ERROR_NOT_SAME_DEVICE, EXDEV},        {ERROR_TOO_MANY_OPEN_FILES, EMFILE},
        {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},     {ERROR_OUTOFMEMORY, ENOMEM},
        {ERROR_FILE_EXISTS, EEXIST},           {ERROR_ALREADY_EXISTS, EEXIST},
        {ERROR_NOT_READY, EIO},                {ERROR_CRC, EIO},
        {ERROR_NETNAME_DELETED, ENOTCONN},     {ERROR_SEM_TIMEOUT, ETIMEDOUT},
        {ERROR_NOT_SUPPORTED, EOPNOTSUPP},     {ERROR_FILE_TOO_LARGE, EFBIG},
        {ERROR_INVALID_PARAMETER, EINVAL},     {ERROR_CANT_RESOLVE_FILENAME, ELOOP},
        {ERROR_USER_MAPPED_FILE, EBUSY},       {ERROR_UNABLE_TO_REMOVE_REPLACED, EBUSY},
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT, EBUSY}, {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, EBUSY},
    };
    for (const auto &[windows, number] : Numbers) {
        if (windows == error)
            return number;
    }
    return SystemError::NoErrno;
}

SystemError systemError(DWORD error)
{
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    const QString words = QString::fromWCharArray(text, int(length)).trimmed();
    LocalFree(text);
    return {errnoOf(error), words, int(error)};
}

SystemError lastSystemError()
{
    return systemError(GetLastError());
}

// A path as Windows takes it: backslashes, and the prefix that lifts the limit of 260
// characters from an absolute path that needs it.
std::wstring nativePath(const QString &path)
{
    QString native = QDir::toNativeSeparators(path);
    if (native.size() >= MAX_PATH && native.size() > 2 && native.at(1) == u':')
        native.prepend(u"\\\\?\\"_s);
    else if (native.size() >= MAX_PATH && native.startsWith(u"\\\\"_s))
        native = u"\\\\?\\UNC\\"_s + native.mid(2);
    return native.toStdWString();
}

FileType fileTypeOf(HANDLE file)
{
    switch (GetFileType(file)) {
    case FILE_TYPE_DISK:
        return FileType::Regular;
    case FILE_TYPE_PIPE:
        return FileType::Fifo;
    case FILE_TYPE_CHAR:
        return FileType::CharacterDevice;
    default:
        return FileType::Other;
    }
}

qint64 ticks(const FILETIME &time)
{
    return qint64((quint64(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

qint64 clockNow()
{
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    return ticks(now);
}

// The file's identity and what a change of it shows in.
bool stampOf(HANDLE file, BY_HANDLE_FILE_INFORMATION &info, InputFile::Stamp &stamp)
{
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandle(file, &info)
        || !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic))
        return false;
    stamp = {(qint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow, ticks(info.ftLastWriteTime),
             basic.ChangeTime.QuadPart, clockNow()};
    return true;
}

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION &info)
{
    return {info.dwVolumeSerialNumber, (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// A handle closed when it goes out of scope.
class Handle
{
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() { reset(); }
    Handle(const Handle &) = delete;
    Handle &operator=(Handle &&other) noexcept
    {
        reset(std::exchange(other.m_handle, INVALID_HANDLE_VALUE));
        return *this;
    }

    HANDLE get() const { return m_handle; }
    bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE)
    {
        if (isOpen())
            CloseHandle(m_handle);
        m_handle = handle;
    }
    bool close() { return CloseHandle(std::exchange(m_handle, INVALID_HANDLE_VALUE)); }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

Opened failure(SystemError error)
{
    return {Refusal::Failed, std::move(error), FileType::Regular, false};
}

Opened notRegular(FileType type)
{
    return {Refusal::NotRegular, {}, type, false};
}

} // namespace

// ---- SaveFolder -------------------------------------------------------------------------------

// Windows has no opening of a file relative to a folder handle; instead the folder is held
// open without leave to delete it, which keeps it, and the path to it, from being renamed or
// removed while the save works in it.
struct SaveFolder::State
{
    QString path;
    Handle folder;
};

SaveFolder::SaveFolder() : m(std::make_unique<State>()) {}
SaveFolder::~SaveFolder() = default;

Opened SaveFolder::open(const QString &path)
{
    m->path = path;
    const std::wstring native = nativePath(path);
    const DWORD shared = FILE_SHARE_READ | FILE_SHARE_WRITE;
    m->folder = Handle(CreateFileW(native.c_str(), FILE_LIST_DIRECTORY, shared, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!m->folder.isOpen() && GetLastError() == ERROR_ACCESS_DENIED)
        m->folder = Handle(CreateFileW(native.c_str(), FILE_READ_ATTRIBUTES, shared, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!m->folder.isOpen())
        return failure(lastSystemError());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(m->folder.get(), &info))
        return failure(lastSystemError());
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return failure(systemError(ERROR_DIRECTORY));
    return {};
}

QString SaveFolder::path() const
{
    return m->path;
}

// ---- InputFile --------------------------------------------------------------------------------

struct InputFile::State
{
    std::wstring path;
    Handle file;
};

InputFile::InputFile() : m(std::make_unique<State>()) {}
InputFile::~InputFile() = default;

qint64 InputFile::stampTicksPerSecond()
{
    return 10'000'000; // FILETIME counts 100 ns
}

Opened InputFile::openFile(const SaveFolder &folder, const QString &name)
{
    m->path = nativePath(joinPath(folder.path(), name));
    const DWORD attributes = GetFileAttributesW(m->path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return failure(lastSystemError());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return notRegular(FileType::Folder);
    m->file = Handle(CreateFileW(m->path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!m->file.isOpen())
        return failure(lastSystemError());
    if (const FileType type = fileTypeOf(m->file.get()); type != FileType::Regular) {
        m->file.reset();
        return notRegular(type);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!stampOf(m->file.get(), info, m_opened))
        return failure(lastSystemError());
    m_identity = identityOf(info);
    return {};
}

qint64 InputFile::readFile(char *into, qint64 max)
{
    DWORD got = 0;
    if (!ReadFile(m->file.get(), into, DWORD(std::min<qint64>(max, 1 << 30)), &got, nullptr)) {
        m_error = lastSystemError();
        return -1;
    }
    return got;
}

qint64 InputFile::readFileAt(qint64 offset, char *into, qint64 max)
{
    OVERLAPPED at{};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(m->file.get(), into, DWORD(std::min<qint64>(max, 1 << 30)), &got, &at)
        && GetLastError() != ERROR_HANDLE_EOF) {
        m_error = lastSystemError();
        return -1;
    }
    return got;
}

std::optional<InputFile::Stamp> InputFile::stampNow(bool &nameStillNamesIt) const
{
    BY_HANDLE_FILE_INFORMATION info{};
    Stamp stamp;
    if (!stampOf(m->file.get(), info, stamp))
        return std::nullopt;
    const Handle again(CreateFileW(m->path.c_str(), 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION atPath{};
    nameStillNamesIt = again.isOpen() && GetFileInformationByHandle(again.get(), &atPath)
        && identityOf(atPath) == m_identity;
    return stamp;
}

// ---- ReplacementFile --------------------------------------------------------------------------

namespace {

// The selected file may be a link to its own .new (or share its file through a hard link):
// replacing that would change the selected file.
bool isSameFile(const QString &path, const FileIdentity &input)
{
    const Handle file(CreateFileW(nativePath(path).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    return file.isOpen() && GetFileInformationByHandle(file.get(), &info)
        && identityOf(info) == input;
}

} // namespace

struct ReplacementFile::State
{
    QString folder;
    QString target;
    bool targetExisted = false;
    std::wstring temporary; // empty when there is none
    Handle file;
    SystemError error;
};

ReplacementFile::ReplacementFile() : m(std::make_unique<State>()) {}

ReplacementFile::~ReplacementFile()
{
    m->file.reset();
    if (!m->temporary.empty())
        DeleteFileW(m->temporary.c_str());
}

// Windows replaces a link in the output's place itself, never the file it leads to, and a
// replaced file keeps its attributes and access rights through ReplaceFileW; what remains to
// refuse is a folder, a device and a read-only file.
Opened ReplacementFile::open(const SaveFolder &folder, const QString &name, const InputFile &input)
{
    m->folder = folder.path();
    m->target = joinPath(folder.path(), name);
    const DWORD attributes = GetFileAttributesW(nativePath(m->target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return notRegular(FileType::Folder);
        if (attributes & FILE_ATTRIBUTE_DEVICE)
            return notRegular(FileType::CharacterDevice);
        if (isSameFile(m->target, input.identity()))
            return {Refusal::LeadsToInput, {}, FileType::Regular, false};
        if (attributes & FILE_ATTRIBUTE_READONLY)
            return {Refusal::NotWritable, systemError(ERROR_ACCESS_DENIED), FileType::Regular,
                    false};
        m->targetExisted = true;
    } else if (const DWORD error = GetLastError();
               error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        return failure(systemError(error));
    }
    for (int attempt = 0; attempt < TemporaryNameAttempts; ++attempt) {
        const std::wstring temporary = nativePath(joinPath(m->folder, temporaryName()));
        m->file = Handle(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (m->file.isOpen()) {
            m->temporary = temporary;
            return {};
        }
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS)
            continue;
        const bool folderRefuses = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
        return {folderRefuses ? Refusal::FolderRefusesNewFile : Refusal::Failed,
                systemError(error), FileType::Regular, false};
    }
    return failure(systemError(ERROR_FILE_EXISTS));
}

QString ReplacementFile::targetFolder() const
{
    return m->folder;
}

bool ReplacementFile::write(const char *bytes, qint64 count)
{
    while (count > 0) {
        DWORD done = 0;
        const DWORD chunk = DWORD(std::min<qint64>(count, 1 << 30));
        if (!WriteFile(m->file.get(), bytes, chunk, &done, nullptr)) {
            m->error = lastSystemError();
            return false;
        }
        if (done == 0) { // written nothing, and said nothing: the disk is full
            m->error = systemError(ERROR_DISK_FULL);
            return false;
        }
        bytes += done;
        count -= done;
    }
    return true;
}

ReplacementFile::Commit ReplacementFile::commit()
{
    State &s = *m;
    if (!FlushFileBuffers(s.file.get()) || !s.file.close()) {
        s.error = lastSystemError();
        return Commit::NotWritten;
    }
    const std::wstring target = nativePath(s.target);
    // ReplaceFileW keeps the replaced file's attributes and access rights; a new file goes in
    // with a write-through rename.
    bool replaced = s.targetExisted
        ? ReplaceFileW(target.c_str(), s.temporary.c_str(), nullptr,
                       REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
        : MoveFileExW(s.temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    // After these two the replaced file may already be gone: the new one must take its place.
    const DWORD error = replaced ? ERROR_SUCCESS : GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
        replaced = MoveFileExW(s.temporary.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!replaced) {
        s.error = lastSystemError();
        return Commit::NotWritten;
    }
    s.temporary.clear();
    return Commit::Done;
}

SystemError ReplacementFile::error() const
{
    return m->error;
}
