// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/savemessages.h"

#include <QDir>
#include <QTest>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

using Step = SaveFailure::Step;
using Icon = SaveMessage::Icon;

const QString Input = u"/daten/liga/a_sp.cfg"_s;
const QString KeptAll = u"Die ausgewählte Datei und die frühere .new-Datei bleiben unverändert."_s;
const QString NothingWritten = u"Es wurde nichts geschrieben."_s;

// An earlier .new was found, unless the save failed before it looked.
SaveOutcome failure(Step step, int errorNumber = 0, bool earlierOutput = true)
{
    SaveOutcome outcome;
    outcome.end = SaveOutcome::End::Failed;
    outcome.failure = SaveFailure::ofSystem(step, SystemError::ofErrno(errorNumber));
    outcome.input = splitPath(Input);
    outcome.inputSize = 920;
    outcome.earlierOutputFound = earlierOutput && step != Step::OpenInput;
    return outcome;
}

SaveOutcome refused(Step step, Refusal refusal, FileType type = FileType::Regular,
                    bool throughLink = false, int errorNumber = 0)
{
    SaveOutcome outcome = failure(step, errorNumber);
    outcome.failure.refusal = refusal;
    outcome.failure.found = type;
    outcome.failure.throughLink = throughLink;
    return outcome;
}

SaveOutcome changed(InputChange::Kind kind, qint64 sizeNow = 0, bool earlierOutput = true)
{
    SaveOutcome outcome = failure(Step::InputChanged, 0, earlierOutput);
    outcome.failure.change = {kind, sizeNow};
    return outcome;
}

// The paths in the texts below as the system writes them.
QString native(QString text)
{
    return text.replace(Input, QDir::toNativeSeparators(Input))
        .replace(u"/daten/liga"_s, QDir::toNativeSeparators(u"/daten/liga"_s))
        .replace(u"/daten/anderswo"_s, QDir::toNativeSeparators(u"/daten/anderswo"_s))
        .replace(u"/.kelvora-"_s, QDir::toNativeSeparators(u"/.kelvora-"_s));
}

} // namespace

class tst_SaveMessages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wordsForEachOutcome_data();
    void wordsForEachOutcome();
    void noFileChosen();
    void readingAndFolders();
};

// Every German text a save can end with, each written out once here.
void tst_SaveMessages::wordsForEachOutcome_data()
{
    QTest::addColumn<SaveOutcome>("outcome");
    QTest::addColumn<QString>("text");

    SaveOutcome saved;
    saved.input = splitPath(Input);
    // The detail below the text in the box, as if one more paragraph.
    QTest::newRow("saved") << saved
                           << u"Speichern erfolgreich\n\nGeschrieben wurde „a_sp.cfg.new“ im "
                              "Ordner „/daten/liga“."_s;
    const QString cannotRead = u"Die Datei „/daten/liga/a_sp.cfg“ konnte nicht gelesen werden."_s;
    const QString cannotWrite =
        u"Die Datei „/daten/liga/a_sp.cfg.new“ konnte nicht geschrieben werden."_s;
    const QString changedWhile =
        u"Die Datei „/daten/liga/a_sp.cfg“ wurde während des Speicherns verändert."_s;
    const QString discarded =
        u"Das Ergebnis wurde verworfen; die frühere .new-Datei bleibt unverändert."_s;
    const QString notFollowed = u" Solchen Verknüpfungen wird nicht gefolgt."_s;
    const auto text = [](const QStringList &paragraphs) { return paragraphs.join(u"\n\n"_s); };

    QTest::newRow("selected file missing")
        << failure(Step::OpenInput, ENOENT)
        << text({cannotRead, u"Datei oder Ordner wurde nicht gefunden."_s, NothingWritten});
    QTest::newRow("selected file a FIFO")
        << refused(Step::OpenInput, Refusal::NotRegular, FileType::Fifo)
        << text({cannotRead,
                 u"Das ist keine gewöhnliche Datei, sondern eine Pipe (FIFO). Gelesen werden "
                 "nur gewöhnliche Dateien."_s,
                 NothingWritten});
    QTest::newRow("selected file behind another user's link in a shared folder")
        << refused(Step::OpenInput, Refusal::ForeignLinkInSharedFolder)
        << text({cannotRead,
                 u"Der Weg zu ihr führt über eine Verknüpfung, die einem anderen Benutzer "
                 "gehört, in einem Ordner, in den alle schreiben dürfen."_s + notFollowed,
                 NothingWritten});
    QTest::newRow("selected file another user's link to what that user may not read")
        << refused(Step::OpenInput, Refusal::ForeignLinkBeyondItsOwner)
        << text({cannotRead,
                 u"Der Weg zu ihr führt über eine Verknüpfung eines anderen Benutzers, der sie "
                 "selbst nicht lesen darf."_s + notFollowed,
                 NothingWritten});
    QTest::newRow("reading fails")
        << failure(Step::ReadInput, EIO)
        << text({cannotRead, u"Beim Zugriff auf den Datenträger ist ein Ein-/Ausgabefehler "
                             "aufgetreten."_s, KeptAll});
    QTest::newRow("folder moved while the save wrote")
        << refused(Step::WriteOutput, Refusal::FolderMoved)
        << text({cannotWrite, u"Ihr Ordner wurde während des Speicherns umbenannt, verschoben "
                              "oder ersetzt."_s, KeptAll});
    SaveOutcome anotherFiles = refused(Step::WriteOutput, Refusal::AnotherFilesOutput);
    anotherFiles.earlierOutputFound = false;
    anotherFiles.failure.foundName = u"A_sp.cfg.new"_s;
    QTest::newRow("the system finds another file's .new under the name")
        << anotherFiles
        << text({cannotWrite, u"Unter diesem Namen findet das System die Datei „A_sp.cfg.new“, "
                              "die anders geschrieben ist und nicht zur ausgewählten Datei "
                              "gehört. Sie wird nicht ersetzt."_s,
                 u"Die ausgewählte Datei bleibt unverändert, und es ist keine .new-Datei "
                 "entstanden."_s});
    QTest::newRow("an error number without German words")
        << failure(Step::ReadInput, 4242)
        << text({cannotRead, u"Das System meldet Fehler Nummer 4242."_s, KeptAll});
    QTest::newRow("selected file shorter at the end")
        << changed(InputChange::Shorter, 100)
        << text({changedWhile, u"Beim Start war sie 920 Bytes groß, zuletzt nur noch 100 Bytes."_s,
                 discarded});
    QTest::newRow("selected file longer")
        << changed(InputChange::Longer)
        << text({changedWhile, u"Beim Start war sie 920 Bytes groß, beim Lesen war sie länger."_s,
                 discarded});
    QTest::newRow("selected file changed in place, no earlier .new")
        << changed(InputChange::Modified, 0, false)
        << text({changedWhile, u"Ihr Inhalt wurde geändert, während sie gelesen wurde."_s,
                 u"Das Ergebnis wurde verworfen."_s});
    QTest::newRow("selected file replaced")
        << changed(InputChange::Replaced)
        << text({changedWhile,
                 u"An ihrer Stelle liegt jetzt eine andere Datei, oder sie wurde umbenannt oder "
                 "gelöscht."_s,
                 discarded});
    QTest::newRow("a folder in the output's place")
        << refused(Step::OpenOutput, Refusal::NotRegular, FileType::Folder)
        << text({cannotWrite,
                 u"An ihrer Stelle liegt ein Ordner, keine gewöhnliche Datei. Ersetzt werden "
                 "nur gewöhnliche Dateien."_s,
                 KeptAll});
    QTest::newRow("the output a link to a device")
        << refused(Step::OpenOutput, Refusal::NotRegular, FileType::CharacterDevice, true)
        << text({cannotWrite,
                 u"Sie ist eine Verknüpfung, und an deren Ziel liegt ein Gerät, keine "
                 "gewöhnliche Datei. Ersetzt werden nur gewöhnliche Dateien."_s,
                 KeptAll});
    QTest::newRow("the output a dangling link")
        << refused(Step::OpenOutput, Refusal::DanglingLink)
        << text({cannotWrite,
                 u"Sie ist eine Verknüpfung, deren Ziel fehlt. Eine neue Datei wird nicht dort "
                 "angelegt, wohin nur eine Verknüpfung zeigt."_s,
                 KeptAll});
    QTest::newRow("the output another user's link in a shared folder")
        << refused(Step::OpenOutput, Refusal::ForeignLinkInSharedFolder)
        << text({cannotWrite,
                 u"Sie ist eine Verknüpfung, die einem anderen Benutzer gehört, in einem "
                 "Ordner, in den alle schreiben dürfen."_s + notFollowed,
                 KeptAll});
    QTest::newRow("the output another user's link to what that user may not change")
        << refused(Step::OpenOutput, Refusal::ForeignLinkBeyondItsOwner)
        << text({cannotWrite,
                 u"Der Weg zu ihr führt über eine Verknüpfung eines anderen Benutzers, der dort "
                 "selbst nicht schreiben darf."_s + notFollowed,
                 KeptAll});
    QTest::newRow("another user's link, for a user who may not ask what that user may")
        << refused(Step::OpenOutput, Refusal::ForeignLinkUnjudged)
        << text({cannotWrite,
                 u"Der Weg zu ihr führt über eine Verknüpfung eines anderen Benutzers, und was "
                 "dieser selbst darf, kann nur ein Speichern mit Administratorrechten prüfen. "
                 "Solchen Verknüpfungen wird darum nicht gefolgt."_s,
                 KeptAll});
    QTest::newRow("the output leads to the selected file")
        << refused(Step::OpenOutput, Refusal::LeadsToInput)
        << text({cannotWrite,
                 u"Sie ist die ausgewählte Datei oder eine Verknüpfung auf sie, die dabei "
                 "ersetzt würde."_s,
                 KeptAll});
    QTest::newRow("the output may not be replaced")
        << refused(Step::OpenOutput, Refusal::NotWritable, FileType::Regular, false, EROFS)
        << text({cannotWrite,
                 u"Die vorhandene Datei darf nicht ersetzt werden: Das Dateisystem ist "
                 "schreibgeschützt."_s,
                 KeptAll});
    QTest::newRow("the output marked read-only")
        << refused(Step::OpenOutput, Refusal::ReadOnly)
        << text({cannotWrite,
                 u"Die vorhandene Datei ist als schreibgeschützt markiert und wird darum nicht "
                 "ersetzt."_s,
                 KeptAll});
    SaveOutcome inUse = failure(Step::WriteOutput, EBUSY);
    inUse.failure.systemError.transience = SystemError::Transience::InUse;
    QTest::newRow("the output held by another program")
        << inUse
        << text({cannotWrite, u"Ein anderes Programm verwendet die Datei."_s, KeptAll});
    SaveOutcome stranded = failure(Step::WriteOutput, EROFS);
    stranded.earlierOutputAt = u"/daten/liga/.kelvora-000001.tmp"_s;
    stranded.newContentKeptAt = u"/daten/liga/.kelvora-000002.tmp"_s;
    QTest::newRow("neither file back in place")
        << stranded
        << text({cannotWrite, u"Das Dateisystem ist schreibgeschützt."_s,
                 u"Die frühere .new-Datei liegt jetzt unter „/daten/liga/.kelvora-000001.tmp“, die "
                 "neue Fassung unter „/daten/liga/.kelvora-000002.tmp“. Die ausgewählte Datei "
                 "bleibt unverändert."_s});
    SaveOutcome leftBehind = failure(Step::WriteOutput, EPERM);
    leftBehind.newContentKeptAt = u"/daten/liga/.kelvora-000002.tmp"_s;
    QTest::newRow("a temporary file the folder would not let go of")
        << leftBehind
        << text({cannotWrite, u"Der Vorgang ist nicht erlaubt."_s,
                 KeptAll + u" Die temporäre Datei „/daten/liga/.kelvora-000002.tmp“ ließ "
                           "sich nicht entfernen und kann gelöscht werden."_s});
    QTest::newRow("no new file in the folder")
        << refused(Step::OpenOutput, Refusal::FolderRefusesNewFile, FileType::Regular, false,
                   EACCES)
        << text({u"Im Ordner „/daten/liga“ kann die Datei „a_sp.cfg.new“ nicht angelegt werden."_s,
                 u"Der Zugriff wurde verweigert."_s, KeptAll});
    SaveOutcome throughLink = refused(Step::OpenOutput, Refusal::FolderRefusesNewFile,
                                      FileType::Regular, true, EACCES);
    throughLink.outputFolder = u"/daten/anderswo"_s;
    QTest::newRow("no new file in the folder a link leads to")
        << throughLink
        << text({u"Die Datei „/daten/liga/a_sp.cfg.new“ ist eine Verknüpfung in den Ordner "
                 "„/daten/anderswo“, und dort kann keine neue Datei angelegt werden."_s,
                 u"Der Zugriff wurde verweigert."_s, KeptAll});
    QTest::newRow("the output's name too long")
        << refused(Step::OpenOutput, Refusal::None, FileType::Regular, false, ENAMETOOLONG)
        << text({cannotWrite, u"Der Name oder der Pfad ist zu lang."_s, KeptAll});
    QTest::newRow("the disk takes nothing and says nothing")
        << refused(Step::WriteOutput, Refusal::NothingWritten)
        << text({cannotWrite,
                 u"Der Datenträger hat nichts mehr angenommen und keinen Grund genannt; "
                 "vermutlich ist er voll."_s,
                 KeptAll});
    QTest::newRow("the output's place taken meanwhile")
        << refused(Step::WriteOutput, Refusal::SwappedMeanwhile)
        << text({cannotWrite,
                 u"An ihrer Stelle oder auf dem Weg zu ihr wurde inzwischen etwas anderes "
                 "angelegt."_s,
                 KeptAll});
    QTest::newRow("disk full, no earlier .new")
        << failure(Step::WriteOutput, ENOSPC, false)
        << text({cannotWrite, u"Auf dem Datenträger ist kein Speicherplatz mehr frei."_s,
                 u"Die ausgewählte Datei bleibt unverändert, und es ist keine .new-Datei "
                 "entstanden."_s});
    QTest::newRow("folder not synced")
        << failure(Step::SyncFolder, EIO)
        << text({u"Die Datei „/daten/liga/a_sp.cfg.new“ wurde geschrieben, aber ihr Eintrag im "
                 "Ordner konnte nicht auf den Datenträger gebracht werden."_s,
                 u"Beim Zugriff auf den Datenträger ist ein Ein-/Ausgabefehler aufgetreten."_s,
                 u"Nach einem Stromausfall oder Absturz kann sie fehlen oder die frühere Fassung "
                 "zeigen. Speichern Sie erneut, um sicherzugehen."_s});
}

void tst_SaveMessages::wordsForEachOutcome()
{
    QFETCH(SaveOutcome, outcome);
    QFETCH(QString, text);

    const SaveMessage message = saveMessage(outcome, MessagePlace::Window);
    QCOMPARE(message.title, u"Speichern"_s);
    QCOMPARE(message.icon, outcome.end == SaveOutcome::End::Saved ? Icon::Information : Icon::Warning);
    QStringList shown = message.paragraphs;
    if (!message.detail.isEmpty())
        shown << message.detail;
    QCOMPARE(shown.join(u"\n\n"_s), native(text));
}

void tst_SaveMessages::noFileChosen()
{
    const SaveMessage message = noFileChosenMessage();
    QCOMPARE(message.icon, Icon::Warning);
    QCOMPARE(message.text(), u"Es ist keine Datei ausgewählt. Bitte wählen Sie zuerst eine Datei "
                             "aus der Dateiliste."_s);
}

// What the companion says of the file it was given, of a file it only reads, and of a folder
// it cannot read.
void tst_SaveMessages::readingAndFolders()
{
    QCOMPARE(saveMessage({}, MessagePlace::CommandLine).text(), u"Speichern erfolgreich."_s);
    QCOMPARE(saveMessage(refused(Step::OpenOutput, Refusal::LeadsToInput), MessagePlace::CommandLine)
                 .paragraphs.join(u' '),
             native(u"Die Datei „/daten/liga/a_sp.cfg.new“ konnte nicht geschrieben werden. Sie "
                    "ist die angegebene Datei oder eine Verknüpfung auf sie, die dabei ersetzt "
                    "würde. Die angegebene Datei und die frühere .new-Datei bleiben "
                    "unverändert."_s));
    QCOMPARE(readFailureWords(failure(Step::ReadInput, EIO)).join(u' '),
             native(u"Die Datei „/daten/liga/a_sp.cfg“ konnte nicht gelesen werden. Beim Zugriff "
                    "auf den Datenträger ist ein Ein-/Ausgabefehler aufgetreten."_s));
    // Nothing was being saved.
    QCOMPARE(readFailureWords(refused(Step::OpenInput, Refusal::FolderMoved)).join(u' '),
             native(u"Die Datei „/daten/liga/a_sp.cfg“ konnte nicht gelesen werden. Ihr Ordner "
                    "wurde während des Lesens umbenannt, verschoben oder ersetzt."_s));
    QCOMPARE(folderUnreadableWords(u"/daten/liga"_s, SystemError::ofErrno(EACCES)).join(u' '),
             native(u"Der Ordner „/daten/liga“ konnte nicht gelesen werden. Der Zugriff wurde "
                    "verweigert."_s));
}

QTEST_APPLESS_MAIN(tst_SaveMessages)
#include "tst_savemessages.moc"
