// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/folders.h"

#include "platform/namematching.h"
#include "platform/paths.h"
#include "platform/windows/systemcalls.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <cstddef>
#include <memory>

#include <winioctl.h>

using namespace Qt::StringLiterals;

const Qt::CaseSensitivity FileNameCase = Qt::CaseInsensitive;

namespace {

enum class EntryKind { File, Folder, Other };

QString fromWide(const wchar_t *text, qsizetype length = -1)
{
    return QString::fromWCharArray(text, length < 0 ? qsizetype(wcslen(text)) : length);
}

// The target a symbolic link or junction (mount point) names, as written in it
// ("\??\UNC\server\share\x", "\??\C:\x", or a relative path); empty when it cannot be read.
// Reading it opens the link itself, never what it leads to. The layout is REPARSE_DATA_BUFFER's
// (Microsoft, ntifs.h), which MinGW's headers leave out.
QString linkTarget(const QString &path, ULONG tag)
{
    const Handle link(CreateFileW(nativePath(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    alignas(ULONG) std::byte data[MAXIMUM_REPARSE_DATA_BUFFER_SIZE];
    DWORD size = 0;
    if (!link.isOpen()
        || !DeviceIoControl(link.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, data, sizeof data,
                            &size, nullptr))
        return {};
    struct Names // after the tag, its data length and a reserved word
    {
        USHORT substituteOffset, substituteLength, printOffset, printLength;
    };
    const qsizetype namesAt = 8;
    const qsizetype pathsAt = namesAt + sizeof(Names) + (tag == IO_REPARSE_TAG_SYMLINK ? 4 : 0);
    Names names{};
    if (size < pathsAt)
        return {};
    std::memcpy(&names, data + namesAt, sizeof names);
    if (pathsAt + names.substituteOffset + names.substituteLength > qsizetype(size))
        return {};
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(data + pathsAt
                                                                  + names.substituteOffset),
                              names.substituteLength / 2);
}

// Whether opening what a link names could keep the window waiting: a network share, which may
// be offline for half a minute of timeouts, or a drive that is no fixed disk.
bool mayKeepWaiting(QString target)
{
    if (target.startsWith(u"\\??\\"_s))
        target = target.sliced(4);
    if (target.startsWith(u"UNC\\"_s, Qt::CaseInsensitive) || target.startsWith(u"\\\\"_s))
        return true;
    if (target.size() < 3 || target.at(1) != u':' || target.at(2) != u'\\')
        return false; // relative: on the link's own volume
    const std::wstring root = target.first(3).toStdWString();
    const UINT type = GetDriveTypeW(root.c_str());
    return type != DRIVE_FIXED && type != DRIVE_RAMDISK;
}

// A symbolic link or junction counts as what it leads to, and a dangling one as neither; one
// leading to a network share or a removable drive counts as what it says it is (a folder link
// or a file link) without being followed, as Explorer shows it, so that an offline share
// cannot stall the list. Other reparse points (cloud files, deduplicated files) are taken as
// they are: opening one could fetch it from the network.
EntryKind kindOf(const QString &folder, const WIN32_FIND_DATAW &entry)
{
    DWORD attributes = entry.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(entry.dwReserved0)) {
        const QString path = joinPath(folder, fromWide(entry.cFileName));
        const ULONG tag = entry.dwReserved0;
        const bool readable = tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT;
        if (readable && mayKeepWaiting(linkTarget(path, tag)))
            return attributes & FILE_ATTRIBUTE_DIRECTORY ? EntryKind::Folder : EntryKind::File;
        const Handle target(CreateFileW(nativePath(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!target.isOpen() || !GetFileInformationByHandle(target.get(), &info))
            return EntryKind::Other;
        attributes = info.dwFileAttributes;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return EntryKind::Folder;
    return attributes & FILE_ATTRIBUTE_DEVICE ? EntryKind::Other : EntryKind::File;
}

// Explorer leaves out entries marked hidden or system unless asked to show them ("$Recycle.Bin",
// "System Volume Information"); so do the lists. A name starting with a dot is an ordinary name.
bool isListed(const WIN32_FIND_DATAW &entry)
{
    const std::wstring_view name(entry.cFileName);
    return name != L"." && name != L".."
        && !(entry.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

struct SearchCloser
{
    void operator()(HANDLE search) const { FindClose(search); }
};

SystemError notAFolder(const QString &folder)
{
    const DWORD attributes = GetFileAttributesW(nativePath(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return lastSystemError();
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? SystemError{} : systemError(ERROR_DIRECTORY);
}

bool existsExactly(const QString &path)
{
    return GetFileAttributesW(nativePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What Windows makes of a path as typed (GetFullPathNameW): its current folders applied, "."
// and ".." cleaned, trailing dots and spaces trimmed, a device name turned into "\\.\CON".
QString fullPathName(const QString &path)
{
    const std::wstring given = QDir::toNativeSeparators(path).toStdWString();
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(given.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = GetFullPathNameW(given.c_str(), DWORD(full.size()), full.data(), nullptr);
    }
    return length > 0 && length < full.size() ? fromWide(full.data(), length) : QString();
}

// "C:data": Windows keeps a current folder for each drive (the environment's "=C:", which
// cmd.exe sets), and GetFullPathNameW of the bare drive names it; the process's own current
// folder counts for its drive.
QString currentFolderOfDrive(const QString &drive)
{
    const QString current = currentFolder();
    if (current.startsWith(drive, Qt::CaseInsensitive) && current.size() > 2
        && current.at(2) == u'/')
        return current;
    const QString full = QDir::fromNativeSeparators(fullPathName(drive));
    return full.isEmpty() ? drive + u'/' : full;
}

// "C:/..." or "//server/share/...": nothing of the current folders counts.
bool isFullyQualified(const QString &path)
{
    return path.startsWith(u"//"_s)
        || (path.size() >= 3 && path.at(1) == u':' && path.at(2) == u'/');
}

bool isDriveRelative(const QString &path)
{
    return path.size() >= 2 && path.at(1) == u':' && path.at(0).isLetter()
        && (path.size() == 2 || path.at(2) != u'/');
}

// The prefix of a path in the "\\?\" or "\\.\" form ("//?/" once its separators are "/").
bool inDeviceForm(const QString &path)
{
    return path.startsWith(u"//?/"_s) || path.startsWith(u"//./"_s);
}

// A "\\?\C:\..." or "\\?\UNC\server\share\..." path as the program carries it.
QString withoutDevicePrefix(const QString &path)
{
    const QString rest = path.sliced(4);
    return rest.startsWith(u"UNC/"_s, Qt::CaseInsensitive) ? u"//"_s + rest.sliced(4) : rest;
}

} // namespace

// Each failure is seen: the search's start, and every step of it, which ends only with
// ERROR_NO_MORE_FILES. QDirIterator would end a failed read silently, showing an unreadable
// folder as an empty one.
FolderEntries readFolder(const QString &folder, QStringView filePattern)
{
    if (folder.isEmpty())
        return {systemError(ERROR_PATH_NOT_FOUND), {}, {}};
    if (const SystemError error = notAFolder(folder); error.failed())
        return {error, {}, {}};
    WIN32_FIND_DATAW entry{};
    const HANDLE search =
        FindFirstFileExW(nativePath(joinPath(folder, u"*"_s)).c_str(), FindExInfoBasic, &entry,
                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        // A drive's root has no "." and "..": an empty one has nothing at all.
        const DWORD error = GetLastError();
        return {error == ERROR_FILE_NOT_FOUND ? SystemError{} : systemError(error), {}, {}};
    }
    const std::unique_ptr<void, SearchCloser> closer(search);
    const NamePattern wanted(filePattern);
    FolderEntries entries;
    do {
        if (!isListed(entry))
            continue;
        const QString name = fromWide(entry.cFileName);
        switch (kindOf(folder, entry)) {
        case EntryKind::File:
            if (wanted.matches(name))
                entries.files.append(name);
            break;
        case EntryKind::Folder:
            entries.folders.append(name);
            break;
        case EntryKind::Other:
            break;
        }
    } while (fileCalls().findNextFile(search, &entry));
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES)
        return {systemError(error), {}, {}};
    return entries;
}

// The identity is the system's, not the name's: two names that compare alike ignoring case
// are one object only where the folder ignores case, and a folder may be case-sensitive
// (Windows lets one be marked so, and shares from Linux and WSL are). Opening for its
// attributes alone is not refused by a program that holds the object with share mode 0.
PathFacts lookAt(const QString &path)
{
    const std::wstring native = nativePath(path);
    const Handle object(CreateFileW(native.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    const std::optional<ObjectId> id =
        object.isOpen() && GetFileInformationByHandle(object.get(), &info)
        ? objectIdOf(object.get())
        : std::nullopt;
    if (!id) {
        // An object that may not be opened may still be looked at, without an identity.
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(native.c_str(), GetFileExInfoStandard, &data))
            return {lastSystemError(), false, 0, {}, 0};
        info.dwFileAttributes = data.dwFileAttributes;
        info.nFileSizeHigh = data.nFileSizeHigh;
        info.nFileSizeLow = data.nFileSizeLow;
        info.ftLastWriteTime = data.ftLastWriteTime;
    }
    const bool folder = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    const QString identity = id ? u"%1:%2:%3"_s.arg(id->volume).arg(id->high).arg(id->low)
                                : QString();
    const qint64 modified =
        (qint64(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    return {{}, folder, folder ? 0 : (qint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
            identity, modified};
}

// The system's current folder, as the program carries paths; the "\\?\" form that a current
// folder set through it may keep is taken off again (nativePath puts it back).
QString currentFolder()
{
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring buffer(size, L'\0');
    const DWORD length = GetCurrentDirectoryW(size, buffer.data());
    if (length == 0 || length >= size)
        return {};
    QString folder = QDir::fromNativeSeparators(fromWide(buffer.data(), length));
    if (inDeviceForm(folder))
        folder = withoutDevicePrefix(folder);
    if (folder.endsWith(u'/') && folder.size() > rootOf(folder).size())
        folder.chop(1);
    return folder;
}

// Made absolute as Windows makes a path absolute, but without trimming any name.
QString absolutePath(const QString &path)
{
    const QString given = QDir::fromNativeSeparators(path);
    if (isFullyQualified(given))
        return given;
    if (given.startsWith(u'/')) // the current drive's root
        return joinPath(rootOf(currentFolder()), given.sliced(1));
    if (isDriveRelative(given))
        return joinPath(currentFolderOfDrive(given.first(2)), given.sliced(2));
    return joinPath(currentFolder(), given);
}

// A name that exists exactly as typed is taken exactly: "Liga." beside "Liga" is "Liga.", and a
// folder "con" is that folder. From the first name on that does not exist so, the rest is taken
// as Windows takes a typed path (trailing dots and spaces trimmed), since that is what the user
// sees every other program do with it; a device name there ("aux", "con.txt") is a device.
TypedPath typedPath(const QString &typed)
{
    const QString given = QDir::fromNativeSeparators(typed);
    if (inDeviceForm(given)) {
        // "\\?\" reaches the system as it is; Windows normalises "\\.\" as it does a typed
        // path, its "." and ".." and trailing dots and spaces (Microsoft, "Naming Files,
        // Paths, and Namespaces"; the .NET team's "Path Normalization").
        const QString full = given.startsWith(u"//./"_s)
            ? QDir::fromNativeSeparators(fullPathName(given))
            : given;
        if (!inDeviceForm(full)) // Windows could not say: the save will
            return {given, false};
        const QString path = withoutDevicePrefix(full);
        const bool fileSystemPath = rootOf(path).size() == 3 || path.startsWith(u"//"_s);
        return {fileSystemPath ? path : given, !fileSystemPath};
    }
    const QString exact = cleanFolderPath(given);
    const QString root = rootOf(exact);
    const QStringList names = exact.sliced(root.size()).split(u'/', Qt::SkipEmptyParts);
    QString found = root;
    qsizetype existing = 0;
    while (existing < names.size() && existsExactly(joinPath(found, names.at(existing))))
        found = joinPath(found, names.at(existing++));
    QString resolved = found;
    if (existing < names.size()) {
        // Asked of Windows on a path of the remaining names alone, so that it leaves alone
        // the names already found.
        const QString rest = fullPathName(u"C:/"_s + names.sliced(existing).join(u'/'));
        if (rest.startsWith(u"\\\\.\\"_s))
            return {given, true};
        if (rest.size() < 3) // Windows could not say: the save will
            return {given, false};
        resolved = joinPath(found, QDir::fromNativeSeparators(rest).sliced(3));
        if (resolved.endsWith(u'/') && resolved.size() > root.size())
            resolved.chop(1);
    }
    // As given where that names the same, so that messages name the path as the user wrote it.
    const bool plain =
        isFullyQualified(given) || (!given.startsWith(u'/') && !isDriveRelative(given));
    return {resolved == exact && plain ? given : resolved, false};
}

QString userFilesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString programFolder()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath();
}

// Every Windows name is text, and Qt knows the forms ("/C:/x", a server's share).
QString localPathOfUrl(const QUrl &url)
{
    return url.isLocalFile() ? url.toLocalFile() : QString();
}
