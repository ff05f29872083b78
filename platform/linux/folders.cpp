// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/folders.h"

#include "platform/filenames.h"
#include "platform/linux/systemcalls.h"
#include "platform/namematching.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>
#include <climits>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

const Qt::CaseSensitivity FileNameCase = Qt::CaseSensitive;

namespace {

enum class EntryKind { File, Folder, Other };

bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// d_type settles plain entries without a system call per entry, which keeps a folder of
// 100,000 files quick. Only links, and file systems that leave d_type unknown, cost a stat,
// which follows the link: where it leads decides, and a dangling link is neither.
EntryKind kindOf(int folderFd, const dirent &entry)
{
    switch (entry.d_type) {
    case DT_REG:
        return EntryKind::File;
    case DT_DIR:
        return EntryKind::Folder;
    case DT_LNK:
    case DT_UNKNOWN:
        break;
    default:
        return EntryKind::Other; // FIFO, device, socket
    }
    struct stat target;
    if (::fstatat(folderFd, entry.d_name, &target, 0) != 0)
        return EntryKind::Other;
    if (S_ISREG(target.st_mode))
        return EntryKind::File;
    return S_ISDIR(target.st_mode) ? EntryKind::Folder : EntryKind::Other;
}

struct DirCloser
{
    void operator()(DIR *dir) const { ::closedir(dir); }
};

} // namespace

FolderEntries readFolder(const QString &folder, QStringView filePattern)
{
    if (folder.isEmpty())
        return {makeSystemError(ENOENT), {}, {}};
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(systemFileName(folder).constData()));
    if (!dir)
        return {lastSystemError(), {}, {}};
    const int folderFd = ::dirfd(dir.get());
    const bool everyFile = filePattern == u"*";
    const NamePattern wanted(filePattern);
    QString name; // each file's, in storage reused until one is kept
    FolderEntries entries;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir.get());
        if (!entry)
            break;
        if (isDotOrDotDot(entry->d_name))
            continue;
        const EntryKind kind = kindOf(folderFd, *entry);
        if (kind == EntryKind::Folder) {
            entries.folders.append(fileNameFromSystem(entry->d_name));
        } else if (kind == EntryKind::File && everyFile) {
            entries.files.append(fileNameFromSystem(entry->d_name));
        } else if (kind == EntryKind::File) {
            // Looked at in reused storage: only a match gets a string of its own.
            fileNameFromSystem(entry->d_name, name);
            if (wanted.matches(name))
                entries.files.append(QString(name.constData(), name.size()));
        }
    }
    if (errno != 0)
        return {lastSystemError(), {}, {}};
    return entries;
}

PathFacts lookAt(const QString &path)
{
    struct stat found{};
    if (::stat(systemFileName(path).constData(), &found) != 0)
        return {lastSystemError(), false, 0, {}, 0};
    const QString identity =
        QString::number(quint64(found.st_dev)) + u':' + QString::number(quint64(found.st_ino));
    const qint64 modified = qint64(found.st_mtim.tv_sec) * 1'000'000'000 + found.st_mtim.tv_nsec;
    return {{}, S_ISDIR(found.st_mode), qint64(found.st_size), identity, modified};
}

QString currentFolder()
{
    for (size_t size = PATH_MAX;; size *= 2) {
        const std::unique_ptr<char[]> buffer(new char[size]);
        if (::getcwd(buffer.get(), size))
            return fileNameFromSystem(buffer.get());
        if (errno != ERANGE)
            return {};
    }
}

QString absolutePath(const QString &path)
{
    return path.startsWith(u'/') ? path : currentFolder() + u'/' + path;
}

TypedPath typedPath(const QString &typed)
{
    return {typed, false};
}

// $HOME with its exact bytes, as every program takes it; the password database where it is
// unset.
QString userFilesFolder()
{
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty()) {
        if (const passwd *entry = ::getpwuid(::getuid()))
            home = entry->pw_dir;
    }
    return home.isEmpty() ? QString() : fileNameFromSystem(home);
}

QString programFolder()
{
    // The kernel's link names the program file with its exact bytes, links resolved.
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length > 0 && length < static_cast<ssize_t>(sizeof buffer)) {
        const QByteArrayView path(buffer, length);
        const qsizetype slash = path.lastIndexOf('/');
        if (slash == 0)
            return QStringLiteral("/");
        if (slash > 0)
            return fileNameFromSystem(path.first(slash));
    }
    // Systems without /proc: Qt's answer, right for every name that is valid text.
    return QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath();
}

// Qt's own local file decodes the escapes as UTF-8, which turns a Latin-1 byte into "�".
QString localPathOfUrl(const QUrl &url)
{
    if (!url.isLocalFile())
        return {};
    const QByteArray escaped = url.path(QUrl::FullyEncoded).toLatin1();
    return fileNameFromSystem(QByteArray::fromPercentEncoding(escaped));
}
