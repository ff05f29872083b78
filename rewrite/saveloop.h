// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/savefiles.h"
#include "rewrite/blockwriter.h"
#include "rewrite/linereader.h"
#include "rewrite/savecore.h"

class ByteSink;
class ByteSource;

enum class CommitThread { Beside, Caller };

// How the loop reads and writes; tests and benchmarks set them, the window keeps the defaults.
struct SaveSettings
{
    qsizetype readSize = LineReader::DefaultBlockSize;
    qsizetype writeSize = BlockWriter::DefaultBlockSize;
    // Beside: the sync to disk at the end, which can take seconds on a slow disk, runs on a
    // thread of its own while the caller's thread goes on reporting, so a window stays live.
    // Caller: in the caller's thread, for a caller that runs each save on a thread of its own,
    // and for tests that count a save's system calls.
    CommitThread commit = CommitThread::Beside;
    // ByCaller: the folder is not synced for this one file; the outcome hands it over to be
    // synced once for all the files a batch saves there (SaveOutcome::unsyncedFolder).
    FolderSync folderSync = FolderSync::Now;
};

enum class LoopEnd { Finished, Stopped, ReadFailed, WriteFailed };

// The save's loop: every line of `input` through the rewrite rule into `output`, each followed
// by CR LF, with the progress told to `observer` as savecore.h describes and the rating a
// strength line gets read from `ratings` just before that line is written. The save runs it on
// the files, the fuzz target on memory.
LoopEnd rewriteLines(ByteSource &input, qint64 length, ByteSink &output, RatingSource &ratings,
                     SaveObserver &observer, const SaveSettings &settings = {});

// The save of savecore.h with the loop's settings.
SaveOutcome saveRewrittenCopy(const FolderAndName &file, RatingSource &ratings,
                              SaveObserver &observer, const SaveSettings &settings);
