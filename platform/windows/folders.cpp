// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/folders.h"

#include "platform/paths.h"
#include "platform/windows/systemcalls.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>
#include <memory>

using namespace Qt::StringLiterals;

const Qt::CaseSensitivity FileNameCase = Qt::CaseInsensitive;

namespace {

enum class EntryKind { File, Folder, Other };

// A symbolic link or junction counts as what it leads to, and a dangling one as neither. Other
// reparse points (cloud files, deduplicated files) are taken as they are: opening one could
// fetch it from the network.
EntryKind kindOf(const QString &folder, const WIN32_FIND_DATAW &entry)
{
    DWORD attributes = entry.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(entry.dwReserved0)) {
        const QString path = joinPath(folder, QString::fromWCharArray(entry.cFileName));
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

} // namespace

// Each failure is seen: the search's start, and every step of it, which ends only with
// ERROR_NO_MORE_FILES. QDirIterator would end a failed read silently, showing an unreadable
// folder as an empty one.
FolderEntries readFolder(const QString &folder)
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
    FolderEntries entries;
    do {
        if (!isListed(entry))
            continue;
        const QString name = QString::fromWCharArray(entry.cFileName);
        switch (kindOf(folder, entry)) {
        case EntryKind::File:
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

// Names compare ignoring case here, so the canonical path, folded, tells objects apart.
PathFacts lookAt(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {SystemError::ofErrno(ENOENT), false, 0, {}};
    return {{}, info.isDir(), info.isFile() ? info.size() : 0,
            info.canonicalFilePath().toCaseFolded()};
}

QString currentFolder()
{
    return QDir::currentPath();
}

QString absolutePath(const QString &path)
{
    return QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath();
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
