// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/savereasons.h"

#include <cerrno>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Every error a save can meet on opening, reading, writing, syncing or renaming, and the
// companion on writing its output.
constexpr std::pair<int, const char16_t *> Meanings[] = {
    {ENOENT, u"Datei oder Ordner wurde nicht gefunden."},
    {EACCES, u"Der Zugriff wurde verweigert."},
    {EPERM, u"Der Vorgang ist nicht erlaubt."},
    {ENOSPC, u"Auf dem Datenträger ist kein Speicherplatz mehr frei."},
    {EPIPE, u"Das Programm, das die Ausgabe liest, hat sie geschlossen."},
    {EROFS, u"Das Dateisystem ist schreibgeschützt."},
    {EFBIG, u"Die Datei ist zu groß."},
    {EIO, u"Beim Zugriff auf den Datenträger ist ein Ein-/Ausgabefehler aufgetreten."},
    {EISDIR, u"Das ist ein Ordner."},
    {ENOTDIR, u"Ein Teil des Pfades ist kein Ordner."},
    {ENAMETOOLONG, u"Der Name oder der Pfad ist zu lang."},
    {ELOOP, u"Der Pfad führt über zu viele Ebenen symbolischer Verknüpfungen."},
    {EAGAIN, u"Die Datei ist vorübergehend nicht verfügbar."},
    {EMFILE, u"Das Programm hat zu viele Dateien geöffnet."},
    {ENFILE, u"Im System sind zu viele Dateien geöffnet."},
    {ETXTBSY, u"Die Datei wird gerade als Programm ausgeführt."},
    {EBUSY, u"Die Datei oder das Gerät ist belegt."},
    {EXDEV, u"Die Datei liegt auf einem anderen Datenträger."},
    {EINVAL, u"Das Dateisystem unterstützt diesen Vorgang nicht."},
    {EEXIST, u"An dieser Stelle ist inzwischen etwas anderes angelegt worden."},
    {ENOMEM, u"Der Arbeitsspeicher reicht nicht aus."},
    {EOVERFLOW, u"Die Datei ist für diesen Vorgang zu groß."},
    {ENXIO, u"Das Gerät ist nicht vorhanden."},
    {ENODEV, u"Das Gerät ist nicht vorhanden."},
    {EOPNOTSUPP, u"Das Dateisystem unterstützt diesen Vorgang nicht."},
    {ETIMEDOUT, u"Beim Zugriff auf das Netzlaufwerk ist die Zeit abgelaufen."},
    {ENOTCONN, u"Die Verbindung zum Netzlaufwerk besteht nicht."},
    {ECONNRESET, u"Die Verbindung zum Netzlaufwerk wurde unterbrochen."},
#ifdef EDQUOT // not on every system
    {EDQUOT, u"Das Speicherkontingent ist erschöpft."},
#endif
#ifdef ESTALE
    {ESTALE, u"Die Datei auf dem Netzlaufwerk ist nicht mehr gültig."},
#endif
};

QString meaningOf(const SystemError &error)
{
    for (const auto &[known, meaning] : Meanings) {
        if (known == error.number)
            return QString::fromUtf16(meaning);
    }
    return u"Das System meldet Fehler Nummer %1."_s.arg(
        error.systemNumber != 0 ? error.systemNumber : error.number);
}

} // namespace

QString germanReason(const SystemError &error)
{
    // A sharing violation says more than its number's "belegt": another program has it open.
    if (error.transience == SystemError::Transience::InUse)
        return u"Ein anderes Programm verwendet die Datei."_s;
    return meaningOf(error);
}

QString germanFileType(FileType type)
{
    switch (type) {
    case FileType::Missing:
        return u"nichts"_s;
    case FileType::Regular:
        return u"eine Datei"_s;
    case FileType::Folder:
        return u"ein Ordner"_s;
    case FileType::Fifo:
        return u"eine Pipe (FIFO)"_s;
    case FileType::Socket:
        return u"ein Socket"_s;
    case FileType::CharacterDevice:
    case FileType::BlockDevice:
        return u"ein Gerät"_s;
    case FileType::Other:
        break;
    }
    return u"ein besonderer Eintrag des Dateisystems"_s;
}
