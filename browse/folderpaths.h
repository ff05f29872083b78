#pragma once

#include <QString>
#include <QStringList>

// Folder paths as the three lists hold them: absolute, "/"-separated, no trailing "/" except at a
// root ("/", "C:/"). Nothing here touches the disk unless its comment says so.

#ifdef Q_OS_WIN
inline constexpr Qt::CaseSensitivity FileNameCase = Qt::CaseInsensitive;
#else
inline constexpr Qt::CaseSensitivity FileNameCase = Qt::CaseSensitive;
#endif

// Absolute and clean; a relative path counts from the current folder. Symlinks stay as given,
// so a folder opened through a link keeps the link in its path. Empty stays empty.
QString cleanFolderPath(const QString &path);

// True when `path` is `root` or lies below it, whole path components only ("/media/usb" holds
// "/media/usb/x" but not "/media/usb2"). Both clean.
bool pathLiesOn(const QString &path, const QString &root);

QString joinFolderPath(const QString &folder, const QString &name);

// The root of the file system tree a clean path lies in: "/", "C:/" or "//server/share".
QString fileSystemRootOf(const QString &cleanPath);

// Sorts names the way both lists show them: ignoring case, ties broken by case so the order
// does not depend on the listing order of the file system.
void sortByName(QStringList &names);

// Opens the folder for listing and reports why it cannot be read: 0, or a positive errno value
// (ENOENT, ENOTDIR, EACCES, ...). Touches the disk.
int folderReadError(const QString &folder);
