// SPDX-License-Identifier: GPL-3.0-or-later
// The selected file: looked at before it is opened, opened only if it is a regular file in the
// held folder, read, and asked afterwards whether it changed.
#include "platform/windows/savefilestates.h"

#include "platform/paths.h"

namespace {

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

} // namespace

InputFile::InputFile() : m(std::make_unique<State>()) {}
InputFile::~InputFile() = default;

qint64 InputFile::stampTicksPerSecond()
{
    return 10'000'000; // FILETIME counts 100 ns
}

std::optional<SaveFailure> InputFile::openFile(const SaveFolder &folder, const QString &name)
{
    m->path = nativePath(joinPath(folder.path(), name));
    const DWORD attributes = GetFileAttributesW(m->path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return lastFailure(Step::OpenInput);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return SaveFailure::notRegular(Step::OpenInput, FileType::Folder);
    m->file = Handle(CreateFileW(m->path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!m->file.isOpen())
        return lastFailure(Step::OpenInput);
    if (const FileType type = fileTypeOf(m->file.get()); type != FileType::Regular) {
        m->file.reset();
        return SaveFailure::notRegular(Step::OpenInput, type);
    }
    if (!folder.state().holds(m->file.get()))
        return SaveFailure::refused(Step::OpenInput, Refusal::FolderMoved);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!stampOf(m->file.get(), info, m_opened))
        return lastFailure(Step::OpenInput);
    m_identity = identityOf(m->file.get());
    return std::nullopt;
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
    nameStillNamesIt = identityAt(m->path) == m_identity;
    return stamp;
}
