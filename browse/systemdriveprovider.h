#pragma once

#include "browse/driveprovider.h"

// The drives of the running system, chosen when compiling: on Linux the volumes of
// /proc/self/mountinfo (see mountinfo.h) named by label or device, on Windows the drive
// letters. It never asks a mounted volume anything, so a dead network mount cannot freeze the
// window (QStorageInfo::mountedVolumes() stats every mount).
class SystemDriveProvider final : public DriveProvider
{
public:
    QList<Drive> drives() const override;
};
