#include "browse/systemdriveprovider.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_LINUX
#include "browse/mountinfo.h"

#include <QFile>
#include <QHash>
#endif

using namespace Qt::StringLiterals;

namespace {

#ifdef Q_OS_LINUX

// udev writes characters outside [A-Za-z0-9#+-.:=@_] of a label as "\xNN".
QString decodeUdevName(const QString &name)
{
    const QByteArray bytes = QFile::encodeName(name);
    QByteArray decoded;
    decoded.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        bool ok = false;
        const int value = i + 3 < bytes.size() && bytes.at(i) == '\\' && bytes.at(i + 1) == 'x'
                              ? bytes.mid(i + 2, 2).toInt(&ok, 16)
                              : 0;
        if (ok) {
            decoded.append(static_cast<char>(value));
            i += 3;
        } else {
            decoded.append(bytes.at(i));
        }
    }
    return QFile::decodeName(decoded);
}

// Volume labels by device node. The links live in /dev, a local file system, so resolving
// them cannot hang.
QHash<QString, QString> labelsByDevice()
{
    QHash<QString, QString> labels;
    const QDir byLabel(u"/dev/disk/by-label"_s);
    const QFileInfoList links = byLabel.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &link : links) {
        const QString device = link.canonicalFilePath();
        if (!device.isEmpty())
            labels.insert(device, decodeUdevName(link.fileName()));
    }
    return labels;
}

QString nameOfVolume(const MountedVolume &volume, const QHash<QString, QString> &labels)
{
    if (!volume.source.startsWith("/dev/"_L1))
        return volume.source.isEmpty() ? volume.fileSystemType : volume.source;
    const QFileInfo device(volume.source);
    const QString label = labels.value(device.canonicalFilePath());
    return label.isEmpty() ? device.fileName() : label;
}

QList<Drive> systemDrives()
{
    QFile mountInfo(u"/proc/self/mountinfo"_s);
    // Without /proc there is still the root.
    if (!mountInfo.open(QIODevice::ReadOnly))
        return {Drive{u"/"_s, u"/"_s}};
    const QList<MountedVolume> volumes = volumesFromMountInfo(mountInfo.readAll());
    const QHash<QString, QString> labels = labelsByDevice();
    QList<Drive> drives;
    for (const MountedVolume &volume : volumes) {
        drives.append(Drive{volume.mountPoint,
                            u"%1 (%2)"_s.arg(volume.mountPoint, nameOfVolume(volume, labels))});
    }
    return drives;
}

#else

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

#endif

} // namespace

QList<Drive> SystemDriveProvider::drives() const
{
    return systemDrives();
}
