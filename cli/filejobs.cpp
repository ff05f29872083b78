// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/filejobs.h"

#include "cli/commandline.h"
#include "cli/interruption.h"
#include "platform/filenames.h"
#include "platform/paths.h"
#include "rewrite/linecensus.h"
#include "rewrite/savemessages.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

// The ratings the command line gives, and the save's progress as bytes for the progress line;
// Ctrl+C stops the save.
class CompanionSave final : public RatingSource, public SaveObserver
{
public:
    CompanionSave(qint64 size, const Invocation &invocation, std::atomic<qint64> &bytesDone)
        : m_size(size), m_invocation(invocation), m_bytesDone(bytesDone)
    {
    }

    int startRatingIndex() override { return m_invocation.startIndex; }
    int maxRatingIndex() override { return m_invocation.maxIndex; }
    bool progressed(qint64 progress, qint64) override
    {
        m_bytesDone.store(std::min(progress, m_size), std::memory_order_relaxed);
        return !stopRequested();
    }

private:
    qint64 m_size;
    const Invocation &m_invocation;
    std::atomic<qint64> &m_bytesDone;
};

FileOutcome save(const FileJob &job, const Invocation &invocation, std::atomic<qint64> &bytesDone)
{
    CompanionSave companion(job.size, invocation, bytesDone);
    const SaveOutcome outcome = saveRewrittenCopy(splitPath(job.path), companion, companion);
    const SaveMessage message = saveMessage(outcome);
    switch (outcome.end) {
    case SaveOutcome::End::Saved:
        return {FileOutcome::End::Done,
                invocation.quiet
                    ? QString()
                    : u"%1: %2"_s.arg(shownPath(outcome.outputPath()), message.text()),
                {}, {}};
    case SaveOutcome::End::Failed:
        return {FileOutcome::End::Failed, {}, message.paragraphs.join(u' '), {}};
    case SaveOutcome::End::Stopped:
        break;
    }
    return {FileOutcome::End::Stopped, {}, {}, {}};
}

QString lineCount(qint64 lines)
{
    return lines == 1 ? u"1 Zeile"_s : u"%1 Zeilen"_s.arg(lines);
}

// "3 Zeilen (2 × 3.5 Sterne, 1 × keine Zahl)"
QString valuesFound(const LineKindCensus &kind)
{
    if (kind.lines == 0)
        return u"keine Zeile"_s;
    QStringList values;
    for (int index = 0; index < RatingIndexCount; ++index) {
        if (const qint64 count = kind.withRating[size_t(index)])
            values.append(u"%1 × %2"_s.arg(count).arg(ratingText(index)));
    }
    if (kind.otherNumber > 0)
        values.append(u"%1 × keine gültige Bewertung"_s.arg(kind.otherNumber));
    if (kind.notNumber > 0)
        values.append(u"%1 × keine Zahl"_s.arg(kind.notNumber));
    return u"%1 (%2)"_s.arg(lineCount(kind.lines), values.join(", "_L1));
}

// "3 Zeilen würden auf 3.5 Sterne gesetzt, 2 davon ändern sich"
QString changesFound(const LineKindCensus &kind, int ratingIndex)
{
    if (kind.lines == 0)
        return u"keine Zeile"_s;
    return u"%1 %2 auf %3 gesetzt, %4 davon %5 sich"_s.arg(lineCount(kind.lines))
        .arg(kind.lines == 1 ? u"würde"_s : u"würden"_s)
        .arg(ratingText(ratingIndex))
        .arg(kind.changing)
        .arg(kind.changing == 1 ? u"ändert"_s : u"ändern"_s);
}

FileOutcome census(const FileJob &job, const Invocation &invocation,
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
    case SaveOutcome::End::Failed:
        return {FileOutcome::End::Failed, {}, readFailureWords(result.reading).join(u' '), {}};
    case SaveOutcome::End::Stopped:
        return {FileOutcome::End::Stopped, {}, {}, {}};
    }
    const LineCensus &found = result.census;
    const QString report = dryRun
        ? u"%1 → %2 (nichts geschrieben)\n  Startsterne: %3\n  Max.-sterne: %4"_s.arg(
              shownPath(job.path), shownPath(job.path + ".new"_L1),
              changesFound(found.start, invocation.startIndex),
              changesFound(found.maximum, invocation.maxIndex))
        : u"%1\n  Startsterne: %2\n  Max.-sterne: %3"_s.arg(
              shownPath(job.path), valuesFound(found.start), valuesFound(found.maximum));
    return {FileOutcome::End::Done, report, {}, {}};
}

} // namespace

FileOutcome runFileJob(const FileJob &job, const Invocation &invocation,
                       std::atomic<qint64> &bytesDone)
{
    if (job.settled)
        return job.outcome;
    if (stopRequested())
        return {FileOutcome::End::Stopped, {}, {}, {}};
    FileOutcome outcome =
        invocation.task == Task::Save ? save(job, invocation, bytesDone) : census(job, invocation, bytesDone);
    if (outcome.end != FileOutcome::End::Stopped)
        bytesDone.store(job.size, std::memory_order_relaxed);
    return outcome;
}
