// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command-line companion `kelvora-staerken`. In: the program's arguments exactly as the
// system gives them (platform/console.h). Out: the files and folders they name and what to do
// with them, or what is wrong with them. File arguments never pass through Qt's argument list,
// which loses names that are not valid text; they travel as platform/filenames.h carries them.

#include "rewrite/ratings.h"

#include <QString>
#include <QStringList>

#include <optional>

enum class Task { Save, Show, DryRun, Help, Version };

// Files worked on at once, at most. The saves mostly wait for the disk, so a few per core pay,
// but far beyond that they only queue for it, and each running save holds a thread, a second
// one while a large output is synced early, and its buffers.
constexpr int MaxJobs = 64;

struct Invocation
{
    Task task = Task::Save;
    int startIndex = -1; // rating indexes 0..12, -1 where not given
    int maxIndex = -1;
    bool maxRaised = false; // the maximum was below the start and is the start now
    bool recursive = false;
    bool quiet = false;
    bool json = false; // --show as one JSON object per file
    bool utf8 = false; // redirected output in UTF-8 whatever the console's code page
    int jobs = 0; // 0: one per core; never above MaxJobs
    bool jobsLowered = false; // more were asked for than MaxJobs
    QStringList paths; // files and folders, in the order given
};

struct ParsedCommandLine
{
    std::optional<Invocation> invocation;
    QString problem; // German, when there is no invocation
    bool utf8 = false; // --utf8 came before any problem: the usage error is written so too
};

// The arguments after the program's name.
ParsedCommandLine parseCommandLine(const QStringList &arguments);

// "3.5" or "3,5" stars as a rating index (7); nothing for anything but 0.0..6.0 in half steps.
std::optional<int> ratingIndexFromText(const QString &text);

// The short usage after a wrong call and the help begin with the same synopsis. Both name only
// what this system offers.
QString usageText();
QString helpText();
QString versionText();
