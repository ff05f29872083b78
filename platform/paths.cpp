// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/paths.h"

using namespace Qt::StringLiterals;

FolderAndName splitPath(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return {u"."_s, path};
    return {slash == 0 ? u"/"_s : path.left(slash), path.sliced(slash + 1)};
}

QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}
