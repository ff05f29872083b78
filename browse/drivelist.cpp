// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/drivelist.h"

#include "platform/folders.h"
#include "platform/paths.h"

#include <algorithm>

namespace {

QList<Drive> drivesOfList(const QComboBox &list)
{
    QList<Drive> drives;
    for (int i = 0; i < list.count(); ++i)
        drives.append(Drive{list.itemData(i).toString(), list.itemText(i)});
    return drives;
}

} // namespace

DriveList::DriveList(std::shared_ptr<const DriveProvider> provider, QWidget *parent)
    : QComboBox(parent), m_provider(std::move(provider))
{
    fill(m_provider->drives());
    const auto start = driveIndexForPath(drivesOfList(*this), currentFolder());
    setCurrentIndex(start >= 0 ? static_cast<int>(start) : 0);
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::onCurrentIndexChanged);
}

QString DriveList::drive() const
{
    return currentIndex() >= 0 ? currentData().toString() : QString();
}

void DriveList::setDrive(const QString &anyPath)
{
    const auto index = driveIndexForPath(drivesOfList(*this), anyPath);
    if (index >= 0)
        setCurrentIndex(static_cast<int>(index)); // raises nothing when it is already current
}

void DriveList::followPath(const QString &anyPath)
{
    if (driveIndexForPath(drivesOfList(*this), anyPath) < 0)
        reloadDrives();
    const auto index = driveIndexForPath(drivesOfList(*this), anyPath);
    if (index < 0 || index == currentIndex())
        return;
    m_reloading = true;
    setCurrentIndex(static_cast<int>(index));
    m_reloading = false;
}

void DriveList::reloadDrives()
{
    const Drive current{drive(), currentText()};
    QList<Drive> drives = m_provider->drives();
    const auto listed = std::find_if(drives.cbegin(), drives.cend(), [&](const Drive &d) {
        return cleanFolderPath(d.rootPath) == current.rootPath;
    });
    qsizetype index = listed - drives.cbegin();
    // A drive unmounted meanwhile stays listed while it is the current one.
    if (listed == drives.cend() && !current.rootPath.isEmpty())
        drives.append(current);
    else if (listed == drives.cend())
        index = 0;

    m_reloading = true;
    clear();
    fill(drives);
    setCurrentIndex(static_cast<int>(index));
    m_reloading = false;
}

void DriveList::showPopup()
{
    reloadDrives();
    QComboBox::showPopup();
}

void DriveList::fill(const QList<Drive> &drives)
{
    for (const Drive &drive : drives)
        addItem(drive.displayName, cleanFolderPath(drive.rootPath));
}

void DriveList::onCurrentIndexChanged()
{
    if (!m_reloading)
        Q_EMIT driveChanged();
}
