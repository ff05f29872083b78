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

QString cannotRead(const ShownPaths &shown)
{
    return u"Die Datei „%1“ konnte nicht gelesen werden."_s.arg(shown.input);
}

QString cannotWrite(const ShownPaths &shown)
{
    return u"Die Datei „%1“ konnte nicht geschrieben werden."_s.arg(shown.output);
}

// The .new's own name, for a sentence that names its folder apart.
QString outputName(const SaveOutcome &outcome)
{
    return shownPath(outcome.input.name + u".new"_s);
}

// The folder where the new file would be made: beside the selected file, or where a link in
// the output's place leads. Several files of one folder each get their own line, so the line
// names the file.
QString folderRefusesNewFile(const SaveOutcome &outcome, const ShownPaths &shown)
{
    if (!outcome.failure.throughLink)
        return u"Im Ordner „%1“ kann die Datei „%2“ nicht angelegt werden."_s.arg(
            shownPath(outcome.input.folder), outputName(outcome));
    return u"Die Datei „%1“ ist eine Verknüpfung in den Ordner „%2“, und dort kann keine neue "
           "Datei angelegt werden."_s.arg(shown.output, shownPath(outcome.outputFolder));
}

// The window names the file the user selected in its list, the companion the one given to it.
QString chosen(MessagePlace place)
{
    return place == MessagePlace::Window ? u"ausgewählte"_s : u"angegebene"_s;
}

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

// What was under way when it failed: a save, or a reading that writes nothing (the
// companion's --show and --dry-run).
enum class Work { Saving, Reading };

QString during(Work work)
{
    return work == Work::Saving ? u"während des Speicherns"_s : u"während des Lesens"_s;
}

// Why a step failed: a refusal of the program's own, or the system's error. Each refusal has its
// words here, for the selected file other words where they differ; the switch names every one,
// so a new refusal without words does not build.
QString reason(const SaveFailure &failure, MessagePlace place, Work work)
{
    const bool reading = failure.step == Step::OpenInput || failure.step == Step::ReadInput;
    switch (failure.refusal) {
    case Refusal::None:
    case Refusal::FolderRefusesNewFile: // the sentence before names the folder
        return germanReason(failure.systemError);
    case Refusal::NotRegular:
        return notRegular(failure, reading);
    case Refusal::DanglingLink:
        return u"Sie ist eine Verknüpfung, deren Ziel fehlt. Eine neue Datei wird nicht dort "
               "angelegt, wohin nur eine Verknüpfung zeigt."_s;
    case Refusal::ForeignLinkInSharedFolder:
        return (reading ? u"Der Weg zu ihr führt über eine Verknüpfung, die einem anderen "
                          "Benutzer gehört,"_s
                        : u"Sie ist eine Verknüpfung, die einem anderen Benutzer gehört,"_s)
            + u" in einem Ordner, in den alle schreiben dürfen. Solchen Verknüpfungen wird nicht "
              "gefolgt."_s;
    case Refusal::ForeignLinkBeyondItsOwner:
        return u"Der Weg zu ihr führt über eine Verknüpfung eines anderen Benutzers, der %1. "
               "Solchen Verknüpfungen wird nicht gefolgt."_s.arg(
                   reading ? u"sie selbst nicht lesen darf"_s : u"dort selbst nicht schreiben darf"_s);
    case Refusal::ForeignLinkUnjudged:
        return u"Der Weg zu ihr führt über eine Verknüpfung eines anderen Benutzers, und was "
               "dieser selbst darf, kann nur ein Speichern mit Administratorrechten prüfen. "
               "Solchen Verknüpfungen wird darum nicht gefolgt."_s;
    case Refusal::LeadsToInput:
        return u"Sie ist die %1 Datei oder eine Verknüpfung auf sie, die dabei ersetzt würde."_s
            .arg(chosen(place));
    case Refusal::NotWritable:
        return u"Die vorhandene Datei darf nicht ersetzt werden: "_s
            + germanReason(failure.systemError);
    case Refusal::ReadOnly:
        return u"Die vorhandene Datei ist als schreibgeschützt markiert und wird darum nicht "
               "ersetzt."_s;
    case Refusal::SwappedMeanwhile:
        return u"An ihrer Stelle oder auf dem Weg zu ihr wurde inzwischen etwas anderes "
               "angelegt."_s;
    case Refusal::FolderMoved:
        return u"Ihr Ordner wurde %1 umbenannt, verschoben oder ersetzt."_s.arg(during(work));
    case Refusal::NothingWritten:
        return u"Der Datenträger hat nichts mehr angenommen und keinen Grund genannt; "
               "vermutlich ist er voll."_s;
    case Refusal::AnotherFilesOutput:
        return u"Unter diesem Namen findet das System die Datei „%1“, die anders geschrieben ist "
               "und nicht zur %2n Datei gehört. Sie wird nicht ersetzt."_s.arg(failure.foundName,
                                                                              chosen(place));
    }
    return germanReason(failure.systemError); // a value outside the enumeration
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
QStringList failureWords(const SaveOutcome &outcome, const ShownPaths &shown, MessagePlace place,
                         Work work)
{
    const SaveFailure &failure = outcome.failure;
    switch (failure.step) {
    case Step::OpenInput:
    case Step::ReadInput:
        return {cannotRead(shown), reason(failure, place, work)};
    case Step::InputChanged:
        return {u"Die Datei „%1“ wurde %2 verändert."_s.arg(shown.input, during(work)),
                howInputChanged(outcome)};
    case Step::OpenOutput:
        if (failure.refusal == Refusal::FolderRefusesNewFile)
            return {folderRefusesNewFile(outcome, shown), germanReason(failure.systemError)};
        return {cannotWrite(shown), reason(failure, place, work)};
    case Step::WriteOutput:
        return {cannotWrite(shown), reason(failure, place, work)};
    case Step::SyncFolder:
        return {u"Die Datei „%1“ wurde geschrieben, aber ihr Eintrag im Ordner konnte nicht auf "
                "den Datenträger gebracht werden."_s.arg(shown.output),
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

ShownPaths::ShownPaths(const QString &inputPath)
    : input(shownPath(inputPath)), output(shownPath(inputPath + u".new"_s))
{
}

SaveMessage saveMessage(const SaveOutcome &outcome, MessagePlace place)
{
    return saveMessage(outcome, place, ShownPaths(outcome.inputPath()));
}

SaveMessage saveMessage(const SaveOutcome &outcome, MessagePlace place, const ShownPaths &shown)
{
    switch (outcome.end) {
    case SaveOutcome::End::Saved:
        // The window's words are fixed, so the file written goes below them; on a command line
        // they end as a sentence does, after the file's name.
        if (place == MessagePlace::Window)
            return {SaveMessage::Icon::Information, SaveTitle, {u"Speichern erfolgreich"_s},
                    u"Geschrieben wurde „%1“ im Ordner „%2“."_s.arg(
                        outputName(outcome), shownPath(outcome.input.folder))};
        return {SaveMessage::Icon::Information, SaveTitle, {u"Speichern erfolgreich."_s}};
    case SaveOutcome::End::Failed:
        return {SaveMessage::Icon::Warning, SaveTitle,
                failureWords(outcome, shown, place, Work::Saving) << whatWasKept(outcome, place)};
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
    return readFailureWords(outcome, ShownPaths(outcome.inputPath()));
}

QStringList readFailureWords(const SaveOutcome &outcome, const ShownPaths &shown)
{
    // Reading alone meets no refusal that names the selected file.
    return failureWords(outcome, shown, MessagePlace::CommandLine, Work::Reading);
}

QString deviceNameWords(const QString &path)
{
    return u"„%1“ ist unter Windows der Name eines Geräts, keine Datei."_s.arg(shownPath(path));
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
