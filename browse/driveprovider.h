#pragma once

#include <QList>
#include <QString>

#include <memory>

// A drive as the drive list offers it. The root path is its identity and its text ("/",
// "/media/usb", "C:/", clean as folderpaths.h makes them); the display name is what the user
// reads ("/media/usb (USB-STICK)", "C:\").
struct Drive
{
    QString rootPath;
    QString displayName;
};

// Where the drive list and the folder list get the drives from; tests hand in their own.
class DriveProvider
{
public:
    virtual ~DriveProvider() = default;

    // Must stay cheap and must not wait on any drive: it runs on every drive or folder change.
    virtual QList<Drive> drives() const = 0;
};

// The drives of this system: mounted volumes on Linux, drive letters on Windows.
std::shared_ptr<DriveProvider> createSystemDriveProvider();

// The drive whose root holds the path, the longest matching root winning (a volume mounted at
// "/media/usb" takes its paths away from "/"); -1 when none does. No disk access.
qsizetype driveIndexForPath(const QList<Drive> &drives, const QString &path);
