#include "rewrite/fileaccess.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

#ifdef Q_OS_UNIX

namespace {

QString systemReason(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

} // namespace

// Qt only says "not writable"; the system knows whether it is the file or its file system.
QString notWritableReason(const QString &path)
{
    if (::access(QFile::encodeName(path).constData(), W_OK) != 0 && errno != EACCES
        && errno != EPERM)
        return systemReason(errno);
    return u"Die Datei ist schreibgeschützt."_s;
}

// Device and inode, so that another path to the same file (a bind mount, a hard link) counts.
bool isSameFile(const QString &path, const QFileDevice &file)
{
    struct stat atPath{};
    struct stat opened{};
    return ::stat(QFile::encodeName(path).constData(), &atPath) == 0
        && ::fstat(file.handle(), &opened) == 0 && atPath.st_dev == opened.st_dev
        && atPath.st_ino == opened.st_ino;
}

QString syncToDisk(const QFileDevice &file)
{
    if (::fsync(file.handle()) == 0)
        return {};
    return systemReason(errno);
}

#else

QString notWritableReason(const QString &)
{
    return u"Die Datei ist schreibgeschützt."_s;
}

bool isSameFile(const QString &path, const QFileDevice &file)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    return !target.isEmpty() && target == QFileInfo(file.fileName()).canonicalFilePath();
}

// Qt's own sync on commit is all there is here.
QString syncToDisk(const QFileDevice &)
{
    return {};
}

#endif

QString withGermanMeaning(const QString &systemReason)
{
    // Qt words file errors with strerror, so matching its text finds the error number.
    static const std::pair<int, const char16_t *> Meanings[] = {
        {ENOENT, u"Datei oder Ordner nicht gefunden"},
        {EACCES, u"Zugriff verweigert"},
        {EPERM, u"Vorgang nicht erlaubt"},
        {ENOSPC, u"Kein Speicherplatz mehr auf dem Datenträger"},
        {EROFS, u"Das Dateisystem ist schreibgeschützt"},
        {EFBIG, u"Die Datei ist zu groß"},
        {EIO, u"Ein-/Ausgabefehler beim Zugriff auf den Datenträger"},
        {EISDIR, u"Das ist ein Ordner"},
        {ENOTDIR, u"Ein Teil des Pfades ist kein Ordner"},
        {ENAMETOOLONG, u"Der Name ist zu lang"},
        {ELOOP, u"Zu viele Ebenen symbolischer Verknüpfungen"},
#ifdef EDQUOT
        {EDQUOT, u"Das Speicherkontingent ist erschöpft"},
#endif
    };
    for (const auto &[errorNumber, meaning] : Meanings) {
        if (systemReason == QString::fromLocal8Bit(std::strerror(errorNumber)))
            return QString::fromUtf16(meaning) + " ("_L1 + systemReason + u')';
    }
    return systemReason;
}
