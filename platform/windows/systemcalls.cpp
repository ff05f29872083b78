// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/windows/systemcalls.h"

#include "platform/paths.h"

#include <QDir>

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

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

// ReplaceFileW reports a replaced file that another program holds as one it could not remove,
// or as a new file it could not move in, with nothing changed.
bool isInUse(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
        || error == ERROR_UNABLE_TO_REMOVE_REPLACED || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
}

} // namespace

SystemError systemError(DWORD error)
{
    return {errnoOf(error), int(error),
            isInUse(error) ? SystemError::Transience::InUse : SystemError::Transience::Lasting};
}

std::wstring nativePath(const QString &path)
{
    if (path.startsWith(u"\\\\?\\"_s) || path.startsWith(u"//?/"_s)) // given in that form
        return QDir::toNativeSeparators(path).toStdWString();
    const QString native = QDir::toNativeSeparators(cleanFolderPath(path));
    if (native.startsWith(u"\\\\"_s))
        return (u"\\\\?\\UNC\\"_s + native.mid(2)).toStdWString();
    return (u"\\\\?\\"_s + native).toStdWString();
}

std::optional<ObjectId> objectIdOf(HANDLE handle)
{
    FILE_ID_INFO id{};
    if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
        quint64 halves[2] = {};
        static_assert(sizeof halves == sizeof id.FileId.Identifier);
        std::memcpy(halves, id.FileId.Identifier, sizeof halves);
        return ObjectId{id.VolumeSerialNumber, halves[0], halves[1]};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return std::nullopt;
    return ObjectId{info.dwVolumeSerialNumber,
                    (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow, 0};
}

FileCalls &fileCalls()
{
    static FileCalls calls;
    return calls;
}
