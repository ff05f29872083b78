// SPDX-License-Identifier: GPL-3.0-or-later
// kelvora-staerken: the window's save for many files at once, from the command line.
// Exit status: 0 every file done, 1 at least one failed, 2 wrong usage, 3 standard output could
// not be written (the files were done), 128 + the signal number when stopped by SIGINT (130),
// SIGTERM (143) or SIGHUP (129); killed by SIGPIPE (141 in a shell) when the reader of its
// output went away, as `cat` ends.
#include "cli/batchrun.h"
#include "cli/commandline.h"
#include "cli/consoleoutput.h"
#include "cli/filegathering.h"
#include "cli/interruption.h"
#include "platform/console.h"
#include "rewrite/savereasons.h"

#include <cerrno>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr int ExitDone = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
constexpr int ExitOutput = 3;

int threadsFor(const Invocation &invocation, qsizetype jobs)
{
    const int wanted = invocation.jobs > 0
        ? invocation.jobs
        : std::clamp(int(std::thread::hardware_concurrency()), 1, MaxJobs);
    return int(std::clamp<qsizetype>(jobs, 1, wanted));
}

// "2000 Dateien", "1 Datei", "keine Datei"
QString fileCount(qsizetype count)
{
    if (count == 0)
        return u"keine Datei"_s;
    return count == 1 ? u"1 Datei"_s : u"%1 Dateien"_s.arg(count);
}

// The closing line of a batch, also off a terminal: how many files were done, and how many
// not. "2000 Dateien gespeichert, 3 fehlgeschlagen."
QString summary(Task task, const BatchTally &tally, bool stopped)
{
    const QString done = task == Task::Save ? u"gespeichert"_s
        : task == Task::Show                ? u"gelesen"_s
                                            : u"geprüft"_s;
    QString counts = fileCount(tally.done) + u' ' + done;
    if (tally.warned > 0)
        counts += u" (%1 ohne Start- und Maximalzeile)"_s.arg(tally.warned);
    if (tally.failed > 0)
        counts += u", %1 fehlgeschlagen"_s.arg(tally.failed);
    if (tally.stopped > 0)
        counts += u", %1 nicht %2"_s.arg(fileCount(tally.stopped), done);
    counts[0] = counts[0].toUpper();
    QString text = stopped ? u"Abgebrochen. "_s + counts + u'.' : counts + u'.';
    if (task == Task::DryRun)
        text += u" Es wurde nichts geschrieben."_s;
    else if (task == Task::Save && tally.stopped > 0)
        text += u" Für die nicht gespeicherten ist keine .new-Datei entstanden oder verändert "
                "worden."_s;
    return text;
}

// Output that could not be written ends as a failure of its own, unless the status already is
// one: the files were worked on regardless. Closing standard output brings out a write error
// that no flush showed yet (a network file system may report it only then).
int withOutputChecked(int status, int outputError)
{
    errno = 0;
    if (std::fclose(stdout) != 0 && outputError == 0)
        outputError = errno != 0 ? errno : EIO;
    if (outputError == 0)
        return status;
    if (outputError == EPIPE)
        endForClosedOutput();
    writeText(stderr, u"kelvora-staerken: Die Standardausgabe konnte nicht geschrieben werden. "
                      "%1\n"_s.arg(germanReason(SystemError::ofErrno(outputError))));
    return status == ExitDone ? ExitOutput : status;
}

int run(const Invocation &invocation)
{
    stopOnInterrupt();
    ConsoleOutput output(invocation.quiet, standardErrorTerminal());
    if (invocation.maxRaised)
        output.note(u"Die Maximalsterne liegen unter den Startsternen und werden wie im "
                    "Fenster auf %1 angehoben."_s.arg(ratingText(invocation.maxIndex)));
    if (invocation.jobsLowered)
        output.note(u"Es werden höchstens %1 Dateien gleichzeitig bearbeitet."_s.arg(MaxJobs));
    const QList<FileJob> jobs = gatherFiles(invocation.paths, invocation.recursive);
    const BatchTally tally =
        runBatch(jobs, invocation, threadsFor(invocation, jobs.size()), output);
    // The saves begun have ended, each complete or discarded.
    if (outputClosed())
        endForClosedOutput();
    const int signal = stopSignal();
    // Quiet leaves it out when all went well, as it leaves out the success lines.
    if (!invocation.quiet || tally.failed > 0 || signal != 0)
        output.failure(summary(invocation.task, tally, signal != 0));
    const int status = signal != 0 ? 128 + signal : tally.failed > 0 ? ExitFailed : ExitDone;
    return withOutputChecked(status, output.outputError());
}

} // namespace

int main(int argc, char *argv[])
{
    // Before anything is opened; without a stream to say it on, the status has to tell.
    if (!openClosedStandardStreams())
        return ExitOutput;
    failCriticalErrorsQuietly();
    prepareConsoleOutput();
    const ParsedCommandLine parsed = parseCommandLine(commandLineArguments(argc, argv));
    if (parsed.utf8)
        writeRedirectedOutputAsUtf8();
    if (!parsed.invocation) {
        writeText(stderr, "kelvora-staerken: "_L1 + parsed.problem + u'\n' + usageText());
        return ExitUsage;
    }
    const Invocation &invocation = *parsed.invocation;
    if (invocation.task == Task::Help || invocation.task == Task::Version)
        return withOutputChecked(ExitDone, writeText(stdout, invocation.task == Task::Help
                                                                 ? helpText()
                                                                 : versionText()));
    return run(invocation);
}
