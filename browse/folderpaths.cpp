// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/folderpaths.h"

#include <QDir>

using namespace Qt::StringLiterals;

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

QString joinFolderPath(const QString &folder, const QString &name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QString fileSystemRootOf(const QString &cleanPath)
{
    if (cleanPath.startsWith("//"_L1)) {
        // A network share: server and share name together form the root.
        const qsizetype shareStart = cleanPath.indexOf(u'/', 2);
        if (shareStart < 0)
            return cleanPath;
        const qsizetype shareEnd = cleanPath.indexOf(u'/', shareStart + 1);
        return shareEnd < 0 ? cleanPath : cleanPath.left(shareEnd);
    }
    if (cleanPath.size() >= 2 && cleanPath.at(1) == u':')
        return cleanPath.left(2) + u'/';
    return u"/"_s;
}
