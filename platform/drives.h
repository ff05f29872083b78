// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drives this system offers. Linux side: the volumes of /proc/self/mountinfo; Windows
// side: the drive letters.

#include <QList>
#include <QString>

// A drive as the drive list offers it. The root path is its identity and its text ("/",
// "/media/usb", "C:/"), exact as filenames.h carries names; the display name is what the user
// reads ("/media/usb (USB-STICK)", "C:\").
struct Drive
{
    QString rootPath;
    QString displayName;
};

// The drives of the running system. Never asks a mounted volume anything, so a dead network
// mount cannot freeze the window (QStorageInfo::mountedVolumes() stats every mount).
QList<Drive> systemDrives();
