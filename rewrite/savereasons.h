// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/savefailure.h"

#include <QString>

// The German words for a failed system call, chosen by its error number, as one ended sentence:
// "Auf dem Datenträger ist kein Speicherplatz mehr frei." An error without German words is
// named by its number.
QString germanReason(const SystemError &error);

// What a file system object is, as the messages name it: "ein Ordner", "eine Pipe (FIFO)".
QString germanFileType(FileType type);
