// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/folders.h"

#include "platform/filenames.h"
#include "platform/linux/pathwalk.h"
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

// A refusal only a privileged process meets means something: one that cannot take on another
// user's identity sees through another user's link no more than it may see anyway.
bool refuses(std::optional<Refusal> refusal)
{
    return refusal && *refusal != Refusal::ForeignLinkUnjudged;
}

EntryKind kindOfFound(const struct stat &found)
{
    if (S_ISREG(found.st_mode))
        return EntryKind::File;
    return S_ISDIR(found.st_mode) ? EntryKind::Folder : EntryKind::Other;
}

// d_type settles plain entries without a system call per entry, which keeps a folder of
// 100,000 files quick. Only links, and file systems that leave d_type unknown, cost more: where
// a link leads decides, and a dangling link is neither. Root follows a link as the save does
// (pathwalk.h), another user's only where that user could go; any other user sees through a
// link only what that user may see anyway, and the kernel's own stat is enough.
EntryKind kindOf(const Walk &folder, const dirent &entry)
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
    struct stat target{};
    if (::geteuid() != 0)
        return ::fstatat(folder.folder.get(), entry.d_name, &target, 0) == 0
            ? kindOfFound(target)
            : EntryKind::Other;
    const Followed f =
        follow(startWalk(folder.folder.get(), folder.foreignLinkOwners), entry.d_name);
    if (f.walk.failed() || !f.exists)
        return EntryKind::Other;
    const EntryKind kind = kindOfFound(f.found);
    if (kind != EntryKind::Other && !f.walk.foreignLinkOwners.isEmpty()) {
        const FileDescriptor found(
            ::openat(f.walk.folder.get(), f.name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        const int access = kind == EntryKind::Folder ? X_OK : R_OK;
        if (!found.isOpen() || refuses(f.beyondItsOwners(found.get(), access)))
            return EntryKind::Other;
    }
    return kind;
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
    Walk walk;
    walk.folder = FileDescriptor(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    walkPath(walk, systemFileName(folder));
    if (walk.error.failed())
        return {walk.error, {}, {}};
    // Another user's link leads no further than that user could go, listing included.
    if (walk.refusal != Refusal::None
        || refuses(walk.beyondItsOwners(walk.folder.get(), R_OK | X_OK)))
        return {makeSystemError(EACCES), {}, {}};
    const int listed = ::openat(walk.folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::unique_ptr<DIR, DirCloser> dir(listed >= 0 ? ::fdopendir(listed) : nullptr);
    if (!dir) {
        const SystemError error = lastSystemError();
        if (listed >= 0)
            ::close(listed);
        return {error, {}, {}};
    }
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
        const EntryKind kind = kindOf(walk, *entry);
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
