// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/savecore.h"

#include "platform/paths.h"
#include "rewrite/eventthrottle.h"
#include "rewrite/saveloop.h"

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

    bool stopped() const { return m_stopped; }

private:
    ProgressMemo &m_observer;
    int m_nextPauseMs = FirstPauseMs;
    int m_waitedMs = 0;
    bool m_stopped = false;
};

class StrengthFileSave
{
public:
    StrengthFileSave(const QString &inputPath, RatingSource &ratings, SaveObserver &observer,
                     const SaveSettings &settings)
        : m_ratings(ratings), m_observer(observer), m_settings(settings)
    {
        m_outcome.inputPath = inputPath;
        m_outcome.outputPath = inputPath + ".new"_L1;
    }

    SaveOutcome run()
    {
        runSteps();
        return m_outcome;
    }

private:
    void runSteps()
    {
        // The input first, so that a missing folder or file is reported as what it is. Nothing
        // of the output is visible before its commit either way.
        const FolderAndName parts = splitPath(m_outcome.inputPath);
        if (!opened(m_folder.open(parts.folder), Step::OpenInput) || !inputOpened(parts.name)
            || !opened(m_output.open(m_folder, parts.name + ".new"_L1, m_input), Step::OpenOutput))
            return;
        m_outcome.inputSize = m_input.size();
        switch (rewriteLines(m_input, m_input.size(), m_output, m_ratings, m_observer, m_settings)) {
        case LoopEnd::Finished:
            break;
        case LoopEnd::Stopped:
            return stopped();
        case LoopEnd::ReadFailed:
            return failed(Step::ReadInput, m_input.error());
        case LoopEnd::WriteFailed:
            return failed(Step::WriteOutput, m_output.error());
        }
        // Output from a file that changed while it was read matches no state of it.
        if (const InputFile::Change change = m_input.changeSinceOpen();
            change.kind != InputFile::Change::None)
            return inputChanged(change);
        if (!contentConfirmed())
            return;
        commit();
    }

    using Step = SaveOutcome::Step;

    bool opened(const Opened &opened, Step step)
    {
        if (opened.succeeded())
            return true;
        m_outcome.opened = opened;
        if (step == Step::OpenOutput)
            m_outcome.outputFolder = m_output.targetFolder();
        failed(step, opened.error);
        return false;
    }

    bool inputOpened(const QString &name)
    {
        TransientRetry retry(m_observer);
        Opened opened;
        while (!(opened = m_input.open(m_folder, name)).succeeded() && opened.error.transient()
               && retry.pause()) {
        }
        if (retry.stopped()) {
            stopped();
            return false;
        }
        return this->opened(opened, Step::OpenInput);
    }

    bool contentConfirmed()
    {
        switch (m_input.confirmContent([this] { return m_observer.again(); })) {
        case InputFile::Confirmed::Same:
            return true;
        case InputFile::Confirmed::Differs:
            inputChanged({InputFile::Change::Modified, m_input.size()});
            break;
        case InputFile::Confirmed::Stopped:
            stopped();
            break;
        case InputFile::Confirmed::Failed:
            failed(Step::ReadInput, m_input.error());
            break;
        }
        return false;
    }

    void commit()
    {
        TransientRetry retry(m_observer);
        ReplacementFile::Commit committed;
        while ((committed = commitWhileReporting()) == ReplacementFile::Commit::NotWritten
               && m_output.error().transient() && retry.pause()) {
        }
        if (retry.stopped())
            return stopped();
        switch (committed) {
        case ReplacementFile::Commit::Done:
            return;
        case ReplacementFile::Commit::NotWritten:
            m_outcome.newContentKeptAt = m_output.stranded().newContent;
            m_outcome.earlierOutputAt = m_output.stranded().earlier;
            return failed(Step::WriteOutput, m_output.error());
        case ReplacementFile::Commit::NotDurable:
            return failed(Step::SyncFolder, m_output.error());
        }
    }

    // The sync to disk at the end can take seconds on a slow disk: it runs beside the caller's
    // thread, which goes on reporting meanwhile. A stop asked for now comes too late.
    ReplacementFile::Commit commitWhileReporting()
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
            m_observer.again();
        return committed.get();
    }

    void inputChanged(const InputFile::Change &change)
    {
        m_outcome.change = change;
        failed(Step::InputChanged, {});
    }

    void failed(Step step, const SystemError &error)
    {
        m_outcome.end = SaveOutcome::End::Failed;
        m_outcome.step = step;
        m_outcome.error = error;
    }

    void stopped() { m_outcome.end = SaveOutcome::End::Stopped; }

    RatingSource &m_ratings;
    ProgressMemo m_observer;
    const SaveSettings m_settings;
    SaveOutcome m_outcome;
    SaveFolder m_folder;
    InputFile m_input;
    ReplacementFile m_output;
};

} // namespace

SaveOutcome saveRewrittenCopy(const QString &inputPath, RatingSource &ratings,
                              SaveObserver &observer, const SaveSettings &settings)
{
    return StrengthFileSave(inputPath, ratings, observer, settings).run();
}
