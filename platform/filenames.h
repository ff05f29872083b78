// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The platform seam. In: names and paths as the system holds them. Out: the same names as the
// program's text, exactly, and readable forms of them for the screen. This header is the part
// common to every system; drives.h, folders.h and savefiles.h declare what each system's side
// (linux/ or windows/) provides.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// On Linux a file name is any bytes, and names unpacked from old archives often hold Latin-1
// bytes that are not valid UTF-8. Those bytes travel through the program's text as the
// unpaired surrogates U+DC80..U+DCFF, one per byte (the escape Python uses for the same
// problem), so that every path the lists hand on names the very same file. Valid UTF-8 decodes
// as usual.

// The text form of a name or path the system gave as bytes.
QString fileNameFromSystem(QByteArrayView bytes);
// The same into `text`, whose storage is reused: a plain ASCII name that fits costs no
// allocation, so a folder's names can be looked at before any is kept.
void fileNameFromSystem(QByteArrayView bytes, QString &text);

// The bytes to hand the system for a name or path: the inverse of fileNameFromSystem.
QByteArray systemFileName(QStringView name);

// A name as the user reads it: escaped bytes as their Latin-1 characters, and line breaks and
// other control characters as visible symbols ("␊"), so that a name stays on one line. A name
// that needs none of that comes back as it is (shared, not copied).
QString readableFileName(const QString &name);
