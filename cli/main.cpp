// SPDX-License-Identifier: GPL-3.0-or-later
// kelvora-staerken: the window's save for many files at once, from the command line.
// Exit status: 0 every file done, 1 at least one failed, 2 wrong usage, 128 + the signal
// number when stopped by SIGINT (130) or SIGTERM (143).
#include "cli/batchrun.h"
#include "cli/commandline.h"
#include "cli/consoleoutput.h"
#include "cli/filegathering.h"
#include "cli/interruption.h"
#include "platform/console.h"

#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr int ExitDone = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

int threadsFor(const Invocation &invocation, qsizetype jobs)
{
    const int wanted = invocation.jobs > 0
        ? invocation.jobs
        : std::max(1, int(std::thread::hardware_concurrency()));
    return int(std::clamp<qsizetype>(jobs, 1, wanted));
}

void reportStop(const Invocation &invocation, const BatchTally &tally, ConsoleOutput &output)
{
    if (invocation.task == Task::Save)
        output.failure(u"Abgebrochen. %1 Dateien gespeichert; für die übrigen ist keine "
                       ".new-Datei entstanden und eine frühere unverändert geblieben."_s.arg(
                           tally.done));
    else
        output.failure(u"Abgebrochen."_s);
}

} // namespace

int main(int argc, char *argv[])
{
    prepareConsoleOutput();
    const ParsedCommandLine parsed = parseCommandLine(argc, argv);
    if (!parsed.invocation) {
        writeText(stderr, "kelvora-staerken: "_L1 + parsed.problem + u'\n' + usageText());
        return ExitUsage;
    }
    const Invocation &invocation = *parsed.invocation;
    if (invocation.task == Task::Help || invocation.task == Task::Version) {
        writeText(stdout, invocation.task == Task::Help ? helpText() : versionText());
        return ExitDone;
    }

    stopOnInterrupt();
    ConsoleOutput output(invocation.quiet, standardErrorIsTerminal());
    if (invocation.maxRaised)
        output.note(u"Die Maximalsterne liegen unter den Startsternen und werden wie im "
                    "Fenster auf %1 angehoben."_s.arg(ratingText(invocation.maxIndex)));
    const QList<FileJob> jobs = gatherFiles(invocation.paths, invocation.recursive);
    const BatchTally tally =
        runBatch(jobs, invocation, threadsFor(invocation, jobs.size()), output);
    if (const int signal = stopSignal()) {
        reportStop(invocation, tally, output);
        return 128 + signal;
    }
    return tally.failed > 0 ? ExitFailed : ExitDone;
}
