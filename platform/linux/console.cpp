// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/console.h"

#include "platform/filenames.h"

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <pthread.h>
#include <initializer_list>
#include <unistd.h>

bool openClosedStandardStreams()
{
    for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream) {
        if (::fcntl(stream, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // open() takes the lowest free number, which is this one: those below are open now.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened != stream) {
            if (opened >= 0)
                ::close(opened);
            return false;
        }
    }
    return true;
}

const bool ShellExpandsWildcards = true;
const bool ConsoleCodePages = false;

QStringList commandLineArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(fileNameFromSystem(argv[i]));
    return arguments;
}

// Terminals here all take the escape that clears the rest of a line.
Terminal standardErrorTerminal()
{
    return ::isatty(STDERR_FILENO) == 1 ? Terminal::WithEscapes : Terminal::None;
}

void failCriticalErrorsQuietly() {}
void useCallersConsole() {}

// Terminals here take UTF-8 as it is. Output into a pipe whose reader has gone ("| head") must
// not end the program in the middle of a save: the write fails instead, and the saves go on.
void prepareConsoleOutput()
{
    std::signal(SIGPIPE, SIG_IGN);
}

int writeStandardStream(std::FILE *stream, QStringView text)
{
    return writeBytes(stream, text.toUtf8());
}

void writeRedirectedOutputAsUtf8() {}

// The signal is ignored while the program runs (prepareConsoleOutput) and may have come blocked
// from the caller.
void endForClosedOutput()
{
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
    std::raise(SIGPIPE);
    std::_Exit(128 + SIGPIPE);
}

// A closed terminal (SIGHUP) is a request to stop like any other: ended by it, running saves
// would leave their hidden temporary files behind.
void catchStopSignals(void (*handler)(int))
{
    for (const StopRequest &request : stopRequests())
        std::signal(request.signal, handler);
}

QList<StopRequest> stopRequests()
{
    using Way = StopRequest::Way;
    return {{Way::CtrlC, SIGINT}, {Way::Termination, SIGTERM}, {Way::TerminalClosed, SIGHUP}};
}

// The default action, so that the caller sees the signal itself; "ESC[K" clears what the
// progress line left (write() is safe in a signal handler, stdio is not).
void endAtOnce(int signal)
{
    if (::isatty(STDERR_FILENO) == 1) {
        constexpr char clear[] = "\r\x1b[K";
        [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, clear, sizeof clear - 1);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal); // should the signal be blocked
}
