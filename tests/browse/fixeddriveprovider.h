// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "browse/driveprovider.h"

#include <QDir>

// Drives that are plain folders (or folders that are gone), so the tests pick the drives.
class FixedDriveProvider final : public DriveProvider
{
public:
    explicit FixedDriveProvider(QList<Drive> drives = {}) : m_drives(std::move(drives)) {}

    QList<Drive> drives() const override { return m_drives; }
    void setDrives(QList<Drive> drives) { m_drives = std::move(drives); }

    // A drive named after its folder, "Laufwerk <folder name>".
    static Drive driveAt(const QString &root)
    {
        return Drive{root, QStringLiteral("Laufwerk ") + QDir(root).dirName()};
    }

private:
    QList<Drive> m_drives;
};
