// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives.h"
#include "platform/filenames.h"
#include "platform/linux/mountinfo.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// One line of mountinfo for a mount of the whole file system ("/" as root).
QByteArray line(const QByteArray &device, const QByteArray &mountPoint, const QByteArray &type,
                const QByteArray &source, const QByteArray &root = "/")
{
    static int id = 20;
    ++id;
    return QByteArray::number(id) + " 1 " + device + ' ' + root + ' ' + mountPoint
           + " rw,relatime shared:1 - " + type + ' ' + source + " rw\n";
}

QStringList describe(const QList<MountedVolume> &volumes)
{
    QStringList described;
    for (const MountedVolume &v : volumes)
        described.append(v.mountPoint + u'|' + v.source + u'|' + v.fileSystemType);
    return described;
}

} // namespace

class tst_MountInfo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void volumes_data();
    void volumes();
    void decodesEscapes_data();
    void decodesEscapes();
    void realMountInfoHoldsRoot();
};

void tst_MountInfo::volumes_data()
{
    QTest::addColumn<QByteArray>("mountInfo");
    QTest::addColumn<QStringList>("expected");

    const QByteArray root = line("254:0", "/", "ext4", "/dev/vda");

    QTest::newRow("pseudo file systems left out")
        << root + line("0:20", "/proc", "proc", "proc") + line("0:21", "/sys", "sysfs", "sysfs")
               + line("0:6", "/dev", "devtmpfs", "devtmpfs") + line("0:22", "/dev/shm", "tmpfs", "tmpfs")
               + line("0:23", "/dev/pts", "devpts", "devpts")
               + line("0:28", "/sys/fs/cgroup/cpu", "cgroup", "cgroup")
               + line("0:37", "/sys/fs/cgroup/unified", "cgroup2", "cgroup2")
               + line("0:40", "/dev/mqueue", "mqueue", "mqueue")
               + line("0:41", "/proc/sys/fs/binfmt_misc", "binfmt_misc", "binfmt_misc")
               + line("0:42", "/run/user/1000/gvfs", "fuse.gvfsd-fuse", "gvfsd-fuse")
               + line("0:43", "/var/lib/docker/overlay2/x/merged", "overlay", "overlay")
        << QStringList{u"/|/dev/vda|ext4"_s};
    QTest::newRow("root kept when it is an overlay")
        << line("0:50", "/", "overlay", "overlay") + line("0:51", "/dev", "tmpfs", "tmpfs")
        << QStringList{u"/|overlay|overlay"_s};
    QTest::newRow("snap images left out although they come from a device")
        << root + line("7:3", "/snap/core22/1122", "squashfs", "/dev/loop3")
        << QStringList{u"/|/dev/vda|ext4"_s};
    QTest::newRow("media, home and data volumes kept, sorted by mount point")
        << root + line("8:33", "/media/anna/USB", "vfat", "/dev/sdc1")
               + line("8:2", "/home", "ext4", "/dev/sda2")
               + line("8:17", "/data", "xfs", "/dev/sdb1")
        << QStringList{u"/|/dev/vda|ext4"_s, u"/data|/dev/sdb1|xfs"_s, u"/home|/dev/sda2|ext4"_s,
                       u"/media/anna/USB|/dev/sdc1|vfat"_s};
    QTest::newRow("network shares kept")
        << root + line("0:60", "/mnt/nfs", "nfs4", "server:/export")
               + line("0:61", "/mnt/smb", "cifs", "//server/share")
        << QStringList{u"/|/dev/vda|ext4"_s, u"/mnt/nfs|server:/export|nfs4"_s,
                       u"/mnt/smb|//server/share|cifs"_s};
    QTest::newRow("unknown file system on a device kept")
        << root + line("8:49", "/mnt/old", "someoldfs", "/dev/sdd1")
        << QStringList{u"/|/dev/vda|ext4"_s, u"/mnt/old|/dev/sdd1|someoldfs"_s};
    QTest::newRow("bind mount shown once, at the shorter mount point")
        << root + line("8:17", "/srv/exported/data", "ext4", "/dev/sdb1")
               + line("8:17", "/data", "ext4", "/dev/sdb1")
        << QStringList{u"/|/dev/vda|ext4"_s, u"/data|/dev/sdb1|ext4"_s};
    QTest::newRow("bind mount of a subfolder yields to the whole file system")
        << root + line("8:17", "/media/usb", "ext4", "/dev/sdb1")
               + line("8:17", "/u", "ext4", "/dev/sdb1", "/sub")
        << QStringList{u"/|/dev/vda|ext4"_s, u"/media/usb|/dev/sdb1|ext4"_s};
    QTest::newRow("device of the root shown only at the root")
        << line("254:0", "/srv/chroot", "ext4", "/dev/vda") + root
               + line("254:0", "/var/tmp", "ext4", "/dev/vda", "/var/tmp")
        << QStringList{u"/|/dev/vda|ext4"_s};
    QTest::newRow("escaped space in a mount point decoded")
        << root + line("8:33", "/media/anna/USB\\040STICK", "exfat", "/dev/sdc1")
        << QStringList{u"/|/dev/vda|ext4"_s, u"/media/anna/USB STICK|/dev/sdc1|exfat"_s};
    QTest::newRow("mount hidden by a later mount at the same place left out")
        << root + line("8:17", "/mnt", "ext4", "/dev/sdb1") + line("0:70", "/mnt", "tmpfs", "tmpfs")
        << QStringList{u"/|/dev/vda|ext4"_s};
    QTest::newRow("malformed lines skipped")
        << QByteArray("garbage\n\n21 1 8:1 / /x rw - ext4\n") + root
        << QStringList{u"/|/dev/vda|ext4"_s};
    QTest::newRow("last line without line feed read")
        << root + line("8:17", "/data", "xfs", "/dev/sdb1").chopped(1)
        << QStringList{u"/|/dev/vda|ext4"_s, u"/data|/dev/sdb1|xfs"_s};
}

void tst_MountInfo::volumes()
{
    QFETCH(QByteArray, mountInfo);
    QFETCH(QStringList, expected);
    QCOMPARE(describe(volumesFromMountInfo(mountInfo)), expected);
}

void tst_MountInfo::decodesEscapes_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("space") << QByteArray("/media/a\\040b") << u"/media/a b"_s;
    QTest::newRow("tab and line feed") << QByteArray("/m\\011x\\012y") << u"/m\tx\ny"_s;
    QTest::newRow("backslash") << QByteArray("/m\\134n") << u"/m\\n"_s;
    QTest::newRow("incomplete escape at the end kept") << QByteArray("/m\\04") << u"/m\\04"_s;
    QTest::newRow("non-octal digits kept") << QByteArray("/m\\089") << u"/m\\089"_s;
    QTest::newRow("UTF-8 name") << QByteArray("/media/St\xc3\xa4rke") << u"/media/Stärke"_s;
    QTest::newRow("Latin-1 byte kept exact") << QByteArray("/media/St\xe4rke")
                                             << fileNameFromSystem("/media/St\xe4rke");
    QTest::newRow("escaped Latin-1 byte kept exact") << QByteArray("/m\040\344")
                                                     << fileNameFromSystem("/m \xe4");
}

void tst_MountInfo::decodesEscapes()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, expected);
    QCOMPARE(decodeMountInfoField(field), expected);
}

void tst_MountInfo::realMountInfoHoldsRoot()
{
    QFile file(u"/proc/self/mountinfo"_s);
    if (!file.open(QIODevice::ReadOnly))
        QSKIP("no /proc/self/mountinfo on this system");
    const QList<MountedVolume> volumes = volumesFromMountInfo(file.readAll());
    QVERIFY(std::any_of(volumes.cbegin(), volumes.cend(),
                        [](const MountedVolume &v) { return v.mountPoint == "/"_L1; }));

    const QList<Drive> drives = systemDrives();
    QVERIFY(!drives.isEmpty());
    QCOMPARE(drives.first().rootPath, u"/"_s);
    QVERIFY2(drives.first().displayName.startsWith("/ ("_L1), qPrintable(drives.first().displayName));
    for (const Drive &drive : drives)
        QVERIFY2(!drive.rootPath.startsWith("/proc"_L1) && !drive.rootPath.startsWith("/sys"_L1),
                 qPrintable(drive.rootPath));
}

QTEST_APPLESS_MAIN(tst_MountInfo)
#include "tst_mountinfo.moc"
