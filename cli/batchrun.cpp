// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/batchrun.h"

#include "cli/consoleoutput.h"
#include "cli/interruption.h"

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
        const std::lock_guard lock(m_mutex);
        slot.outcome = std::move(outcome);
        ++m_finished;
        m_changed.notify_one();
        return true;
    }

    void reportInOrder(ConsoleOutput &output, bool alone)
    {
        size_t reported = 0;
        while (reported < m_slots.size()) {
            if (alone)
                workOnNext();
            std::vector<std::pair<FileOutcome, bool>> ready; // with whether it was settled
            size_t finished;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait_for(lock, ProgressInterval,
                                   [&] { return m_slots[reported].outcome.has_value(); });
                for (; reported < m_slots.size() && m_slots[reported].outcome; ++reported)
                    ready.emplace_back(*std::exchange(m_slots[reported].outcome, std::nullopt),
                                       m_jobs.at(qsizetype(reported)).settled);
                finished = m_finished;
            }
            for (const auto &[outcome, settled] : ready)
                report(outcome, settled, output);
            output.progress(qsizetype(finished), qsizetype(m_slots.size()), bytesDone(), m_bytes);
        }
        output.endProgress();
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
