// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/filejobs.h"

#include "cli/commandline.h"
#include "cli/interruption.h"
#include "platform/filenames.h"
#include "platform/paths.h"
#include "rewrite/linecensus.h"
#include "rewrite/savemessages.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

// The ratings the command line gives, and the save's progress as bytes for the progress line;
// Ctrl+C stops the save. The save asks for a rating once for each strength line, which counts
// them.
class CompanionSave final : public RatingSource, public SaveObserver
{
public:
    CompanionSave(qint64 size, const Invocation &invocation, std::atomic<qint64> &bytesDone)
        : m_size(size), m_invocation(invocation), m_bytesDone(bytesDone)
    {
    }

    qint64 strengthLines() const { return m_strengthLines; }

    int startRatingIndex() override
    {
        ++m_strengthLines;
        return m_invocation.startIndex;
    }
    int maxRatingIndex() override
    {
        ++m_strengthLines;
        return m_invocation.maxIndex;
    }
    bool progressed(qint64 progress, qint64) override
    {
        m_bytesDone.store(std::min(progress, m_size), std::memory_order_relaxed);
        return !stopRequested();
    }

private:
    qint64 m_size;
    const Invocation &m_invocation;
    std::atomic<qint64> &m_bytesDone;
    qint64 m_strengthLines = 0;
};

// A file without a single strength line is copied with nothing but its line ends changed: most
// likely not a strength file, or the wrong one.
QString withoutStrengthLines(const ShownPaths &shown, bool saved)
{
    const QString found = u"Warnung: In der Datei „%1“ steht keine Start- und keine "
                          "Maximalzeile; "_s.arg(shown.input);
    return found
        + (saved ? u"„%1“ ist nur eine Kopie mit CR LF am Ende jeder Zeile."_s.arg(shown.output)
                 : u"ein Speichern würde nur jede Zeile mit CR LF enden lassen."_s);
}

FileOutcome failed(const SaveOutcome &outcome, const ShownPaths &shown)
{
    return {FileOutcome::End::Failed, {},
            saveMessage(outcome, MessagePlace::CommandLine, shown).paragraphs.join(u' '), {}, {}};
}

// Many files in one folder share one sync of it, done by the batch (batchrun.h). The thread
// the save would start for its final sync is left out too: the batch runs each save on a
// thread of its own already.
FileOutcome save(const FileJob &job, const ShownPaths &shown, const Invocation &invocation,
                 std::atomic<qint64> &bytesDone)
{
    CompanionSave companion(job.size, invocation, bytesDone);
    SaveSettings settings;
    settings.commit = CommitThread::Caller;
    settings.folderSync = FolderSyncBy::Caller;
    const SaveOutcome outcome =
        saveRewrittenCopy(splitPath(job.path), companion, companion, settings);
    switch (outcome.end) {
    case SaveOutcome::End::Saved:
        return {FileOutcome::End::Done,
                invocation.quiet
                    ? QString()
                    : u"%1: %2"_s.arg(
                          shown.output,
                          saveMessage(outcome, MessagePlace::CommandLine, shown).text()),
                companion.strengthLines() == 0 ? withoutStrengthLines(shown, true) : QString(),
                {},
                outcome.unsyncedFolder ? std::optional(FileOutcome::Unsynced{outcome, shown})
                                       : std::nullopt};
    case SaveOutcome::End::Failed:
        return failed(outcome, shown);
    case SaveOutcome::End::Stopped:
        break;
    }
    return {FileOutcome::End::Stopped, {}, {}, {}, {}};
}

// JSON for scripts, in ASCII alone: every other character as an escape ("ä" as backslash,
// "u00e4"), so that no code page a console or pipe may use can change it. Names that are not
// valid text keep their bytes as the escapes of U+DC80..U+DCFF, one per byte, as Python's
// "surrogateescape" reads them.
QString jsonLine(const QJsonObject &object)
{
    const QString text = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    QString ascii;
    ascii.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            ascii += c;
        else
            ascii += u"\\u%1"_s.arg(int(c.unicode()), 4, 16, QChar(u'0'));
    }
    return ascii;
}

// {"lines": 5, "ratings": [1.5, 3.5], "no_rating": 2}: the distinct ratings in stars.
QJsonObject kindJson(const LineKindCensus &kind)
{
    QJsonArray ratings;
    for (int index = 0; index < RatingIndexCount; ++index) {
        if (kind.withRating[size_t(index)] > 0)
            ratings.append(index / 2.0);
    }
    return {{u"lines"_s, kind.lines},
            {u"ratings"_s, ratings},
            {u"no_rating"_s, kind.otherNumber + kind.notNumber}};
}

// One file: its path as given, what its lines hold, or why it could not be read.
QString fileJson(const QString &path, const LineCensus *census, const QString &error)
{
    return jsonLine({{u"path"_s, QDir::toNativeSeparators(path)},
                     {u"start"_s, census ? QJsonValue(kindJson(census->start)) : QJsonValue()},
                     {u"max"_s, census ? QJsonValue(kindJson(census->maximum)) : QJsonValue()},
                     {u"error"_s, error.isEmpty() ? QJsonValue() : QJsonValue(error)}});
}

QString lineCount(qint64 lines)
{
    return lines == 1 ? u"1 Zeile"_s : u"%1 Zeilen"_s.arg(lines);
}

// "3 Zeilen (2 × 3.5 Sterne, 1 × keine Zahl)."
QString valuesFound(const LineKindCensus &kind)
{
    if (kind.lines == 0)
        return u"keine Zeile."_s;
    QStringList values;
    for (int index = 0; index < RatingIndexCount; ++index) {
        if (const qint64 count = kind.withRating[size_t(index)])
            values.append(u"%1 × %2"_s.arg(count).arg(ratingText(index)));
    }
    if (kind.otherNumber > 0)
        values.append(u"%1 × keine gültige Bewertung"_s.arg(kind.otherNumber));
    if (kind.notNumber > 0)
        values.append(u"%1 × keine Zahl"_s.arg(kind.notNumber));
    return u"%1 (%2)."_s.arg(lineCount(kind.lines), values.join(", "_L1));
}

// "3 Zeilen würden auf 3.5 Sterne gesetzt, 2 davon ändern sich."
QString changesFound(const LineKindCensus &kind, int ratingIndex)
{
    if (kind.lines == 0)
        return u"keine Zeile."_s;
    return u"%1 %2 auf %3 gesetzt, %4 davon %5 sich."_s.arg(lineCount(kind.lines))
        .arg(kind.lines == 1 ? u"würde"_s : u"würden"_s)
        .arg(ratingText(ratingIndex))
        .arg(kind.changing)
        .arg(kind.changing == 1 ? u"ändert"_s : u"ändern"_s);
}

FileOutcome census(const FileJob &job, const ShownPaths &shown, const Invocation &invocation,
                   std::atomic<qint64> &bytesDone)
{
    const bool dryRun = invocation.task == Task::DryRun;
    CompanionSave companion(job.size, invocation, bytesDone);
    const CensusResult result =
        takeLineCensus(splitPath(job.path), dryRun ? invocation.startIndex : -1,
                       dryRun ? invocation.maxIndex : -1, companion);
    switch (result.reading.end) {
    case SaveOutcome::End::Saved:
        break;
    case SaveOutcome::End::Failed: {
        const QString failure = readFailureWords(result.reading, shown).join(u' ');
        return {FileOutcome::End::Failed,
                invocation.json ? fileJson(job.path, nullptr, failure) : QString(), failure, {}, {}};
    }
    case SaveOutcome::End::Stopped:
        return {FileOutcome::End::Stopped, {}, {}, {}, {}};
    }
    const LineCensus &found = result.census;
    if (invocation.json)
        return {FileOutcome::End::Done, fileJson(job.path, &found, {}), {}, {}, {}};
    const bool noStrengthLine = found.start.lines + found.maximum.lines == 0;
    const QString report = dryRun
        ? u"%1 → %2 (nichts geschrieben)\n  Startsterne: %3\n  Max.-sterne: %4"_s.arg(
              shown.input, shown.output,
              changesFound(found.start, invocation.startIndex),
              changesFound(found.maximum, invocation.maxIndex))
        : u"%1\n  Startsterne: %2\n  Max.-sterne: %3"_s.arg(
              shown.input, valuesFound(found.start), valuesFound(found.maximum));
    return {FileOutcome::End::Done, report,
            dryRun && noStrengthLine ? withoutStrengthLines(shown, false) : QString(), {},
            {}};
}

} // namespace

void settleFolderSync(FileOutcome &outcome, const std::optional<SaveFailure> &syncFailure)
{
    auto [saved, shown] = *std::exchange(outcome.unsynced, std::nullopt);
    saved.folderSynced(syncFailure);
    if (syncFailure)
        outcome = failed(saved, shown);
}

FileOutcome runFileJob(const FileJob &job, const Invocation &invocation,
                       std::atomic<qint64> &bytesDone)
{
    if (job.settled) {
        // A folder that could not be read, named in the JSON too.
        FileOutcome outcome = job.outcome;
        if (invocation.json && outcome.end == FileOutcome::End::Failed)
            outcome.report = fileJson(job.path, nullptr, outcome.failure);
        return outcome;
    }
    if (stopRequested())
        return {FileOutcome::End::Stopped, {}, {}, {}, {}};
    // The file as given, shown in every line about it.
    const ShownPaths shown(job.path);
    FileOutcome outcome = invocation.task == Task::Save
        ? save(job, shown, invocation, bytesDone)
        : census(job, shown, invocation, bytesDone);
    if (outcome.end != FileOutcome::End::Stopped)
        bytesDone.store(job.size, std::memory_order_relaxed);
    return outcome;
}
