// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/filenames.h"

#include <QByteArray>
#include <QList>
#include <QString>

#ifdef Q_OS_WIN

#include "platform/windows/systemcalls.h"

// By exact names, as the program reaches them: Qt would trim "Liga." to "Liga" and take "con"
// for the console. Read-only entries lose the mark first, as Windows refuses to delete them.
inline bool removeTree(const QString &folder)
{
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW(nativePath(folder + QStringLiteral("/*")).c_str(), &entry);
    bool removed = search != INVALID_HANDLE_VALUE;
    do {
        const QString name = QString::fromWCharArray(entry.cFileName);
        const std::wstring path = nativePath(folder + u'/' + name);
        if (!removed || name == QStringLiteral(".") || name == QStringLiteral(".."))
            continue;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        removed = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ? removeTree(folder + u'/' + name)
            : DeleteFileW(path.c_str());
    } while (removed && FindNextFileW(search, &entry));
    FindClose(search);
    return RemoveDirectoryW(nativePath(folder).c_str()) && removed;
}

#else

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Removes `name` in the folder open as `parent`, and all in it, by descriptors: no path is
// ever longer than one name.
inline bool removeTreeAt(int parent, const char *name)
{
    struct stat status{};
    if (::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (!S_ISDIR(status.st_mode))
        return ::unlinkat(parent, name, 0) == 0;
    DIR *folder = ::fdopendir(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
    if (!folder)
        return false;
    QList<QByteArray> entries;
    while (const dirent *entry = ::readdir(folder)) {
        const QByteArray entryName(entry->d_name);
        if (entryName != "." && entryName != "..")
            entries.append(entryName);
    }
    bool removed = true;
    for (const QByteArray &entry : entries)
        removed = removeTreeAt(::dirfd(folder), entry.constData()) && removed;
    ::closedir(folder);
    return ::unlinkat(parent, name, AT_REMOVEDIR) == 0 && removed;
}

// Removes a folder and all in it. QDir::removeRecursively() (and so QTemporaryDir) skips names
// that are not valid text and paths longer than a path may be, leaving the folder behind.
inline bool removeTree(const QString &folder)
{
    return removeTreeAt(AT_FDCWD, systemFileName(folder).constData());
}

#endif
