#pragma once

#include <QString>

class QFileDevice;

// The few file system questions the save has that Qt leaves unanswered, asked of the system.

// Why the existing file at `path` cannot be written, in words for the user.
QString notWritableReason(const QString &path);

// True when `path`, its symbolic links followed, is the very file open in `file`.
bool isSameFile(const QString &path, const QFileDevice &file);

// Forces what was written to `file` onto the disk. Empty when done, else the system's reason.
// QSaveFile syncs on commit too, but ignores a failure there.
QString syncToDisk(const QFileDevice &file);

// The system's reason for a failed file operation with its German meaning in front, for the
// common cases ("Kein Speicherplatz mehr auf dem Datenträger (No space left on device)");
// any other text as it is.
QString withGermanMeaning(const QString &systemReason);
