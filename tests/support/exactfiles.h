// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files and folders by their exact names, for tests that make names the system's usual path
// handling would change: on Windows Qt's file classes take a path as a user types one, trimming
// a trailing dot or space and turning "con" into the console; on Linux they lose names that are
// not valid text. The platform's own form of a path reaches them exactly.

#include "platform/filenames.h"

#include <QByteArray>
#include <QString>

#include <optional>

#ifdef Q_OS_WIN

#include "platform/windows/systemcalls.h"

// `posixSemantics` makes the name case-sensitive where the folder allows it (Wine's folders, a
// folder marked case-sensitive on Windows), so that "a" can stand beside "A".
inline bool writeExactFile(const QString &path, const QByteArray &content,
                           bool posixSemantics = false)
{
    const Handle file(CreateFileW(nativePath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, posixSemantics ? FILE_FLAG_POSIX_SEMANTICS : 0,
                                  nullptr));
    DWORD written = 0;
    return file.isOpen()
        && WriteFile(file.get(), content.constData(), DWORD(content.size()), &written, nullptr)
        && written == DWORD(content.size());
}

inline std::optional<QByteArray> readExactFile(const QString &path)
{
    const Handle file(CreateFileW(nativePath(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file.isOpen())
        return std::nullopt;
    QByteArray content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        content.append(buffer, qsizetype(got));
    return content;
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
    if (!name)
        return {};
    const QString result = QString::fromUtf8(name);
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

#else

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

inline bool writeExactFile(const QString &path, const QByteArray &content, bool = false)
{
    std::FILE *file = std::fopen(systemFileName(path).constData(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(content.constData(), 1, size_t(content.size()), file)
        == size_t(content.size());
    return std::fclose(file) == 0 && written;
}

inline std::optional<QByteArray> readExactFile(const QString &path)
{
    std::FILE *file = std::fopen(systemFileName(path).constData(), "rb");
    if (!file)
        return std::nullopt;
    QByteArray content;
    char buffer[4096];
    while (const size_t got = std::fread(buffer, 1, sizeof buffer, file))
        content.append(buffer, qsizetype(got));
    std::fclose(file);
    return content;
}

inline bool makeExactFolder(const QString &path)
{
    return ::mkdir(systemFileName(path).constData(), 0700) == 0 || errno == EEXIST;
}

#endif

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
