// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// A mount that is undone when the test ends, passed or failed.
class MountGuard
{
public:
    explicit MountGuard(QString target);
    ~MountGuard();
    MountGuard(const MountGuard &) = delete;
    MountGuard &operator=(const MountGuard &) = delete;

    // Empty on success, else why the mount was refused.
    QString mount(const QStringList &arguments);
    // Empty on success, else why the remount was refused.
    QString remountReadOnly();
    bool unmount();

private:
    QString m_target;
    bool m_mounted = false;
};
