// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Paths as the whole program carries them: "/" between names on every system, each name exact
// as filenames.h carries it. One rule for roots: "/" on Linux, "C:/" for a Windows drive and
// "//server/share" for a network share; a root keeps its "/" and no other folder ends in one.

// A path's folder and its last name: "a/b_sp.cfg" gives "a" and "b_sp.cfg", "/x" gives "/",
// "C:/x" gives "C:/", and a bare name gives "." and itself.
struct FolderAndName
{
    QString folder;
    QString name;
};
FolderAndName splitPath(const QString &path);

// The folder and a name in it, with one "/" between them unless the folder ends in one; in
// the current folder ".", the bare name, so that a path split and joined again reads as given.
QString joinPath(const QString &folder, const QString &name);

// The root an absolute path starts with, as above; empty for a relative path.
QString rootOf(const QString &path);

// Absolute and clean; a relative path counts from the current folder (the one look at the
// system here). Links stay as given, so a folder opened through a link keeps it in its path.
// Empty stays empty.
QString cleanFolderPath(const QString &path);

// True when `path` is `root` or lies below it, whole names only ("/media/usb" holds
// "/media/usb/x" but not "/media/usb2"). Both clean.
bool pathLiesOn(const QString &path, const QString &root);

// A path as the user reads it in messages and lists: the system's separators, and names that
// are not valid text or hold control characters made readable (filenames.h).
QString shownPath(const QString &path);
