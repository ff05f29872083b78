// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/savemessages.h"

#include "platform/paths.h"
#include "rewrite/savereasons.h"


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
        return u"Im Ordner „%1“ kann keine neue Datei angelegt werden, auch nicht neben der "
               "ausgewählten Datei."_s.arg(shownPath(outcome.input.folder));
    return u"Die Datei „%1“ ist eine Verknüpfung in den Ordner „%2“, und dort kann keine neue "
           "Datei angelegt werden."_s.arg(shownPath(outcome.outputPath()),
                                           shownPath(outcome.outputFolder));
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
    {Refusal::LeadsToInput,
     u"Sie ist die ausgewählte Datei oder eine Verknüpfung auf sie, die dabei ersetzt würde."},
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
QString reason(const SaveFailure &failure)
{
    const bool reading = failure.step == Step::OpenInput || failure.step == Step::ReadInput;
    for (const RefusalWords &refused : Refusals) {
        if (refused.refusal == failure.refusal)
            return QString::fromUtf16(reading && refused.forInput ? refused.forInput
                                                                  : refused.words);
    }
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
QStringList failureWords(const SaveOutcome &outcome)
{
    const SaveFailure &failure = outcome.failure;
    switch (failure.step) {
    case Step::OpenInput:
    case Step::ReadInput:
        return {cannotRead(outcome), reason(failure)};
    case Step::InputChanged:
        return {u"Die Datei „%1“ wurde während des Speicherns verändert."_s.arg(
                    shownPath(outcome.inputPath())),
                howInputChanged(outcome)};
    case Step::OpenOutput:
        if (failure.refusal == Refusal::FolderRefusesNewFile)
            return {folderRefusesNewFile(outcome), germanReason(failure.systemError)};
        return {cannotWrite(outcome), reason(failure)};
    case Step::WriteOutput:
        return {cannotWrite(outcome), reason(failure)};
    case Step::SyncFolder:
        return {u"Die Datei „%1“ wurde geschrieben, aber ihr Eintrag im Ordner konnte nicht auf "
                "den Datenträger gebracht werden."_s.arg(shownPath(outcome.outputPath())),
                germanReason(failure.systemError)};
    case Step::None:
        break;
    }
    return {};
}

// What a failure left as it was.
QString whatWasKept(const SaveOutcome &outcome)
{
    if (outcome.failure.step == Step::SyncFolder)
        return u"Nach einem Stromausfall oder Absturz kann sie fehlen oder die frühere Fassung "
               "zeigen. Speichern Sie erneut, um sicherzugehen."_s;
    if (outcome.failure.step == Step::InputChanged)
        return u"Das Ergebnis wurde verworfen; eine frühere .new-Datei bleibt unverändert."_s;
    if (!outcome.earlierOutputKept())
        return u"Die frühere .new-Datei liegt jetzt unter „%1“, die neue Fassung unter „%2“. Die "
               "ausgewählte Datei bleibt unverändert."_s.arg(shownPath(outcome.earlierOutputAt),
                                                            shownPath(outcome.newContentKeptAt));
    const QString kept = u"Die ausgewählte Datei und eine frühere .new-Datei bleiben "
                         "unverändert."_s;
    if (outcome.newContentKeptAt.isEmpty())
        return kept;
    return kept + u" Die temporäre Datei „%1“ ließ sich nicht entfernen und kann gelöscht "
                  "werden."_s.arg(shownPath(outcome.newContentKeptAt));
}

} // namespace

SaveMessage saveMessage(const SaveOutcome &outcome)
{
    switch (outcome.end) {
    case SaveOutcome::End::Saved:
        return {SaveMessage::Icon::Information, SaveTitle, {u"Speichern erfolgreich"_s}};
    case SaveOutcome::End::Failed:
        return {SaveMessage::Icon::Warning, SaveTitle,
                failureWords(outcome) << whatWasKept(outcome)};
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
    return failureWords(outcome);
}

QStringList folderUnreadableWords(const QString &folder, const SystemError &error)
{
    return {u"Der Ordner „%1“ konnte nicht gelesen werden."_s.arg(shownPath(folder)),
            germanReason(error)};
}
