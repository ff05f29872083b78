#pragma once

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QStringList>
#include <QTemporaryDir>

// Small helpers shared by the list tests.

// What the file system offers: on Windows names ignore case, and QFile::link makes a shortcut
// file rather than a symbolic link.
#ifdef Q_OS_WIN
inline constexpr bool CaseSensitiveNames = false;
inline constexpr bool SymbolicLinks = false;
#else
inline constexpr bool CaseSensitiveNames = true;
inline constexpr bool SymbolicLinks = true;
#endif

inline bool createFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}

// The folder's full path, or empty when it could not be made.
inline QString makeFolder(const QTemporaryDir &dir, const QString &relative)
{
    const QString path = dir.filePath(relative);
    return QDir().mkpath(path) ? path : QString();
}

inline QStringList namesOf(const QListWidget &list)
{
    QStringList names;
    for (int i = 0; i < list.count(); ++i)
        names.append(list.item(i)->text());
    return names;
}
