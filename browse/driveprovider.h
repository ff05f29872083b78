// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/drives.h"

#include <memory>

// Where the drive list and the folder list get the drives from; tests hand in their own.
class DriveProvider
{
public:
    virtual ~DriveProvider() = default;

    // Must stay cheap and must not wait on any drive: it runs on every drive or folder change.
    virtual QList<Drive> drives() const = 0;
};

// The drives of this system, as platform/drives.h finds them: mounted volumes on Linux, drive
// letters on Windows.
std::shared_ptr<DriveProvider> createSystemDriveProvider();

// The drive whose root holds the path, the longest matching root winning (a volume mounted at
// "/media/usb" takes its paths away from "/"); -1 when none does. No disk access.
qsizetype driveIndexForPath(const QList<Drive> &drives, const QString &path);
