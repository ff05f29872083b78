// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/batchrun.h"

#include "cli/consoleoutput.h"
#include "cli/interruption.h"
#include "rewrite/savecore.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;

// How long the reporting waits for the next file before it redraws the progress line.
constexpr auto ProgressInterval = 100ms;

// How long files saved in a folder wait, at most, for the one sync of it that makes them all
// durable before they are reported saved.
constexpr auto FolderSyncInterval = 500ms;

// Folders held open for their sync at once, at most: a file saved in yet another folder has it
// synced at once, so that held folders cannot use up the descriptors the saves need.
constexpr size_t MaxHeldFolders = 32;

using Clock = std::chrono::steady_clock;
constexpr Clock::time_point NoSyncDue = Clock::time_point::max();

// Outcomes in the jobs' order, each with whether it was settled while the arguments were read.
using OutcomesInOrder = std::vector<std::pair<FileOutcome, bool>>;

// One sync for each folder, for all the waiting files saved there.
void syncFolders(OutcomesInOrder &outcomes)
{
    std::vector<std::pair<std::shared_ptr<UnsyncedFolder>, std::optional<SaveFailure>>> synced;
    for (auto &[outcome, settled] : outcomes) {
        if (!outcome.unsynced)
            continue;
        const std::shared_ptr<UnsyncedFolder> folder = outcome.unsynced->saved.unsyncedFolder;
        auto done = std::find_if(synced.begin(), synced.end(),
                                 [&](const auto &sync) { return sync.first == folder; });
        if (done == synced.end())
            done = synced.insert(done, {folder, syncFolder(*folder)});
        settleFolderSync(outcome, done->second);
    }
}

bool anyUnsynced(const OutcomesInOrder &outcomes)
{
    return std::any_of(outcomes.begin(), outcomes.end(),
                       [](const auto &outcome) { return outcome.first.unsynced.has_value(); });
}

class BatchRun
{
public:
    BatchRun(const QList<FileJob> &jobs, const Invocation &invocation)
        : m_jobs(jobs), m_invocation(invocation), m_slots(size_t(jobs.size()))
    {
        for (const FileJob &job : jobs)
            m_bytes += job.size;
    }

    BatchTally run(int threads, ConsoleOutput &output)
    {
        std::vector<std::thread> workers = startWorkers(threads);
        reportInOrder(output, workers.empty());
        for (std::thread &worker : workers)
            worker.join();
        return m_tally;
    }

private:
    struct Slot
    {
        std::atomic<qint64> bytesDone{0};
        std::optional<FileOutcome> outcome; // under m_mutex
    };

    // As many as asked and the system grants: where it has no thread to give (a process limit,
    // memory), the ones running share the files, and without any the reporting thread works
    // through them itself. None are started once a stop has been asked for.
    std::vector<std::thread> startWorkers(int threads)
    {
        std::vector<std::thread> workers;
        workers.reserve(size_t(threads));
        try {
            while (int(workers.size()) < threads && !stopRequested())
                workers.emplace_back([this] { work(); });
        } catch (const std::system_error &) {
        }
        return workers;
    }

    void work()
    {
        while (workOnNext()) {
        }
    }

    // False when no file was left.
    bool workOnNext()
    {
        const size_t index = m_next.fetch_add(1);
        if (index >= m_slots.size())
            return false;
        Slot &slot = m_slots[index];
        FileOutcome outcome = runFileJob(m_jobs.at(qsizetype(index)), m_invocation,
                                         slot.bytesDone);
        if (outcome.unsynced)
            shareFolder(outcome);
        const std::lock_guard lock(m_mutex);
        slot.outcome = std::move(outcome);
        ++m_finished;
        m_changed.notify_one();
        return true;
    }

    // The saved files of a folder wait for its sync, and the files after them with them, so
    // that the order holds; the sync comes once they have waited FolderSyncInterval, or at the
    // end.
    void reportInOrder(ConsoleOutput &output, bool alone)
    {
        size_t reported = 0;
        OutcomesInOrder waiting;
        Clock::time_point syncDue = NoSyncDue;
        while (reported < m_slots.size()) {
            if (alone)
                workOnNext();
            size_t finished;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait_for(lock, ProgressInterval,
                                   [&] { return m_slots[reported].outcome.has_value(); });
                for (; reported < m_slots.size() && m_slots[reported].outcome; ++reported)
                    waiting.emplace_back(*std::exchange(m_slots[reported].outcome, std::nullopt),
                                         m_jobs.at(qsizetype(reported)).settled);
                finished = m_finished;
            }
            if (syncDue == NoSyncDue && anyUnsynced(waiting))
                syncDue = Clock::now() + FolderSyncInterval;
            if (syncDue != NoSyncDue && (reported == m_slots.size() || Clock::now() >= syncDue)) {
                syncFolders(waiting);
                syncDue = NoSyncDue;
            }
            if (syncDue == NoSyncDue) {
                for (const auto &[outcome, settled] : waiting)
                    report(outcome, settled, output);
                waiting.clear();
            }
            output.progress(qsizetype(finished), qsizetype(m_slots.size()), bytesDone(), m_bytes);
        }
        output.endProgress();
    }

    // One folder held open however many files wait for its sync.
    void shareFolder(FileOutcome &outcome)
    {
        std::shared_ptr<UnsyncedFolder> &folder = outcome.unsynced->saved.unsyncedFolder;
        {
            const std::lock_guard lock(m_mutex);
            std::erase_if(m_heldFolders, [](const auto &held) { return held.expired(); });
            for (const std::weak_ptr<UnsyncedFolder> &held : m_heldFolders) {
                if (std::shared_ptr<UnsyncedFolder> same = held.lock();
                    same && sameFolder(*same, *folder)) {
                    folder = std::move(same);
                    return;
                }
            }
            if (m_heldFolders.size() < MaxHeldFolders) {
                m_heldFolders.push_back(folder);
                return;
            }
        }
        settleFolderSync(outcome, syncFolder(*folder));
    }

    void report(const FileOutcome &outcome, bool settled, ConsoleOutput &output)
    {
        tally(outcome, settled);
        output.failure(outcome.failure);
        output.note(outcome.note);
        output.report(outcome.report);
    }

    void tally(const FileOutcome &outcome, bool settled)
    {
        switch (outcome.end) {
        case FileOutcome::End::Done:
            if (!settled) {
                ++m_tally.done;
                m_tally.warned += outcome.failure.isEmpty() ? 0 : 1;
            }
            break;
        case FileOutcome::End::Failed:
            ++m_tally.failed;
            break;
        case FileOutcome::End::Stopped:
            ++m_tally.stopped;
            break;
        }
    }

    qint64 bytesDone() const
    {
        qint64 sum = 0;
        for (const Slot &slot : m_slots)
            sum += slot.bytesDone.load(std::memory_order_relaxed);
        return sum;
    }

    const QList<FileJob> &m_jobs;
    const Invocation &m_invocation;
    std::vector<Slot> m_slots;
    qint64 m_bytes = 0;
    std::atomic<size_t> m_next{0};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_finished = 0; // under m_mutex
    std::vector<std::weak_ptr<UnsyncedFolder>> m_heldFolders; // under m_mutex
    BatchTally m_tally;
};

} // namespace

BatchTally runBatch(const QList<FileJob> &jobs, const Invocation &invocation, int threads,
                    ConsoleOutput &output)
{
    if (jobs.isEmpty())
        return {};
    return BatchRun(jobs, invocation).run(threads, output);
}
