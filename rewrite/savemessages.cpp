// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/savemessages.h"

#include "platform/paths.h"
#include "rewrite/linecensus.h"
#include "rewrite/savereasons.h"

#include <QLocale>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

using Step = SaveFailure::Step;

const QString SaveTitle = u"Speichern"_s;

QString cannotRead(const SaveOutcome &outcome)
{
    return u"Die Datei „%1“ konnte nicht gelesen werden."_s.arg(shownPath(outcome.inputPath()));
}

QString cannotWrite(const SaveOutcome &outcome)
{
    return u"Die Datei „%1“ konnte nicht geschrieben werden."_s.arg(
        shownPath(outcome.outputPath()));
}

// The folder where the new file would be made: beside the selected file, or where a link in
// the output's place leads.
QString folderRefusesNewFile(const SaveOutcome &outcome)
{
    if (!outcome.failure.throughLink)
        return u"Im Ordner „%1“ kann keine neue Datei angelegt werden."_s.arg(
            shownPath(outcome.input.folder));
    return u"Die Datei „%1“ ist eine Verknüpfung in den Ordner „%2“, und dort kann keine neue "
           "Datei angelegt werden."_s.arg(shownPath(outcome.outputPath()),
                                           shownPath(outcome.outputFolder));
}

// The window names the file the user selected in its list, the companion the one given to it.
QString chosen(MessagePlace place)
{
    return place == MessagePlace::Window ? u"ausgewählte"_s : u"angegebene"_s;
}

// Why a file was refused, where the words need nothing but the kind of refusal, and for the
// selected file other words where they differ.
struct RefusalWords
{
    Refusal refusal;
    const char16_t *words;
    const char16_t *forInput = nullptr;
};
constexpr RefusalWords Refusals[] = {
    {Refusal::DanglingLink,
     u"Sie ist eine Verknüpfung, deren Ziel fehlt. Eine neue Datei wird nicht dort angelegt, "
     "wohin nur eine Verknüpfung zeigt."},
    {Refusal::ForeignLinkInSharedFolder,
     u"Sie ist eine Verknüpfung, die einem anderen Benutzer gehört, in einem Ordner, in den "
     "alle schreiben dürfen. Solchen Verknüpfungen wird nicht gefolgt.",
     u"Der Weg zu ihr führt über eine Verknüpfung, die einem anderen Benutzer gehört, in einem "
     "Ordner, in den alle schreiben dürfen. Solchen Verknüpfungen wird nicht gefolgt."},
    {Refusal::ForeignLinkBeyondItsOwner,
     u"Der Weg zu ihr führt über eine Verknüpfung eines anderen Benutzers, der dort selbst "
     "nicht schreiben darf. Solchen Verknüpfungen wird nicht gefolgt.",
     u"Der Weg zu ihr führt über eine Verknüpfung eines anderen Benutzers, der sie selbst nicht "
     "lesen darf. Solchen Verknüpfungen wird nicht gefolgt."},
    {Refusal::ForeignLinkUnjudged,
     u"Der Weg zu ihr führt über eine Verknüpfung eines anderen Benutzers, und was dieser "
     "selbst darf, kann nur ein Speichern mit Administratorrechten prüfen. Solchen "
     "Verknüpfungen wird darum nicht gefolgt."},
    {Refusal::ReadOnly,
     u"Die vorhandene Datei ist als schreibgeschützt markiert und wird darum nicht ersetzt."},
    {Refusal::SwappedMeanwhile,
     u"An ihrer Stelle oder auf dem Weg zu ihr wurde inzwischen etwas anderes angelegt."},
    {Refusal::FolderMoved,
     u"Ihr Ordner wurde während des Speicherns umbenannt, verschoben oder ersetzt."},
    {Refusal::NothingWritten,
     u"Der Datenträger hat nichts mehr angenommen und keinen Grund genannt; vermutlich ist er "
     "voll."},
};

QString notRegular(const SaveFailure &failure, bool reading)
{
    if (reading)
        return u"Das ist keine gewöhnliche Datei, sondern %1. Gelesen werden nur gewöhnliche "
               "Dateien."_s.arg(germanFileType(failure.found));
    return (failure.throughLink ? u"Sie ist eine Verknüpfung, und an deren Ziel liegt %1, "
                                  "keine gewöhnliche Datei."_s
                                : u"An ihrer Stelle liegt %1, keine gewöhnliche Datei."_s)
               .arg(germanFileType(failure.found))
        + u" Ersetzt werden nur gewöhnliche Dateien."_s;
}

// Why a step failed: a refusal of the program's own, or the system's error.
QString reason(const SaveFailure &failure, MessagePlace place)
{
    const bool reading = failure.step == Step::OpenInput || failure.step == Step::ReadInput;
    for (const RefusalWords &refused : Refusals) {
        if (refused.refusal == failure.refusal)
            return QString::fromUtf16(reading && refused.forInput ? refused.forInput
                                                                  : refused.words);
    }
    if (failure.refusal == Refusal::LeadsToInput)
        return u"Sie ist die %1 Datei oder eine Verknüpfung auf sie, die dabei ersetzt würde."_s
            .arg(chosen(place));
    if (failure.refusal == Refusal::NotRegular)
        return notRegular(failure, reading);
    if (failure.refusal == Refusal::NotWritable)
        return u"Die vorhandene Datei darf nicht ersetzt werden: "_s
            + germanReason(failure.systemError);
    return germanReason(failure.systemError);
}

QString howInputChanged(const SaveOutcome &outcome)
{
    switch (outcome.failure.change.kind) {
    case InputChange::Shorter:
        return u"Beim Start war sie %1 Bytes groß, zuletzt nur noch %2 Bytes."_s
            .arg(outcome.inputSize)
            .arg(outcome.failure.change.sizeNow);
    case InputChange::Longer:
        return u"Beim Start war sie %1 Bytes groß, beim Lesen war sie länger."_s.arg(
            outcome.inputSize);
    case InputChange::Modified:
        return u"Ihr Inhalt wurde geändert, während sie gelesen wurde."_s;
    case InputChange::Replaced:
    case InputChange::None:
        break;
    }
    return u"An ihrer Stelle liegt jetzt eine andere Datei, oder sie wurde umbenannt oder "
           "gelöscht."_s;
}

// What failed and why.
QStringList failureWords(const SaveOutcome &outcome, MessagePlace place)
{
    const SaveFailure &failure = outcome.failure;
    switch (failure.step) {
    case Step::OpenInput:
    case Step::ReadInput:
        return {cannotRead(outcome), reason(failure, place)};
    case Step::InputChanged:
        return {u"Die Datei „%1“ wurde während des Speicherns verändert."_s.arg(
                    shownPath(outcome.inputPath())),
                howInputChanged(outcome)};
    case Step::OpenOutput:
        if (failure.refusal == Refusal::FolderRefusesNewFile)
            return {folderRefusesNewFile(outcome), germanReason(failure.systemError)};
        return {cannotWrite(outcome), reason(failure, place)};
    case Step::WriteOutput:
        return {cannotWrite(outcome), reason(failure, place)};
    case Step::SyncFolder:
        return {u"Die Datei „%1“ wurde geschrieben, aber ihr Eintrag im Ordner konnte nicht auf "
                "den Datenträger gebracht werden."_s.arg(shownPath(outcome.outputPath())),
                germanReason(failure.systemError)};
    case Step::None:
        break;
    }
    return {};
}

// What a failure left as it was. Only what exists is said to stay: a selected file that could
// not be opened may be missing, and the save looks for an earlier .new only after opening it.
QString whatWasKept(const SaveOutcome &outcome, MessagePlace place)
{
    const Step step = outcome.failure.step;
    const bool earlier = outcome.earlierOutputFound;
    if (step == Step::OpenInput)
        return u"Es wurde nichts geschrieben."_s;
    if (step == Step::SyncFolder)
        return u"Nach einem Stromausfall oder Absturz kann sie fehlen oder die frühere Fassung "
               "zeigen. Speichern Sie erneut, um sicherzugehen."_s;
    if (step == Step::InputChanged)
        return earlier ? u"Das Ergebnis wurde verworfen; die frühere .new-Datei bleibt "
                         "unverändert."_s
                       : u"Das Ergebnis wurde verworfen."_s;
    if (!outcome.earlierOutputKept())
        return u"Die frühere .new-Datei liegt jetzt unter „%1“, die neue Fassung unter „%2“. Die "
               "%3 Datei bleibt unverändert."_s.arg(shownPath(outcome.earlierOutputAt),
                                                    shownPath(outcome.newContentKeptAt),
                                                    chosen(place));
    const QString kept = (earlier ? u"Die %1 Datei und die frühere .new-Datei bleiben "
                                    "unverändert."_s
                                  : u"Die %1 Datei bleibt unverändert, und es ist keine "
                                    ".new-Datei entstanden."_s)
                             .arg(chosen(place));
    if (outcome.newContentKeptAt.isEmpty())
        return kept;
    return kept + u" Die temporäre Datei „%1“ ließ sich nicht entfernen und kann gelöscht "
                  "werden."_s.arg(shownPath(outcome.newContentKeptAt));
}

// "keine Startzeile", "1 Startzeile", "12 Startzeilen"
QString lineCount(qint64 lines, const QString &kind)
{
    if (lines <= 1)
        return (lines == 0 ? u"keine %1zeile"_s : u"1 %1zeile"_s).arg(kind);
    return u"%1 %2zeilen"_s.arg(lines).arg(kind);
}

// "3.5 Sterne" when every line of the kind carries that rating, else "gemischt", or what
// stands for the lack of any; `brief` for the window's line.
QString ratingsOf(const LineKindCensus &kind, bool brief = false)
{
    if (kind.lines == 0)
        return u"keine Zeile"_s;
    const auto &rated = kind.withRating;
    const auto all = std::find(rated.begin(), rated.end(), kind.lines);
    if (all != rated.end())
        return ratingText(int(all - rated.begin()));
    if (std::all_of(rated.begin(), rated.end(), [](qint64 lines) { return lines == 0; }))
        return brief ? u"ungültig"_s : u"keine gültige Bewertung"_s;
    return u"gemischt"_s;
}

// "1.5 Sterne in 2 Zeilen", "keine Zeile".
QString briefKindWords(const LineKindCensus &kind)
{
    const QString rating = ratingsOf(kind, true);
    if (kind.lines == 0)
        return rating;
    const QString lines = kind.lines == 1 ? u"1 Zeile"_s : u"%1 Zeilen"_s.arg(kind.lines);
    return u"%1 in %2"_s.arg(rating, lines);
}

QString megabytes(qint64 bytes)
{
    return QLocale(QLocale::German, QLocale::Germany).toString(double(bytes) / 1e6, 'f', 1);
}

} // namespace

SaveMessage saveMessage(const SaveOutcome &outcome, MessagePlace place)
{
    switch (outcome.end) {
    case SaveOutcome::End::Saved:
        // The window's words are fixed; on a command line they end as a sentence does.
        return {SaveMessage::Icon::Information, SaveTitle,
                {place == MessagePlace::Window ? u"Speichern erfolgreich"_s
                                               : u"Speichern erfolgreich."_s}};
    case SaveOutcome::End::Failed:
        return {SaveMessage::Icon::Warning, SaveTitle,
                failureWords(outcome, place) << whatWasKept(outcome, place)};
    case SaveOutcome::End::Stopped:
        break;
    }
    return {};
}

SaveMessage noFileChosenMessage()
{
    return {SaveMessage::Icon::Warning, SaveTitle,
            {u"Es ist keine Datei ausgewählt. Bitte wählen Sie zuerst eine Datei aus der "
             "Dateiliste."_s}};
}

QStringList readFailureWords(const SaveOutcome &outcome)
{
    // Reading alone meets no refusal that names the selected file.
    return failureWords(outcome, MessagePlace::CommandLine);
}

QStringList folderUnreadableWords(const QString &folder, const SystemError &error)
{
    return {u"Der Ordner „%1“ konnte nicht gelesen werden."_s.arg(shownPath(folder)),
            germanReason(error)};
}

QString fileRatingsText(const CensusResult &result, qint64 bytesRead)
{
    if (result.reading.end == SaveOutcome::End::Failed)
        return readFailureWords(result.reading).join(u' ');
    const LineCensus &found = result.census;
    const QString lines = lineCount(found.start.lines, u"Start"_s) + u" und "_s
        + lineCount(found.maximum.lines, u"Maximal"_s);
    const QString ratings = found.start.lines + found.maximum.lines == 0
        ? QString()
        : u"Startsterne: %1.\nMax.-sterne: %2.\n"_s.arg(ratingsOf(found.start),
                                                       ratingsOf(found.maximum));
    if (result.reading.end == SaveOutcome::End::Saved)
        return ratings + u"Die Datei hat %1."_s.arg(lines);
    return ratings
        + u"Die Datei wurde nicht vollständig gelesen, nur die ersten %1 von %2 MB; darin "
          "stehen %3."_s.arg(megabytes(bytesRead), megabytes(result.reading.inputSize), lines);
}

QString fileRatingsLine(const CensusResult &result)
{
    if (result.reading.end == SaveOutcome::End::Failed)
        return u"Die Datei ist nicht lesbar."_s;
    const LineCensus &found = result.census;
    if (found.start.lines + found.maximum.lines == 0
        && result.reading.end == SaveOutcome::End::Saved)
        return u"Die Datei hat keine Stärkezeilen."_s;
    const QString end = result.reading.end == SaveOutcome::End::Saved ? u"."_s : u" …"_s;
    return u"Start: %1%3\nMax.: %2%3"_s.arg(briefKindWords(found.start),
                                            briefKindWords(found.maximum), end);
}
