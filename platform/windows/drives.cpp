#include "platform/drives.h"

#include <QDir>
#include <QFileInfo>

// Drive letters come from the system's drive mask; no drive is asked for its medium.
QList<Drive> systemDrives()
{
    QList<Drive> drives;
    const QFileInfoList roots = QDir::drives();
    for (const QFileInfo &root : roots) {
        const QString path = root.absoluteFilePath();
        drives.append(Drive{path, QDir::toNativeSeparators(path)});
    }
    return drives;
}
