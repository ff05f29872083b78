// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/paths.h"

#include "platform/filenames.h"
#include "platform/folders.h"

#include <QDir>

using namespace Qt::StringLiterals;

FolderAndName splitPath(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return {u"."_s, path};
    const QString root = rootOf(path);
    const QString folder = path.left(slash);
    return {folder.size() < root.size() ? root : folder, path.sliced(slash + 1)};
}

QString joinPath(const QString &folder, const QString &name)
{
    if (folder == u'.')
        return name;
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QString rootOf(const QString &path)
{
    // A network share: server and share name together form the root. Without both, a doubled
    // "/" is the root's own one and another added after it.
    if (const qsizetype shareStart = path.indexOf(u'/', 2);
        path.startsWith("//"_L1) && shareStart > 2 && shareStart + 1 < path.size()) {
        const qsizetype shareEnd = path.indexOf(u'/', shareStart + 1);
        return shareEnd < 0 ? path : path.left(shareEnd);
    }
    if (path.size() >= 2 && path.at(1) == u':' && (path.size() == 2 || path.at(2) == u'/'))
        return path.left(2) + u'/';
    return path.startsWith(u'/') ? u"/"_s : QString();
}

QString cleanFolderPath(const QString &path)
{
    if (path.isEmpty())
        return {};
    return QDir::cleanPath(absolutePath(QDir::fromNativeSeparators(path)));
}

bool pathLiesOn(const QString &path, const QString &root)
{
    if (!path.startsWith(root, FileNameCase))
        return false;
    return path.size() == root.size() || root.endsWith(u'/') || path.at(root.size()) == u'/';
}

QString shownPath(const QString &path)
{
    return readableFileName(QDir::toNativeSeparators(path));
}
