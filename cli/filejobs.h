// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rewrite/savecore.h"
#include "rewrite/savemessages.h"

#include <QString>

#include <atomic>
#include <optional>

struct Invocation;

// What became of one file, as the program reports it.
struct FileOutcome
{
    enum class End { Done, Failed, Stopped };
    End end = End::Done;
    QString report;  // for standard output: a success line, what --show or --dry-run found
    // For standard error, even when quiet: naming the file and the reason it failed, or for a
    // file done, a warning of something doubtful about it.
    QString failure;
    QString note; // for standard error unless quiet: a remark that is no failure
    // Saved with the folder's sync left to the batch, which syncs each folder once for all the
    // files saved there meanwhile: the words above hold only after settleFolderSync(). With the
    // file as the words name it, for those a failed sync needs.
    struct Unsynced
    {
        SaveOutcome saved;
        ShownPaths shown;
    };
    std::optional<Unsynced> unsynced;
};

// One file to work on, or an outcome settled while the arguments were read (a folder that
// could not be read, one without strength files).
struct FileJob
{
    QString path;
    qint64 size = 0;
    bool settled = false;
    FileOutcome outcome; // when settled
};

// A file saved with its folder's sync left to the batch, once that sync is done: saved as the
// words say, or failed as a save whose folder sync failed.
void settleFolderSync(FileOutcome &outcome, const std::optional<SaveFailure> &syncFailure);

// Does the invocation's task for one file. `bytesDone` follows the work on it, for the
// progress line. Safe to run for several files at once.
FileOutcome runFileJob(const FileJob &job, const Invocation &invocation,
                       std::atomic<qint64> &bytesDone);
