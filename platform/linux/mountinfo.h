// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

// A mounted volume worth offering as a drive, read from the text of /proc/self/mountinfo.
// Paths are exact as filenames.h carries names: a mount point with Latin-1 bytes stays openable.
struct MountedVolume
{
    QString mountPoint;
    QString source;         // device ("/dev/sdb1"), share ("server:/export") or pool name
    QString fileSystemType;
};

// The volumes of a mountinfo text that a user would call drives, sorted by mount point:
// `/` always, whatever its type; real and network file systems; no pseudo file systems, no
// snap images, no overlays. A device mounted more than once (bind mounts) appears once, at
// `/` if mounted there, else where its whole file system is mounted, else at the shortest
// mount point. A mount hidden under a later mount at the same place is left out.
// Parsing only: no mount point is touched, so a dead network mount cannot block it.
QList<MountedVolume> volumesFromMountInfo(QByteArrayView mountInfo);

// Undoes the octal escapes ("\040" for a space) that mountinfo uses in paths; the bytes become
// text as fileNameFromSystem makes it.
QString decodeMountInfoField(QByteArrayView field);
