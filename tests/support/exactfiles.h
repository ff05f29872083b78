// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files and folders by their exact names, for tests that make names the system's usual path
// handling would change: on Windows Qt's file classes take a path as a user types one, trimming
// a trailing dot or space and turning "con" into the console; on Linux they lose names that are
// not valid text. The platform's own form of a path reaches them exactly.

#include "platform/filenames.h"

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <optional>

#ifdef Q_OS_WIN

#include "platform/windows/systemcalls.h"

inline std::FILE *openExactFile(const QString &path, bool writing)
{
    return _wfopen(nativePath(path).c_str(), writing ? L"wb" : L"rb");
}

inline bool makeExactFolder(const QString &path)
{
    return CreateDirectoryW(nativePath(path).c_str(), nullptr)
        || GetLastError() == ERROR_ALREADY_EXISTS;
}

// Under Wine, the Linux path of a Windows one, for what only the Linux side can do to a file
// (make a name alike but for case beside another, rename a folder that a Windows program holds
// open, as Linux or a Samba server may); empty elsewhere.
inline QString wineUnixPath(const QString &path)
{
    using UnixName = char *(CDECL *)(const wchar_t *);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char *name = unixName ? unixName(nativePath(path).c_str()) : nullptr;
    const QString result = name ? QString::fromUtf8(name) : QString();
    if (name)
        HeapFree(GetProcessHeap(), 0, name);
    return result;
}

#else

#include <sys/stat.h>

inline std::FILE *openExactFile(const QString &path, bool writing)
{
    return std::fopen(systemFileName(path).constData(), writing ? "wb" : "rb");
}

inline bool makeExactFolder(const QString &path)
{
    return ::mkdir(systemFileName(path).constData(), 0700) == 0 || errno == EEXIST;
}

#endif

inline bool writeExactFile(const QString &path, const QByteArray &content)
{
    std::FILE *file = openExactFile(path, true);
    const bool written = file
        && std::fwrite(content.constData(), 1, size_t(content.size()), file)
            == size_t(content.size());
    return file && std::fclose(file) == 0 && written;
}

inline std::optional<QByteArray> readExactFile(const QString &path)
{
    std::FILE *file = openExactFile(path, false);
    if (!file)
        return std::nullopt;
    QByteArray content;
    char buffer[4096];
    while (const size_t got = std::fread(buffer, 1, sizeof buffer, file))
        content.append(buffer, qsizetype(got));
    std::fclose(file);
    return content;
}

// Every folder on the way, each by its exact name.
inline bool makeExactFolders(const QString &base, const QString &relative)
{
    QString path = base;
    for (const QString &name : relative.split(u'/', Qt::SkipEmptyParts)) {
        path += u'/' + name;
        if (!makeExactFolder(path))
            return false;
    }
    return true;
}
