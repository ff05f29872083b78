// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rewrite/savefailure.h"

#include <QString>

// The German words for a failed system call, chosen by its error number, with the system's own
// words after them in brackets when it has any: "Kein Speicherplatz mehr auf dem Datenträger
// (No space left on device)".
QString germanReason(const SystemError &error);

// What a file system object is, as the messages name it: "ein Ordner", "eine Pipe (FIFO)".
QString germanFileType(FileType type);
