// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/applicationsetup.h"
#include "app/form1.h"
#include "app/startarguments.h"
#include "platform/console.h"
#include "platform/desktop.h"
#include "platform/fontwarmup.h"

#include <QApplication>

#include <QByteArray>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const char *const DisplayHint = "Starten Sie es in einer Desktop-Sitzung oder ohne Bildschirm mit "
                                "\"xvfb-run -a kelvora-staerkeneditor\".\n";

// A display that is named but cannot be opened (DISPLAY=:99 with no server there) makes Qt end
// the program while QApplication is being constructed, with an English message about
// reinstalling. Any fatal message in that phase is taken for this, so the program explains
// itself in German without depending on Qt's wording. Qt's warnings in that phase ("qt.qpa.xcb:
// could not connect to display") are held back: they pass on once the display is open, and
// give way to the German sentence when it fails.
bool openingDisplay = false; // guarded by heldLock
QtMessageHandler toolkitMessageHandler = nullptr;

struct HeldMessage
{
    QtMsgType type;
    std::string file, function, category; // the context's, copied
    int line;
    QString text;
};
std::mutex heldLock;
std::vector<HeldMessage> heldMessages;

void passOn(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (toolkitMessageHandler)
        toolkitMessageHandler(type, context, message);
}

[[noreturn]] void explainUnopenedDisplay()
{
    std::string named; // the settings that chose the display, as given
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (const char *value = std::getenv(variable); value && *value)
            named += (named.empty() ? " (" : ", ") + std::string(variable) + "=\"" + value + '"';
    }
    std::fprintf(stderr, "Kelvora Stärkeneditor konnte die grafische Anzeige nicht öffnen%s.\n%s",
                 named.empty() ? "" : (named + ')').c_str(), DisplayHint);
    std::_Exit(1); // Qt is half set up: nothing of it may run any more
}

void holdWhileOpeningDisplay(QtMsgType type, const QMessageLogContext &context,
                             const QString &message)
{
    std::unique_lock lock(heldLock);
    if (!openingDisplay) {
        lock.unlock();
        return passOn(type, context, message);
    }
    if (type == QtFatalMsg)
        explainUnopenedDisplay();
    auto copy = [](const char *given) { return std::string(given ? given : ""); };
    heldMessages.push_back({type, copy(context.file), copy(context.function),
                            copy(context.category), context.line, message});
}

void holdToolkitMessages()
{
    const std::lock_guard lock(heldLock);
    openingDisplay = true;
    toolkitMessageHandler = qInstallMessageHandler(holdWhileOpeningDisplay);
}

// The display is open: what the toolkit said meanwhile goes where it would have gone.
void passHeldMessages()
{
    std::vector<HeldMessage> held;
    {
        const std::lock_guard lock(heldLock);
        openingDisplay = false;
        held.swap(heldMessages);
    }
    auto given = [](const std::string &text) { return text.empty() ? nullptr : text.c_str(); };
    for (const HeldMessage &message : held)
        passOn(message.type,
               QMessageLogContext(given(message.file), message.line, given(message.function),
                                  given(message.category)),
               message.text);
}

// Help, version and wrong usage are answered on the terminal, with no display needed.
int answerOnTerminal(const StartArguments &arguments)
{
    useCallersConsole();
    prepareConsoleOutput();
    using Task = StartArguments::Task;
    const bool wrong = arguments.task == Task::WrongUsage;
    const QString text = wrong
        ? "kelvora-staerkeneditor: "_L1 + arguments.problem + u'\n' + startUsageText()
        : arguments.task == Task::Help ? startHelpText()
                                       : startVersionText();
    // In a Windows console as UTF-16, elsewhere as its code page or UTF-8 expects.
    const int writeError = writeStandardStream(wrong ? stderr : stdout, text);
    if (wrong)
        return 2;
    return writeError == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!openClosedStandardStreams())
        return 1;
    failCriticalErrorsQuietly();
    const StartArguments arguments = parseStartArguments(commandLineArguments(argc, argv));
    if (arguments.task != StartArguments::Task::Window)
        return answerOnTerminal(arguments);
    if (displayMissing()) {
        std::fputs("Kelvora Stärkeneditor braucht eine grafische Anzeige, aber weder DISPLAY noch "
                   "WAYLAND_DISPLAY ist gesetzt.\n",
                   stderr);
        std::fputs(DisplayHint, stderr);
        return 1;
    }
    // Read while the toolkit connects to the display; a display that fails ends the program
    // with the thread still at work, which _Exit allows.
    FontWarmUp fonts;
    holdToolkitMessages();
    // Qt sees no argument: a folder or file named like one of its options ("-style") is ours.
    int toolkitArgc = 1;
    QApplication app(toolkitArgc, argv);
    passHeldMessages();
    qInstallMessageHandler(toolkitMessageHandler);
    fonts.finish();
    setUpApplication();
    Form1::Environment environment = Form1::Environment::desktop();
    environment.startPath = arguments.path;
    Form1 window(environment);
    window.show();
    return QApplication::exec();
}
