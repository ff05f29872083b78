// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/filejobs.h"

#include <QList>
#include <QStringList>

// The files the arguments name, in their order: a file as given, with "./" before a bare name
// (the save reaches it through its folder, and every message names it as the save does, as
// it names the files of the folder "."); a folder as its regular files
// matching "*_sp*.cfg" ignoring case, sorted as the file list shows them, and with `recursive`
// then each of its subfolders in the same way. Links are followed; a folder reached a second
// time (through a link, or named twice) is not read again, and a file named twice is taken
// once, so that no two saves race for one ".new". A folder that cannot be read, or holds no
// strength file, gives a settled job in its place.
QList<FileJob> gatherFiles(const QStringList &paths, bool recursive);
