// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/driveprovider.h"

#include "platform/paths.h"

namespace {

class SystemDriveProvider final : public DriveProvider
{
public:
    QList<Drive> drives() const override { return systemDrives(); }
};

} // namespace

std::shared_ptr<DriveProvider> createSystemDriveProvider()
{
    return std::make_shared<SystemDriveProvider>();
}

qsizetype driveIndexForPath(const QList<Drive> &drives, const QString &path)
{
    const QString cleanPath = cleanFolderPath(path);
    qsizetype best = -1;
    for (qsizetype i = 0; i < drives.size(); ++i) {
        const QString root = cleanFolderPath(drives.at(i).rootPath);
        if (root.isEmpty() || !pathLiesOn(cleanPath, root))
            continue;
        if (best < 0 || root.size() > cleanFolderPath(drives.at(best).rootPath).size())
            best = i;
    }
    return best;
}
