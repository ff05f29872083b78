// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Folders as the lists read them: one read of a folder's entries, the current folder and the
// program's folder, all with names exact as filenames.h carries them. Qt's own file classes
// lose names that are not valid text on Linux, so the lists reach folders only through here.

#include "platform/systemerror.h"

#include <QString>
#include <QStringList>

class QUrl;

// What one read of a folder found. Only entries that are regular files or folders after
// following links are named; a link to a FIFO, device or socket, a dangling link and such
// objects themselves are left out of both lists. On Linux hidden (dot) entries are named like
// any other; on Windows entries marked hidden or system are left out, as Explorer leaves them
// out, while a name starting with a dot is an ordinary name there.
struct FolderEntries
{
    SystemError error; // ENOENT, ENOTDIR, EACCES, ...: not readable
    QStringList files;   // bare names, unsorted
    QStringList folders; // bare names without "." and "..", unsorted
};

// Reads the folder once. A folder that cannot be read, or whose read fails part way, gives
// its error and no names, so that no list shows half a folder as if it were whole.
FolderEntries readFolder(const QString &folder);

// What a path names, its links followed, looked at without opening it: whether it is a folder,
// a file's size, and which object it is.
struct PathFacts
{
    SystemError error; // nothing can be looked at there
    bool isFolder = false;
    qint64 size = 0; // of a file
    // The same for every path to one object (through links, ".." or another spelling), so that
    // a folder reached twice is read once.
    QString identity;
};
PathFacts lookAt(const QString &path);

// The process's current folder, absolute; empty when the system cannot say (it was removed).
QString currentFolder();

// The path made absolute, "/"-separated; not cleaned. A relative path counts from the current
// folder; on Windows a path without a drive ("/data", "C:data") gets the current one.
QString absolutePath(const QString &path);

// The folder that holds the program file, absolute with links resolved; empty when unknown.
QString programFolder();

// The file or folder a "file:" address names, exactly: a file manager's drop gives addresses,
// and on Linux their percent-escaped bytes need not be valid text. Empty for any other address.
QString localPathOfUrl(const QUrl &url);

// How this system compares file names: case-sensitively on Linux, not on Windows.
extern const Qt::CaseSensitivity FileNameCase;
