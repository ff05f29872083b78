// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/savestrengthfile.h"

#include "platform/filenames.h"
#include "platform/paths.h"
#include "platform/savefiles.h"
#include "rewrite/bytestreams.h"
#include "rewrite/eventthrottle.h"
#include "rewrite/saveloop.h"
#include "rewrite/savereasons.h"

#include <chrono>
#include <future>
#include <system_error>

using namespace Qt::StringLiterals;

namespace {

const QString SaveTitle = u"Speichern"_s;
const QString NothingChanged =
    u"Die ausgewählte Datei und eine frühere .new-Datei bleiben unverändert."_s;

// The files as the loop sees them.
class InputSource final : public ByteSource
{
public:
    explicit InputSource(InputFile &file) : m_file(file) {}
    qint64 read(char *into, qint64 max) override { return m_file.read(into, max); }

private:
    InputFile &m_file;
};

class OutputSink final : public ByteSink
{
public:
    explicit OutputSink(ReplacementFile &file) : m_file(file) {}
    bool write(const char *bytes, qint64 count) override { return m_file.write(bytes, count); }

private:
    ReplacementFile &m_file;
};

class StrengthFileSave
{
public:
    StrengthFileSave(SaveServices &window, const QString &folder, const QString &fileName,
                     const LoopSettings &settings)
        : m_window(window),
          m_settings(settings),
          m_folderPath(folder),
          m_fileName(fileName),
          m_inputPath(folder + u'/' + fileName),
          m_outputPath(m_inputPath + ".new"_L1)
    {
    }

    // Why the save failed, for the message shown once both files are closed.
    QString failure() const { return m_failure; }

    SaveResult run()
    {
        // The input first, so that a missing folder or file is reported as what it is. Nothing
        // of the output is visible before its commit either way.
        if (!openFolder() || !openInput() || !openOutput())
            return SaveResult::Failed;
        InputSource source(m_input);
        OutputSink sink(m_output);
        switch (rewriteLines(source, m_input.size(), sink, m_window, m_settings)) {
        case LoopEnd::Finished:
            break;
        case LoopEnd::Stopped:
            return SaveResult::Stopped;
        case LoopEnd::ReadFailed:
            return readFailure(germanReason(m_input.error()));
        case LoopEnd::WriteFailed:
            return writeFailure(germanReason(m_output.error()));
        }
        // Output from a file that changed while it was read matches no state of it.
        if (const InputFile::Change change = m_input.changeSinceOpen();
            change.kind != InputFile::Change::None)
            return inputChanged(change);
        switch (m_input.confirmContent([this] { return m_window.runPendingEvents(); })) {
        case InputFile::Confirmed::Same:
            break;
        case InputFile::Confirmed::Differs:
            return inputChanged({InputFile::Change::Modified, m_input.size()});
        case InputFile::Confirmed::Stopped:
            return SaveResult::Stopped;
        case InputFile::Confirmed::Failed:
            return readFailure(germanReason(m_input.error()));
        }
        return commitOutput();
    }

private:
    bool openFolder()
    {
        const Opened opened = m_folder.open(m_folderPath);
        if (opened.succeeded())
            return true;
        readFailure(inputOpenReason(opened));
        return false;
    }

    bool openInput()
    {
        const Opened opened = m_input.open(m_folder, m_fileName);
        if (opened.succeeded())
            return true;
        readFailure(inputOpenReason(opened));
        return false;
    }

    bool openOutput()
    {
        const Opened opened = m_output.open(m_folder, m_fileName + ".new"_L1, m_input);
        if (opened.succeeded())
            return true;
        if (opened.refusal == Refusal::FolderRefusesNewFile)
            reportFailure(folderRefusesNewFile(opened.throughLink), germanReason(opened.error));
        else
            writeFailure(refusalReason(opened));
        return false;
    }

    // The folder where the new file would be made: beside the selected file, or where a link in
    // the output's place leads.
    QString folderRefusesNewFile(bool throughLink) const
    {
        if (!throughLink)
            return u"Im Ordner „%1“ kann keine neue Datei angelegt werden, auch nicht neben der "
                   "ausgewählten Datei."_s.arg(shownPath(m_folderPath));
        return u"Die Datei „%1“ ist eine Verknüpfung in den Ordner „%2“, und dort kann keine "
               "neue Datei angelegt werden."_s.arg(shownPath(m_outputPath),
                                                   shownPath(m_output.targetFolder()));
    }

    static QString refusalReason(const Opened &opened)
    {
        switch (opened.refusal) {
        case Refusal::NotRegular:
            return (opened.throughLink ? u"Sie ist eine Verknüpfung, und an deren Ziel liegt %1, "
                                         "keine gewöhnliche Datei."_s
                                       : u"An ihrer Stelle liegt %1, keine gewöhnliche Datei."_s)
                       .arg(germanFileType(opened.type))
                + u" Ersetzt werden nur gewöhnliche Dateien."_s;
        case Refusal::DanglingLink:
            return u"Sie ist eine Verknüpfung, deren Ziel fehlt. Eine neue Datei wird nicht "
                   "dort angelegt, wohin nur eine Verknüpfung zeigt."_s;
        case Refusal::ForeignLinkInSharedFolder:
            return u"Sie ist eine Verknüpfung, die einem anderen Benutzer gehört, in einem "
                   "Ordner, in den alle schreiben dürfen. Solchen Verknüpfungen wird nicht "
                   "gefolgt."_s;
        case Refusal::ForeignLinkBeyondItsOwner:
            return u"Sie ist eine Verknüpfung eines anderen Benutzers auf eine Datei, die dieser "
                   "selbst nicht ändern darf. Solchen Verknüpfungen wird nicht gefolgt."_s;
        case Refusal::LeadsToInput:
            return u"Sie ist die ausgewählte Datei oder eine Verknüpfung auf sie, die dabei "
                   "ersetzt würde."_s;
        case Refusal::NotWritable:
            return u"Die vorhandene Datei darf nicht ersetzt werden: "_s
                + germanReason(opened.error);
        case Refusal::None:
        case Refusal::FolderRefusesNewFile:
        case Refusal::Failed:
            break;
        }
        return germanReason(opened.error);
    }

    SaveResult commitOutput()
    {
        switch (commitWhileOfferingEvents()) {
        case ReplacementFile::Commit::Done:
            return SaveResult::Saved;
        case ReplacementFile::Commit::NotWritten:
            return writeFailure(germanReason(m_output.error()));
        case ReplacementFile::Commit::NotDurable:
            break;
        }
        return reportFailure(
            u"Die Datei „%1“ wurde geschrieben, aber ihr Eintrag im Ordner konnte nicht auf "
            "den Datenträger gebracht werden."_s.arg(shownPath(m_outputPath)),
            germanReason(m_output.error()),
            u"Nach einem Stromausfall oder Absturz kann sie fehlen oder die frühere Fassung "
            "zeigen. Speichern Sie erneut, um sicherzugehen."_s);
    }

    // The sync to disk at the end can take seconds on a slow disk: it runs beside the window's
    // thread, which goes on offering events meanwhile. A stop asked for now comes too late.
    ReplacementFile::Commit commitWhileOfferingEvents()
    {
        if (m_settings.writing == BlockWriter::Mode::Inline)
            return m_output.commit();
        std::future<ReplacementFile::Commit> committed;
        try {
            committed = std::async(std::launch::async, [this] { return m_output.commit(); });
        } catch (const std::system_error &) { // no thread to be had
            return m_output.commit();
        }
        while (committed.wait_for(std::chrono::milliseconds(EventThrottle::IntervalMs))
               != std::future_status::ready)
            m_window.runPendingEvents();
        return committed.get();
    }

    SaveResult readFailure(const QString &reason)
    {
        return reportFailure(
            u"Die Datei „%1“ konnte nicht gelesen werden."_s.arg(shownPath(m_inputPath)), reason);
    }

    SaveResult writeFailure(const QString &reason)
    {
        return reportFailure(
            u"Die Datei „%1“ konnte nicht geschrieben werden."_s.arg(shownPath(m_outputPath)),
            reason);
    }

    SaveResult inputChanged(const InputFile::Change &change)
    {
        return reportFailure(
            u"Die Datei „%1“ wurde während des Speicherns verändert."_s.arg(shownPath(m_inputPath)),
            howInputChanged(change),
            u"Das Ergebnis wurde verworfen; eine frühere .new-Datei bleibt unverändert."_s);
    }

    QString howInputChanged(const InputFile::Change &change) const
    {
        switch (change.kind) {
        case InputFile::Change::Shorter:
            return u"Beim Start war sie %1 Bytes groß, zuletzt nur noch %2 Bytes."_s
                .arg(m_input.size())
                .arg(change.sizeNow);
        case InputFile::Change::Longer:
            return u"Beim Start war sie %1 Bytes groß, beim Lesen war sie länger."_s.arg(
                m_input.size());
        case InputFile::Change::Modified:
            return u"Ihr Inhalt wurde geändert, während sie gelesen wurde."_s;
        case InputFile::Change::Replaced:
        case InputFile::Change::None:
            break;
        }
        return u"An ihrer Stelle liegt jetzt eine andere Datei, oder sie wurde umbenannt oder "
               "gelöscht."_s;
    }

    SaveResult reportFailure(const QString &what, const QString &reason,
                             const QString &outcome = NothingChanged)
    {
        m_failure = what + "\n\n"_L1 + reason + "\n\n"_L1 + outcome;
        return SaveResult::Failed;
    }

    SaveServices &m_window;
    LoopSettings m_settings;
    QString m_folderPath;
    QString m_fileName;
    QString m_inputPath;
    QString m_outputPath;
    SaveFolder m_folder;
    InputFile m_input;
    ReplacementFile m_output;
    QString m_failure;
};

} // namespace

SaveResult SaveStrengthFile(SaveServices &window, const LoopSettings &settings)
{
    const QString folder = window.folderPath();
    const QString fileName = window.selectedFileName();
    if (fileName.isEmpty()) {
        window.showMessage(SaveServices::MessageIcon::Warning, SaveTitle,
                           u"Es ist keine Datei ausgewählt. Bitte wählen Sie zuerst eine Datei "
                           "aus der Dateiliste."_s);
        return SaveResult::Failed;
    }
    SaveResult result;
    QString failure;
    {
        StrengthFileSave save(window, folder, fileName, settings);
        result = save.run();
        failure = save.failure();
    } // both files are closed and any unfinished output is discarded here
    if (result == SaveResult::Saved)
        window.showMessage(SaveServices::MessageIcon::Information, SaveTitle,
                           u"Speichern erfolgreich"_s);
    else if (result == SaveResult::Failed)
        window.showMessage(SaveServices::MessageIcon::Warning, SaveTitle, failure);
    window.showProgress(0);
    return result;
}
