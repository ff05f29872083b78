// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/savemessages.h"

#include "platform/paths.h"
#include "rewrite/savereasons.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace {

using Step = SaveOutcome::Step;

const QString SaveTitle = u"Speichern"_s;

QString cannotRead(const SaveOutcome &outcome)
{
    return u"Die Datei „%1“ konnte nicht gelesen werden."_s.arg(shownPath(outcome.inputPath));
}

QString cannotWrite(const SaveOutcome &outcome)
{
    return u"Die Datei „%1“ konnte nicht geschrieben werden."_s.arg(
        shownPath(outcome.outputPath));
}

// The folder where the new file would be made: beside the selected file, or where a link in
// the output's place leads.
QString folderRefusesNewFile(const SaveOutcome &outcome)
{
    if (!outcome.opened.throughLink)
        return u"Im Ordner „%1“ kann keine neue Datei angelegt werden, auch nicht neben der "
               "ausgewählten Datei."_s.arg(shownPath(splitPath(outcome.inputPath).folder));
    return u"Die Datei „%1“ ist eine Verknüpfung in den Ordner „%2“, und dort kann keine neue "
           "Datei angelegt werden."_s.arg(shownPath(outcome.outputPath),
                                           shownPath(outcome.outputFolder));
}

// Why the .new was not written, for the refusals whose words need nothing but their kind.
constexpr std::pair<Refusal, const char16_t *> OutputRefusals[] = {
    {Refusal::DanglingLink,
     u"Sie ist eine Verknüpfung, deren Ziel fehlt. Eine neue Datei wird nicht dort angelegt, "
     "wohin nur eine Verknüpfung zeigt."},
    {Refusal::ForeignLinkInSharedFolder,
     u"Sie ist eine Verknüpfung, die einem anderen Benutzer gehört, in einem Ordner, in den "
     "alle schreiben dürfen. Solchen Verknüpfungen wird nicht gefolgt."},
    {Refusal::ForeignLinkBeyondItsOwner,
     u"Sie ist eine Verknüpfung eines anderen Benutzers auf eine Datei, die dieser selbst nicht "
     "ändern darf. Solchen Verknüpfungen wird nicht gefolgt."},
    {Refusal::LeadsToInput,
     u"Sie ist die ausgewählte Datei oder eine Verknüpfung auf sie, die dabei ersetzt würde."},
};

QString outputRefusal(const Opened &opened)
{
    for (const auto &[refusal, words] : OutputRefusals) {
        if (refusal == opened.refusal)
            return QString::fromUtf16(words);
    }
    if (opened.refusal == Refusal::NotRegular)
        return (opened.throughLink ? u"Sie ist eine Verknüpfung, und an deren Ziel liegt %1, "
                                     "keine gewöhnliche Datei."_s
                                   : u"An ihrer Stelle liegt %1, keine gewöhnliche Datei."_s)
                   .arg(germanFileType(opened.type))
            + u" Ersetzt werden nur gewöhnliche Dateien."_s;
    if (opened.refusal == Refusal::NotWritable)
        return u"Die vorhandene Datei darf nicht ersetzt werden: "_s + germanReason(opened.error);
    if (opened.refusal == Refusal::ReadOnly)
        return u"Die vorhandene Datei ist als schreibgeschützt markiert und wird darum nicht "
               "ersetzt."_s;
    return germanReason(opened.error);
}

QString howInputChanged(const SaveOutcome &outcome)
{
    switch (outcome.change.kind) {
    case InputFile::Change::Shorter:
        return u"Beim Start war sie %1 Bytes groß, zuletzt nur noch %2 Bytes."_s
            .arg(outcome.inputSize)
            .arg(outcome.change.sizeNow);
    case InputFile::Change::Longer:
        return u"Beim Start war sie %1 Bytes groß, beim Lesen war sie länger."_s.arg(
            outcome.inputSize);
    case InputFile::Change::Modified:
        return u"Ihr Inhalt wurde geändert, während sie gelesen wurde."_s;
    case InputFile::Change::Replaced:
    case InputFile::Change::None:
        break;
    }
    return u"An ihrer Stelle liegt jetzt eine andere Datei, oder sie wurde umbenannt oder "
           "gelöscht."_s;
}

// What failed and why.
QStringList failureWords(const SaveOutcome &outcome)
{
    switch (outcome.step) {
    case Step::OpenInput:
        return {cannotRead(outcome), inputOpenReason(outcome.opened)};
    case Step::ReadInput:
        return {cannotRead(outcome), germanReason(outcome.error)};
    case Step::InputChanged:
        return {u"Die Datei „%1“ wurde während des Speicherns verändert."_s.arg(
                    shownPath(outcome.inputPath)),
                howInputChanged(outcome)};
    case Step::OpenOutput:
        if (outcome.opened.refusal == Refusal::FolderRefusesNewFile)
            return {folderRefusesNewFile(outcome), germanReason(outcome.error)};
        return {cannotWrite(outcome), outputRefusal(outcome.opened)};
    case Step::WriteOutput:
        return {cannotWrite(outcome), germanReason(outcome.error)};
    case Step::SyncFolder:
        return {u"Die Datei „%1“ wurde geschrieben, aber ihr Eintrag im Ordner konnte nicht auf "
                "den Datenträger gebracht werden."_s.arg(shownPath(outcome.outputPath)),
                germanReason(outcome.error)};
    case Step::None:
        break;
    }
    return {};
}

// What a failure left as it was.
QString whatWasKept(const SaveOutcome &outcome)
{
    if (outcome.step == Step::SyncFolder)
        return u"Nach einem Stromausfall oder Absturz kann sie fehlen oder die frühere Fassung "
               "zeigen. Speichern Sie erneut, um sicherzugehen."_s;
    if (outcome.step == Step::InputChanged)
        return u"Das Ergebnis wurde verworfen; eine frühere .new-Datei bleibt unverändert."_s;
    if (!outcome.earlierOutputKept())
        return u"Die frühere .new-Datei liegt jetzt unter „%1“, die neue Fassung unter „%2“. Die "
               "ausgewählte Datei bleibt unverändert."_s.arg(shownPath(outcome.earlierOutputAt),
                                                            shownPath(outcome.newContentKeptAt));
    return u"Die ausgewählte Datei und eine frühere .new-Datei bleiben unverändert."_s;
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
