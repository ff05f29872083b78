// SPDX-License-Identifier: GPL-3.0-or-later
#include "mountguard.h"

#include "savetesthelpers.h"

#include <utility>

using namespace Qt::StringLiterals;

MountGuard::MountGuard(QString target) : m_target(std::move(target)) {}

MountGuard::~MountGuard()
{
    if (m_mounted && !unmount())
        run(u"umount"_s, {u"-l"_s, m_target});
}

QString MountGuard::mount(const QStringList &arguments)
{
    const CommandResult result = run(u"mount"_s, arguments + QStringList{m_target});
    if (result.exitCode != 0)
        return result.output.isEmpty() ? u"mount failed"_s : result.output;
    m_mounted = true;
    return {};
}

QString MountGuard::remountReadOnly()
{
    const CommandResult result = run(u"mount"_s, {u"-o"_s, u"remount,ro,bind"_s, m_target});
    if (result.exitCode != 0)
        return result.output.isEmpty() ? u"remount failed"_s : result.output;
    return {};
}

bool MountGuard::unmount()
{
    if (m_mounted && run(u"umount"_s, {m_target}).exitCode == 0)
        m_mounted = false;
    return !m_mounted;
}
