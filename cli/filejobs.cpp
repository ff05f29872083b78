// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/filejobs.h"

#include "cli/commandline.h"
#include "cli/interruption.h"
#include "cli/linecensus.h"
#include "platform/filenames.h"
#include "platform/paths.h"
#include "rewrite/savestrengthfile.h"

#include <QDir>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

// The window's save, told its file and ratings by the command line instead of the lists.
// Messages are kept for the report; the progress row becomes bytes for the progress line.
class BatchSaveServices final : public SaveServices
{
public:
    BatchSaveServices(const QString &path, qint64 size, const Invocation &invocation,
                      std::atomic<qint64> &bytesDone)
        : m_size(size), m_invocation(invocation), m_bytesDone(bytesDone)
    {
        const FolderAndName parts = splitPath(QDir::fromNativeSeparators(path));
        m_folder = parts.folder;
        m_fileName = parts.name;
    }

    QString folderPath() override { return m_folder; }
    QString selectedFileName() override { return m_fileName; }
    int startRatingIndex() override { return m_invocation.startIndex; }
    int maxRatingIndex() override { return m_invocation.maxIndex; }

    // Twenty asterisks stand for the whole file, and a last line without terminator may show
    // one or two more.
    void showProgress(int asterisks) override
    {
        if (asterisks > 0)
            m_bytesDone.store(m_size * std::min(asterisks, 20) / 20, std::memory_order_relaxed);
    }
    bool runPendingEvents() override { return !stopRequested(); }
    void showMessage(MessageIcon, const QString &, const QString &text) override
    {
        m_message = text;
    }

    QString message() const { return m_message; }

private:
    QString m_folder;
    QString m_fileName;
    qint64 m_size;
    const Invocation &m_invocation;
    std::atomic<qint64> &m_bytesDone;
    QString m_message;
};

// The save's message box text on one line: what failed, why, and what was left as it was.
QString oneLine(QString text)
{
    return text.replace("\n\n"_L1, " "_L1).replace(u'\n', u' ');
}

FileOutcome save(const FileJob &job, const Invocation &invocation, std::atomic<qint64> &bytesDone)
{
    BatchSaveServices services(job.path, job.size, invocation, bytesDone);
    switch (SaveStrengthFile(services)) {
    case SaveResult::Saved:
        return {FileOutcome::End::Done,
                invocation.quiet
                    ? QString()
                    : u"%1: %2"_s.arg(shownPath(job.path + ".new"_L1), services.message()),
                {}, {}};
    case SaveResult::Failed:
        return {FileOutcome::End::Failed, {}, oneLine(services.message()), {}};
    case SaveResult::Stopped:
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
    const CensusResult result = takeLineCensus(job.path, dryRun ? invocation.startIndex : -1,
                                               dryRun ? invocation.maxIndex : -1, bytesDone);
    switch (result.end) {
    case CensusResult::End::Read:
        break;
    case CensusResult::End::Failed:
        return {FileOutcome::End::Failed, {}, result.failure, {}};
    case CensusResult::End::Stopped:
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
