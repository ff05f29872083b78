// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

class FileList;
class FolderList;

// Shows a folder or file the user named, on the command line or by dropping it on the window:
// a folder in the folder list; a file's folder, with the file chosen in the file list as a
// click would choose it (which enables Save). Returns why it cannot be shown, in German
// paragraphs, or nothing when it is shown. The path is taken as the companion takes its
// arguments (typedPath(): on Windows "\\\\?\\" as it is, "\\\\.\\" and typed paths as Windows
// normalises them, a device name refused). A file the file list would not show (no
// "*_sp*.cfg" name, no regular file) is explained; a name is used as its exact bytes.
QStringList openInLists(const QString &path, FolderList &Dirverzeichnis, FileList &Fildatei);

// Where the window starts without an argument: the program's folder when it holds a strength
// file (the program kept beside the files it edits), otherwise the user's own folder (a
// package's /usr/bin or an installer's folder never holds one). Each is empty when unknown.
QString startFolder(const QString &programFolder, const QString &userFolder);
