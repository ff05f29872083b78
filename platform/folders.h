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
// its error and no names, so that no list shows half a folder as if it were whole. Only files
// whose names match the pattern (namematching.h) are named: the file list's pattern spares a
// folder of 100,000 files a string for every name it would only throw away.
FolderEntries readFolder(const QString &folder, QStringView filePattern = u"*");

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
    // When its entries (a folder) or content (a file) last changed, in the system's own ticks:
    // a file added, removed or renamed in a folder gives the folder a new one.
    qint64 modified = 0;
};
PathFacts lookAt(const QString &path);

// The process's current folder, absolute; empty when the system cannot say (it was removed).
QString currentFolder();

// The path made absolute, "/"-separated; not cleaned, and no name changed. A relative path
// counts from the current folder; on Windows a path without a drive ("/data") gets the current
// one, and one with a drive but no folder ("C:data") that drive's current folder.
QString absolutePath(const QString &path);

// A path the user typed or gave (the companion's arguments, the window's argument or a drop), as
// the program is to carry it: the one way from a given path to the program's form. On Linux it
// is the path as typed. On Windows every other path the program meets is exact (the lists give
// names as the folder holds them), but a typed one is meant the way Windows takes typed paths,
// trailing dots and spaces trimmed ("Liga.\a" is "Liga\a"), "C:data" in drive C:'s current
// folder, except that names which exist exactly as typed are taken exactly: a folder "Liga."
// beside "Liga" is "Liga.". As typed where that names the same; otherwise the path it comes to.
// The "\\?\" form is taken as it is, the "\\.\" form normalised as Windows normalises it.
struct TypedPath
{
    QString path;
    bool device = false; // a device name such as "aux" or "con", not a file's or folder's
};
TypedPath typedPath(const QString &typed);

// The folder that holds the program file, absolute with links resolved; empty when unknown.
QString programFolder();

// Where the user keeps files: the home folder on Linux, "Documents" on Windows; empty when
// unknown.
QString userFilesFolder();

// The file or folder a "file:" address names, exactly: a file manager's drop gives addresses,
// and on Linux their percent-escaped bytes need not be valid text. Empty for any other address.
QString localPathOfUrl(const QUrl &url);

// How this system compares file names: case-sensitively on Linux, not on Windows.
extern const Qt::CaseSensitivity FileNameCase;
