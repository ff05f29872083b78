// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// A path's folder and its last name: "a/b_sp.cfg" gives "a" and "b_sp.cfg", "/x" gives "/" and
// "x", a bare name gives "." and itself. Paths use "/" on every system.
struct FolderAndName
{
    QString folder;
    QString name;
};
FolderAndName splitPath(const QString &path);

// The folder and a name in it, with one "/" between them unless the folder ends in one ("/").
QString joinPath(const QString &folder, const QString &name);
