// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/folders.h"
#include "platform/namematching.h" // sortByName

#include <QString>
#include <QStringList>

// Folder paths as the three lists hold them: absolute, "/"-separated, no trailing "/" except at a
// root ("/", "C:/"), names exact as platform/filenames.h carries them. Nothing here touches the
// disk, so string work alone never loses a name that is not valid text.

// Absolute and clean; a relative path counts from the current folder (the one lookup of the
// system here). Symlinks stay as given, so a folder opened through a link keeps the link in its
// path. Empty stays empty.
QString cleanFolderPath(const QString &path);

// True when `path` is `root` or lies below it, whole path components only ("/media/usb" holds
// "/media/usb/x" but not "/media/usb2"). Both clean.
bool pathLiesOn(const QString &path, const QString &root);

QString joinFolderPath(const QString &folder, const QString &name);

// The root of the file system tree a clean path lies in: "/", "C:/" or "//server/share".
QString fileSystemRootOf(const QString &cleanPath);
