// SPDX-License-Identifier: GPL-3.0-or-later
// headless_save [--one-thread] <file> <startIndex> <maxIndex>
// Saves <file> to <file>.new as the Save button does, without a window. Prints the message as
// "icon|title|text" (line breaks in the text written as \n), "outcome|<step>|<error number>"
// with the step that failed (0: none) for tests, and "progress|<asterisks>" with the last row
// of asterisks. Exit code: 0 saved, 1 failed, 2 stopped (SIGINT, SIGTERM),
// 3 wrong arguments. --one-thread keeps the save in one thread, its sync included, for tests
// that count its system calls; an output of 8 MiB or more is still synced early beside it.
#include "platform/filenames.h"
#include "rewrite/asteriskcounter.h"
#include "rewrite/ratings.h"
#include "rewrite/savecore.h"
#include "rewrite/savemessages.h"

#include <QByteArrayList>

#include <csignal>
#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void noteInterrupt(int)
{
    interrupted = 1;
}

class FixedRatings final : public RatingSource
{
public:
    FixedRatings(int startIndex, int maxIndex) : m_startIndex(startIndex), m_maxIndex(maxIndex) {}
    int startRatingIndex() override { return m_startIndex; }
    int maxRatingIndex() override { return m_maxIndex; }

private:
    int m_startIndex;
    int m_maxIndex;
};

// Keeps the last progress for the row of asterisks; a signal stops the save.
class LastProgress final : public SaveObserver
{
public:
    bool progressed(qint64 progress, qint64 length) override
    {
        asterisks = asteriskCount(progress, length);
        return interrupted == 0;
    }
    int asterisks = 0;
};

std::optional<int> ratingIndex(const QByteArray &text)
{
    bool ok = false;
    const int index = text.toInt(&ok);
    if (!ok || index < 0 || index >= RatingIndexCount)
        return std::nullopt;
    return index;
}

void printMessage(const SaveMessage &message)
{
    const QString icon = message.icon == SaveMessage::Icon::Warning ? u"Warning"_s
                                                                    : u"Information"_s;
    const QByteArray line =
        (icon + u'|' + message.title + u'|' + message.text().replace(u'\n', "\\n"_L1)).toUtf8();
    std::printf("%s\n", line.constData());
}

int exitCode(SaveOutcome::End end)
{
    switch (end) {
    case SaveOutcome::End::Saved:
        return 0;
    case SaveOutcome::End::Failed:
        return 1;
    case SaveOutcome::End::Stopped:
        break;
    }
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    // The file's name as bytes: Qt's argument list would mangle names that are not valid text.
    QByteArrayList args(argv + 1, argv + argc);
    SaveSettings settings;
    if (!args.isEmpty() && args.first() == "--one-thread") {
        settings.commit = CommitThread::Caller;
        args.removeFirst();
    }
    const auto startIndex = args.size() == 3 ? ratingIndex(args.at(1)) : std::nullopt;
    const auto maxIndex = args.size() == 3 ? ratingIndex(args.at(2)) : std::nullopt;
    if (!startIndex || !maxIndex) {
        std::fputs("usage: headless_save [--one-thread] <file> <startIndex 0..12> "
                   "<maxIndex 0..12>\n",
                   stderr);
        return 3;
    }
    std::signal(SIGINT, noteInterrupt);
    std::signal(SIGTERM, noteInterrupt);

    FixedRatings ratings(*startIndex, *maxIndex);
    LastProgress progress;
    const SaveOutcome outcome =
        saveRewrittenCopy(splitPath(fileNameFromSystem(args.at(0))), ratings, progress, settings);
    if (outcome.end != SaveOutcome::End::Stopped)
        printMessage(saveMessage(outcome, MessagePlace::Window));
    std::printf("outcome|%d|%d\nprogress|%d\n", int(outcome.failure.step),
                outcome.failure.systemError.number, progress.asterisks);
    return exitCode(outcome.end);
}
