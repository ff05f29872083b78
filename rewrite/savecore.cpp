// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/savecore.h"

#include "platform/savefiles.h"
#include "rewrite/eventthrottle.h"
#include "rewrite/linereader.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <system_error>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// The caller's observer, with the last progress it heard: while the file is checked again and
// synced, the caller hears that same progress, so a row of asterisks stays as it was.
class ProgressMemo final : public SaveObserver
{
public:
    explicit ProgressMemo(SaveObserver &observer) : m_observer(observer) {}

    bool progressed(qint64 progress, qint64 length) override
    {
        m_progress = progress;
        m_length = length;
        return m_observer.progressed(progress, length);
    }
    qint64 reportInterval() const override { return m_observer.reportInterval(); }

    bool again() { return m_observer.progressed(m_progress, m_length); }

private:
    SaveObserver &m_observer;
    // Nothing worked on yet, of something: no asterisks while a held file is waited for.
    qint64 m_progress = 0;
    qint64 m_length = 1;
};

// Another program may hold a file for a moment: a virus scanner, the search indexer, a cloud
// client or Explorer's preview open a file just written. A step that failed in a way the system
// calls transient is tried again after growing pauses, about two seconds in all; the caller
// hears the progress meanwhile, so the window stays live and a stop is heard.
class TransientRetry
{
public:
    static constexpr int FirstPauseMs = 20;
    static constexpr int TotalMs = 2000;

    explicit TransientRetry(ProgressMemo &observer) : m_observer(observer) {}

    // After a transient failure: waits the next pause. False when the time is used up, or the
    // caller asked to stop (stopped()).
    bool pause()
    {
        if (m_waitedMs >= TotalMs)
            return false;
        const int pauseMs = std::min(m_nextPauseMs, TotalMs - m_waitedMs);
        m_waitedMs += pauseMs;
        m_nextPauseMs *= 2;
        const QDeadlineTimer end(pauseMs);
        while (!end.hasExpired()) {
            if (!m_observer.again()) {
                m_stopped = true;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(
                std::min<qint64>(EventThrottle::IntervalMs, end.remainingTime())));
        }
        return true;
    }

    // Calls `attempt` again while it fails in a way that may pass, and the time lasts. A file
    // in place whose folder could not be synced is past trying again.
    std::optional<SaveFailure> until(const auto &attempt)
    {
        std::optional<SaveFailure> failure = attempt();
        while (failure && failure->step != SaveFailure::Step::SyncFolder
               && failure->systemError.transient() && pause())
            failure = attempt();
        return failure;
    }

    bool stopped() const { return m_stopped; }

private:
    ProgressMemo &m_observer;
    int m_nextPauseMs = FirstPauseMs;
    int m_waitedMs = 0;
    bool m_stopped = false;
};

// What a save and a reading share: the outcome, the caller's progress, and the selected file,
// opened in its folder and waited for while another program holds it.
class InputRun
{
protected:
    InputRun(const FolderAndName &file, SaveObserver &observer) : m_observer(observer)
    {
        m_outcome.input = file;
    }

    // The input first, so that a missing folder or file is reported as what it is.
    bool inputOpened()
    {
        if (!goesOn(m_folder.open(m_outcome.input.folder)))
            return false;
        TransientRetry retry(m_observer);
        const std::optional<SaveFailure> failure =
            retry.until([this] { return m_input.open(m_folder, m_outcome.input.name); });
        m_outcome.inputSize = m_input.size();
        return retry.stopped() ? stopped() : goesOn(failure);
    }

    // Notes a failure in the outcome; true when there was none.
    bool goesOn(const std::optional<SaveFailure> &failure)
    {
        if (failure) {
            m_outcome.end = SaveOutcome::End::Failed;
            m_outcome.failure = *failure;
        }
        return !failure;
    }

    bool stopped()
    {
        m_outcome.end = SaveOutcome::End::Stopped;
        return false;
    }

    SaveFailure readFailure() const
    {
        return SaveFailure::ofSystem(SaveFailure::Step::ReadInput, m_input.error());
    }

    ProgressMemo m_observer;
    SaveOutcome m_outcome;
    SaveFolder m_folder;
    InputFile m_input;
};

class StrengthFileSave : private InputRun
{
public:
    StrengthFileSave(const FolderAndName &file, RatingSource &ratings, SaveObserver &observer,
                     const SaveSettings &settings)
        : InputRun(file, observer), m_ratings(ratings), m_settings(settings)
    {
    }

    // Nothing of the output is visible before its commit.
    SaveOutcome run()
    {
        if (inputOpened() && outputOpened() && rewritten() && unchangedWhileRead())
            commit();
        if (m_outcome.end == SaveOutcome::End::Failed) {
            const ReplacementFile::Stranded stranded = m_output.stranded();
            m_outcome.newContentKeptAt = stranded.newContent;
            m_outcome.earlierOutputAt = stranded.earlier;
        }
        return m_outcome;
    }

private:
    bool outputOpened()
    {
        const std::optional<SaveFailure> failure =
            m_output.open(m_folder, m_outcome.input.name + ".new"_L1, m_input);
        m_outcome.earlierOutputFound = m_output.foundEarlierFile();
        if (failure)
            m_outcome.outputFolder = m_output.targetFolder();
        return goesOn(failure);
    }

    bool rewritten()
    {
        switch (rewriteLines(m_input, m_input.size(), m_output, m_ratings, m_observer, m_settings)) {
        case LoopEnd::Finished:
            return true;
        case LoopEnd::Stopped:
            return stopped();
        case LoopEnd::ReadFailed:
            return goesOn(readFailure());
        case LoopEnd::WriteFailed:
            break;
        }
        return goesOn(m_output.failure());
    }

    // Output from a file that changed while it was read matches no state of it.
    bool unchangedWhileRead()
    {
        if (const InputChange change = m_input.changeSinceOpen(); change.kind != InputChange::None)
            return goesOn(SaveFailure::inputChanged(change));
        switch (m_input.confirmContent([this] { return m_observer.again(); })) {
        case InputFile::Confirmed::Same:
            return true;
        case InputFile::Confirmed::Differs:
            return goesOn(SaveFailure::inputChanged({InputChange::Modified, m_input.size()}));
        case InputFile::Confirmed::Stopped:
            return stopped();
        case InputFile::Confirmed::Failed:
            break;
        }
        return goesOn(readFailure());
    }

    void commit()
    {
        TransientRetry retry(m_observer);
        const std::optional<SaveFailure> failure =
            retry.until([this] { return commitWhileReporting(); });
        if (retry.stopped())
            stopped();
        else if (goesOn(failure))
            m_outcome.unsyncedFolder = m_output.unsyncedFolder();
    }

    // The sync to disk at the end can take seconds on a slow disk: it runs beside the caller's
    // thread, which goes on reporting meanwhile. A stop asked for now comes too late.
    std::optional<SaveFailure> commitWhileReporting()
    {
        const FolderSync folderSync = m_settings.folderSync == FolderSyncBy::Caller
            ? FolderSync::ByCaller
            : FolderSync::Now;
        if (m_settings.commit == CommitThread::Caller)
            return m_output.commit(folderSync);
        std::future<std::optional<SaveFailure>> committed;
        try {
            committed = std::async(std::launch::async,
                                   [this, folderSync] { return m_output.commit(folderSync); });
        } catch (const std::system_error &) { // no thread to be had
            return m_output.commit(folderSync);
        }
        while (committed.wait_for(std::chrono::milliseconds(EventThrottle::IntervalMs))
               != std::future_status::ready)
            m_observer.again();
        return committed.get();
    }

    RatingSource &m_ratings;
    const SaveSettings m_settings;
    ReplacementFile m_output;
};

// The lines of the selected file for a visitor, with the save's progress reports.
class StrengthFileReading : private InputRun
{
public:
    StrengthFileReading(const FolderAndName &file, LineVisitor &lines, SaveObserver &observer)
        : InputRun(file, observer), m_lines(lines)
    {
    }

    SaveOutcome run()
    {
        if (inputOpened())
            readLines();
        return m_outcome;
    }

private:
    bool readLines()
    {
        LineReader reader(m_input);
        const qint64 interval = m_observer.reportInterval();
        qint64 progress = 0;
        qint64 reported = 0;
        while (const std::optional<LinePiece> piece = reader.next()) {
            m_lines.piece(piece->bytes, piece->startsLine, piece->endsLine);
            progress += piece->bytes.size() + (piece->endsLine ? 2 : 0);
            if (progress - reported >= interval) {
                reported = progress;
                if (!m_observer.progressed(progress, m_input.size()))
                    return stopped();
            }
        }
        if (reader.failed())
            return goesOn(readFailure());
        return progress == reported || m_observer.progressed(progress, m_input.size());
    }

    LineVisitor &m_lines;
};

} // namespace

SaveOutcome saveRewrittenCopy(const FolderAndName &file, RatingSource &ratings,
                              SaveObserver &observer, const SaveSettings &settings)
{
    return StrengthFileSave(file, ratings, observer, settings).run();
}

std::optional<SaveFailure> syncFolder(const UnsyncedFolder &folder)
{
    return folder.sync();
}

bool sameFolder(const UnsyncedFolder &one, const UnsyncedFolder &other)
{
    return one.identity() == other.identity();
}

SaveOutcome readStrengthFile(const FolderAndName &file, LineVisitor &lines,
                             SaveObserver &observer)
{
    return StrengthFileReading(file, lines, observer).run();
}
