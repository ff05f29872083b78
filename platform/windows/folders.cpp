// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <cerrno>

const Qt::CaseSensitivity FileNameCase = Qt::CaseInsensitive;

namespace {

// Why a folder cannot be listed; Windows gives no errno, so the three cases the lists tell
// apart are asked for one by one.
SystemError folderReadError(const QString &folder)
{
    const QFileInfo info(folder);
    const int number = !info.exists() ? ENOENT
        : !info.isDir()               ? ENOTDIR
        : !QDir(folder).isReadable()  ? EACCES
                                      : 0;
    return {number, {}, number};
}

} // namespace

// Names are UTF-16 here as in the program, so Qt's classes keep them exact. QFileInfo follows
// links and junctions: isFile() and isDir() answer for where they lead, and a dangling link is
// neither. A shortcut (.lnk) is a file of the desktop shell, not a link: it is left out, as a
// folder would not open through it.
FolderEntries readFolder(const QString &folder)
{
    if (folder.isEmpty())
        return {{ENOENT, {}, ENOENT}, {}, {}};
    if (const SystemError error = folderReadError(folder); error.failed())
        return {error, {}, {}};
    FolderEntries entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isShortcut())
            continue;
        if (info.isFile())
            entries.files.append(info.fileName());
        else if (info.isDir())
            entries.folders.append(info.fileName());
    }
    return entries;
}

// Names compare ignoring case here, so the canonical path, folded, tells objects apart.
PathFacts lookAt(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {{ENOENT, {}, ENOENT}, false, 0, {}};
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
