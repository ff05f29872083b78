// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/filenames.h"
#include "support/exactfiles.h"
#include "support/removetree.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstring>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

// Small helpers shared by the list tests.

// What the file system offers: on Windows names ignore case, and QFile::link makes a shortcut
// file rather than a symbolic link.
#ifdef Q_OS_WIN
inline constexpr bool CaseSensitiveNames = false;
inline constexpr bool SymbolicLinks = false;
#else
inline constexpr bool CaseSensitiveNames = true;
inline constexpr bool SymbolicLinks = true;
#endif

inline bool createFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}

// The folder's full path, or empty when it could not be made.
inline QString makeFolder(const QTemporaryDir &dir, const QString &relative)
{
    const QString path = dir.filePath(relative);
    return QDir().mkpath(path) ? path : QString();
}

inline QStringList namesOf(const QListWidget &list)
{
    QStringList names;
    for (int i = 0; i < list.count(); ++i)
        names.append(list.item(i)->text());
    return names;
}

// What a list test puts in a folder: each kind of file system object a list may meet.
enum class ObjectKind {
    File, Folder, Fifo, Socket, DeviceNode,
    LinkToFile, LinkToFolder, LinkToFifo, LinkToDevice, DanglingLink,
    HiddenFile, SystemFile, HiddenFolder, SystemFolder // Windows attributes, set by attrib.exe
};
Q_DECLARE_METATYPE(ObjectKind)

// Why this system cannot make such an object (or a name that is not valid text), or nothing.
inline QString cannotMake(ObjectKind kind, const QByteArray &name)
{
#ifdef Q_OS_WIN
    // Windows names are UTF-16 and hold no control characters; FIFOs, sockets, device nodes
    // and symbolic links are not what a user meets there.
    const bool text = QString::fromUtf8(name).toUtf8() == name
        && std::none_of(name.begin(), name.end(), [](char c) { return uchar(c) < 0x20; });
    if (!text)
        return QStringLiteral("no such name on Windows");
    if (kind != ObjectKind::File && kind != ObjectKind::Folder && kind < ObjectKind::HiddenFile)
        return QStringLiteral("no such object on Windows");
#else
    Q_UNUSED(name); // any bytes make a name here
    if (kind == ObjectKind::DeviceNode && ::geteuid() != 0)
        return QStringLiteral("making a device node needs root");
    if (kind >= ObjectKind::HiddenFile)
        return QStringLiteral("no such attribute on Linux");
#endif
    return {};
}

#ifdef Q_OS_WIN

inline bool makeObject(const QString &folder, const QString &, const QByteArray &name,
                       ObjectKind kind)
{
    const QString path = folder + u'/' + QString::fromUtf8(name);
    const bool folderKind = kind == ObjectKind::Folder || kind == ObjectKind::HiddenFolder
        || kind == ObjectKind::SystemFolder;
    if (!(folderKind ? makeExactFolder(path) : writeExactFile(path, "x")))
        return false;
    const QString flag = kind == ObjectKind::SystemFile || kind == ObjectKind::SystemFolder
        ? QStringLiteral("+s")
        : kind >= ObjectKind::HiddenFile                ? QStringLiteral("+h")
                                                        : QString();
    return flag.isEmpty()
        || QProcess::execute(QStringLiteral("attrib"), {flag, QDir::toNativeSeparators(path)}) == 0;
}

#else

inline bool makeSocket(const QByteArray &path)
{
    sockaddr_un address{AF_UNIX, {}};
    if (path.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    return ::close(fd) == 0 && bound;
}

// Makes the object `name` (exact bytes) in `folder`. Links lead into `targets`, a folder apart,
// or to /dev/null. A device node needs root (mknod).
inline bool makeObject(const QString &folder, const QString &targets, const QByteArray &name,
                       ObjectKind kind)
{
    const QByteArray path = systemFileName(folder) + '/' + name;
    const QByteArray target = systemFileName(targets) + "/target";
    const auto makeFile = [](const QByteArray &at) {
        const int fd = ::open(at.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        return fd >= 0 && ::close(fd) == 0;
    };
    const auto linkTo = [&](const QByteArray &to) {
        return ::symlink(to.constData(), path.constData()) == 0;
    };
    switch (kind) {
    case ObjectKind::File: return makeFile(path);
    case ObjectKind::Folder: return ::mkdir(path.constData(), 0755) == 0;
    case ObjectKind::Fifo: return ::mkfifo(path.constData(), 0644) == 0;
    case ObjectKind::Socket: return makeSocket(path);
    case ObjectKind::DeviceNode: return ::mknod(path.constData(), S_IFCHR | 0644, makedev(1, 3)) == 0;
    case ObjectKind::LinkToFile: return makeFile(target) && linkTo(target);
    case ObjectKind::LinkToFolder: return ::mkdir(target.constData(), 0755) == 0 && linkTo(target);
    case ObjectKind::LinkToFifo: return ::mkfifo(target.constData(), 0644) == 0 && linkTo(target);
    case ObjectKind::LinkToDevice: return linkTo("/dev/null");
    case ObjectKind::DanglingLink: return linkTo(target);
    default: return false; // Windows attributes
    }
    return false;
}

#endif

