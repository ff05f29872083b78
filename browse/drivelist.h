// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "browse/driveprovider.h"

#include <QComboBox>

#include <memory>

// The drive list `drvlaufwerk`: a drop-down of the provider's drives showing their display
// names. Its text, drive(), is the current drive's root path: a folder path the folder list
// also takes as "this drive". Changing the drive, by the user or by setDrive(), raises
// driveChanged() before returning; selecting the drive it already holds raises nothing.
class DriveList : public QComboBox
{
    Q_OBJECT

public:
    // Starts on the drive of the current folder, or the first drive when none holds it.
    explicit DriveList(std::shared_ptr<const DriveProvider> provider, QWidget *parent = nullptr);

    // The current drive's root path ("/", "/media/usb", "C:/"); empty while there is no drive.
    QString drive() const;

    // Selects the drive that `anyPath` lies on (longest root prefix, no disk access). A path on
    // none of the drives leaves the selection as it is.
    void setDrive(const QString &anyPath);

    // Shows the drive that `anyPath` lies on, as the folder list shows a path opened elsewhere
    // (a start argument, a drop): the list follows and raises nothing. A drive not listed yet
    // (mapped since the list was filled) is asked of the provider first.
    void followPath(const QString &anyPath);

    // Asks the provider again, keeping the current drive selected (and listed even if it has
    // gone, so that nothing changes under the user). Runs each time the list drops down.
    void reloadDrives();

Q_SIGNALS:
    void driveChanged();

protected:
    void showPopup() override;

private:
    void fill(const QList<Drive> &drives);
    void onCurrentIndexChanged();

    std::shared_ptr<const DriveProvider> m_provider;
    bool m_reloading = false;
};
