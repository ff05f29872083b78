// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/mountinfo.h"

#include "platform/filenames.h"

#include <QByteArray>
#include <QHash>

#include <algorithm>
#include <optional>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

struct MountRecord
{
    QByteArray device; // "major:minor"
    QString root;      // the part of the device's file system seen at the mount point
    MountedVolume volume;
};

// Kernel and desktop plumbing: never a place where a user keeps files. squashfs and erofs
// come from loop devices (snaps, images), so the "/dev/" rule below would otherwise let them in.
bool isPseudoFileSystem(QByteArrayView type)
{
    static constexpr QByteArrayView Pseudo[] = {
        "proc", "sysfs", "cgroup", "cgroup2", "devpts", "devtmpfs", "tmpfs", "mqueue", "debugfs",
        "tracefs", "securityfs", "pstore", "bpf", "configfs", "fusectl", "hugetlbfs", "autofs",
        "binfmt_misc", "squashfs", "erofs", "overlay", "nsfs", "ramfs", "efivarfs", "rpc_pipefs",
        "selinuxfs", "nfsd", "rootfs", "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs",
        "fuse.snapfuse"};
    return std::find(std::begin(Pseudo), std::end(Pseudo), type) != std::end(Pseudo);
}

// Disk and network file systems whose source need not be a "/dev/" node.
bool isKnownVolumeType(QByteArrayView type)
{
    static constexpr QByteArrayView Volume[] = {
        "ext2", "ext3", "ext4", "xfs", "btrfs", "vfat", "msdos", "exfat", "ntfs", "ntfs3",
        "fuseblk", "iso9660", "udf", "f2fs", "zfs", "jfs", "reiserfs", "hfs", "hfsplus",
        "bcachefs", "nilfs2", "nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "virtiofs", "vboxsf",
        "drvfs", "fuse.sshfs"};
    return std::find(std::begin(Volume), std::end(Volume), type) != std::end(Volume);
}

bool isOctalDigit(char c)
{
    return c >= '0' && c <= '7';
}

bool isDrive(const MountRecord &record)
{
    if (record.volume.mountPoint == "/"_L1)
        return true;
    const QByteArray type = record.volume.fileSystemType.toLatin1();
    if (isPseudoFileSystem(type))
        return false;
    return isKnownVolumeType(type) || record.volume.source.startsWith("/dev/"_L1);
}

// Fields: id, parent id, major:minor, root, mount point, options, optional fields ending
// with "-", then type, source, super options.
std::optional<MountRecord> parseLine(QByteArrayView line)
{
    const QList<QByteArray> fields = line.toByteArray().split(' ');
    if (fields.size() < 10)
        return std::nullopt;
    qsizetype separator = 6;
    while (separator < fields.size() && fields.at(separator) != "-")
        ++separator;
    if (separator + 2 >= fields.size())
        return std::nullopt;
    MountRecord record;
    record.device = fields.at(2);
    record.root = decodeMountInfoField(fields.at(3));
    record.volume.mountPoint = decodeMountInfoField(fields.at(4));
    record.volume.fileSystemType = QString::fromLatin1(fields.at(separator + 1));
    record.volume.source = decodeMountInfoField(fields.at(separator + 2));
    return record;
}

// Which of two mounts of one device to offer: `/` first, then a mount of the whole file
// system, then the shorter mount point; on a tie the earlier.
bool isBetterMountOfDevice(const MountRecord &candidate, const MountRecord &kept)
{
    const auto rank = [](const MountRecord &r) {
        return std::tuple(r.volume.mountPoint != "/"_L1, r.root != "/"_L1,
                          r.volume.mountPoint.size());
    };
    return rank(candidate) < rank(kept);
}

QList<MountRecord> withoutHiddenMounts(const QList<MountRecord> &records)
{
    QHash<QString, qsizetype> lastAt;
    for (qsizetype i = 0; i < records.size(); ++i)
        lastAt.insert(records.at(i).volume.mountPoint, i);
    QList<MountRecord> visible;
    for (qsizetype i = 0; i < records.size(); ++i) {
        if (lastAt.value(records.at(i).volume.mountPoint) == i)
            visible.append(records.at(i));
    }
    return visible;
}

QList<MountRecord> oneMountPerDevice(const QList<MountRecord> &records)
{
    QList<MountRecord> kept;
    QHash<QByteArray, qsizetype> keptIndexOfDevice;
    for (const MountRecord &record : records) {
        const auto found = keptIndexOfDevice.constFind(record.device);
        if (found == keptIndexOfDevice.cend()) {
            keptIndexOfDevice.insert(record.device, kept.size());
            kept.append(record);
        } else if (isBetterMountOfDevice(record, kept.at(*found))) {
            kept[*found] = record;
        }
    }
    return kept;
}

} // namespace

QString decodeMountInfoField(QByteArrayView field)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const bool escaped = field.at(i) == '\\' && i + 3 < field.size()
                             && isOctalDigit(field.at(i + 1)) && isOctalDigit(field.at(i + 2))
                             && isOctalDigit(field.at(i + 3));
        if (escaped) {
            const int value = (field.at(i + 1) - '0') * 64 + (field.at(i + 2) - '0') * 8
                              + (field.at(i + 3) - '0');
            bytes.append(static_cast<char>(value));
            i += 3;
        } else {
            bytes.append(field.at(i));
        }
    }
    return fileNameFromSystem(bytes);
}

QList<MountedVolume> volumesFromMountInfo(QByteArrayView mountInfo)
{
    QList<MountRecord> records;
    qsizetype start = 0;
    while (start < mountInfo.size()) {
        qsizetype end = mountInfo.indexOf('\n', start);
        if (end < 0)
            end = mountInfo.size();
        if (const auto record = parseLine(mountInfo.sliced(start, end - start)))
            records.append(*record);
        start = end + 1;
    }

    // Hidden mounts go first: a tmpfs laid over a disk's mount point hides the disk.
    QList<MountRecord> drives;
    for (const MountRecord &record : withoutHiddenMounts(records)) {
        if (isDrive(record))
            drives.append(record);
    }
    QList<MountedVolume> volumes;
    for (const MountRecord &record : oneMountPerDevice(drives))
        volumes.append(record.volume);
    std::sort(volumes.begin(), volumes.end(), [](const MountedVolume &a, const MountedVolume &b) {
        return a.mountPoint < b.mountPoint;
    });
    return volumes;
}
