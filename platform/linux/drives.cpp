// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives.h"

#include "platform/filenames.h"
#include "platform/linux/mountinfo.h"

#include <QFile>
#include <QHash>

#include <climits>
#include <cstdlib>
#include <memory>

#include <dirent.h>

using namespace Qt::StringLiterals;

namespace {

// udev writes characters outside [A-Za-z0-9#+-.:=@_] of a label as "\xNN".
QByteArray decodeUdevName(QByteArrayView name)
{
    QByteArray decoded;
    decoded.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        bool ok = false;
        const int value = i + 3 < name.size() && name.at(i) == '\\' && name.at(i + 1) == 'x'
                              ? name.sliced(i + 2, 2).toInt(&ok, 16)
                              : 0;
        if (ok) {
            decoded.append(static_cast<char>(value));
            i += 3;
        } else {
            decoded.append(name.at(i));
        }
    }
    return decoded;
}

// Where a link in /dev leads, as bytes; empty when it leads nowhere.
QByteArray resolvedPath(const QByteArray &path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.constData(), resolved) ? QByteArray(resolved) : QByteArray();
}

struct DirCloser
{
    void operator()(DIR *dir) const { ::closedir(dir); }
};

// Volume labels, readable, by device node. The links live in /dev, a local file system, so
// resolving them cannot hang.
QHash<QByteArray, QString> labelsByDevice()
{
    QHash<QByteArray, QString> labels;
    const QByteArray folder = "/dev/disk/by-label/";
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.constData()));
    if (!dir)
        return labels;
    while (const dirent *entry = ::readdir(dir.get())) {
        if (entry->d_name[0] == '.')
            continue;
        const QByteArray device = resolvedPath(folder + entry->d_name);
        if (!device.isEmpty())
            labels.insert(device, readableFileName(fileNameFromSystem(decodeUdevName(entry->d_name))));
    }
    return labels;
}

QString nameOfVolume(const MountedVolume &volume, const QHash<QByteArray, QString> &labels)
{
    if (!volume.source.startsWith("/dev/"_L1))
        return readableFileName(volume.source.isEmpty() ? volume.fileSystemType : volume.source);
    const QString label = labels.value(resolvedPath(systemFileName(volume.source)));
    return label.isEmpty() ? readableFileName(volume.source.section(u'/', -1)) : label;
}

} // namespace

QList<Drive> systemDrives()
{
    QFile mountInfo(u"/proc/self/mountinfo"_s);
    // Without /proc there is still the root.
    if (!mountInfo.open(QIODevice::ReadOnly))
        return {Drive{u"/"_s, u"/"_s}};
    const QList<MountedVolume> volumes = volumesFromMountInfo(mountInfo.readAll());
    const QHash<QByteArray, QString> labels = labelsByDevice();
    QList<Drive> drives;
    for (const MountedVolume &volume : volumes) {
        drives.append(Drive{volume.mountPoint, u"%1 (%2)"_s.arg(readableFileName(volume.mountPoint),
                                                                 nameOfVolume(volume, labels))});
    }
    return drives;
}
