// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/filejobs.h"

#include <QList>

class ConsoleOutput;
struct Invocation;

// Files and folders by how they ended; what was settled with nothing to do (a folder without
// strength files) counts nowhere.
struct BatchTally
{
    qsizetype done = 0;
    qsizetype warned = 0; // of those done
    qsizetype failed = 0;
    qsizetype stopped = 0;
};

// Runs the jobs on `threads` threads at once, each file on one thread, and reports each
// outcome through `output` in the jobs' order as soon as it and all before it are finished,
// with the progress line redrawn meanwhile.
BatchTally runBatch(const QList<FileJob> &jobs, const Invocation &invocation, int threads,
                    ConsoleOutput &output);
