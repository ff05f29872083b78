#include "browse/folderpaths.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <QFile>
#include <dirent.h>
#endif

using namespace Qt::StringLiterals;

QString cleanFolderPath(const QString &path)
{
    if (path.isEmpty())
        return {};
    return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
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

void sortByName(QStringList &names)
{
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int order = QString::compare(a, b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
    });
}

int folderReadError(const QString &folder)
{
    if (folder.isEmpty())
        return ENOENT;
#ifdef Q_OS_UNIX
    // opendir says exactly why a folder cannot be listed, which QDir does not.
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return errno > 0 ? errno : EIO;
    ::closedir(dir);
    return 0;
#else
    const QFileInfo info(folder);
    if (!info.exists())
        return ENOENT;
    if (!info.isDir())
        return ENOTDIR;
    if (!QDir(folder).isReadable())
        return EACCES;
    return 0;
#endif
}
