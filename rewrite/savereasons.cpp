// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/savereasons.h"

#include <cerrno>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Every error a save can meet on opening, reading, writing, syncing or renaming, and the
// companion on writing its output.
constexpr std::pair<int, const char16_t *> Meanings[] = {
    {ENOENT, u"Datei oder Ordner nicht gefunden"},
    {EACCES, u"Zugriff verweigert"},
    {EPERM, u"Vorgang nicht erlaubt"},
    {ENOSPC, u"Kein Speicherplatz mehr auf dem Datenträger"},
    {EPIPE, u"Das Programm, das die Ausgabe liest, hat sie geschlossen"},
    {EROFS, u"Das Dateisystem ist schreibgeschützt"},
    {EFBIG, u"Die Datei ist zu groß"},
    {EIO, u"Ein-/Ausgabefehler beim Zugriff auf den Datenträger"},
    {EISDIR, u"Das ist ein Ordner"},
    {ENOTDIR, u"Ein Teil des Pfades ist kein Ordner"},
    {ENAMETOOLONG, u"Der Name oder der Pfad ist zu lang"},
    {ELOOP, u"Zu viele Ebenen symbolischer Verknüpfungen"},
    {EAGAIN, u"Die Datei ist vorübergehend nicht verfügbar"},
    {EMFILE, u"Das Programm hat zu viele Dateien geöffnet"},
    {ENFILE, u"Im System sind zu viele Dateien geöffnet"},
    {ETXTBSY, u"Die Datei wird gerade als Programm ausgeführt"},
    {EBUSY, u"Die Datei oder das Gerät ist belegt"},
    {EXDEV, u"Die Datei liegt auf einem anderen Datenträger"},
    {EINVAL, u"Das Dateisystem unterstützt diesen Vorgang nicht"},
    {EEXIST, u"An dieser Stelle ist inzwischen etwas anderes angelegt worden"},
    {ENOMEM, u"Nicht genügend Arbeitsspeicher"},
    {EOVERFLOW, u"Die Datei ist für diesen Vorgang zu groß"},
    {ENXIO, u"Das Gerät ist nicht vorhanden"},
    {ENODEV, u"Das Gerät ist nicht vorhanden"},
    {EOPNOTSUPP, u"Das Dateisystem unterstützt diesen Vorgang nicht"},
    {ETIMEDOUT, u"Zeitüberschreitung beim Zugriff auf das Netzlaufwerk"},
    {ENOTCONN, u"Die Verbindung zum Netzlaufwerk besteht nicht"},
    {ECONNRESET, u"Die Verbindung zum Netzlaufwerk wurde unterbrochen"},
#ifdef EDQUOT // not on every system
    {EDQUOT, u"Das Speicherkontingent ist erschöpft"},
#endif
#ifdef ESTALE
    {ESTALE, u"Die Datei auf dem Netzlaufwerk ist nicht mehr gültig"},
#endif
};

QString meaningOf(const SystemError &error)
{
    for (const auto &[known, meaning] : Meanings) {
        if (known == error.number)
            return QString::fromUtf16(meaning);
    }
    return u"Fehler Nummer %1"_s.arg(error.systemNumber != 0 ? error.systemNumber : error.number);
}

} // namespace

QString germanReason(const SystemError &error)
{
    // A sharing violation says more than its number's "belegt": another program has it open.
    const QString meaning = error.transience == SystemError::Transience::InUse
        ? u"Ein anderes Programm verwendet die Datei"_s
        : meaningOf(error);
    return error.words.isEmpty() ? meaning : meaning + " ("_L1 + error.words + u')';
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
