// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rewrite/savecore.h"

class ByteSink;
class ByteSource;

enum class LoopEnd { Finished, Stopped, ReadFailed, WriteFailed };

// The save's loop: every line of `input` through the rewrite rule into `output`, each followed
// by CR LF, with the progress told to `observer` as savecore.h describes and the rating a
// strength line gets read from `ratings` just before that line is written. The save runs it on
// the files, the fuzz target on memory.
LoopEnd rewriteLines(ByteSource &input, qint64 length, ByteSink &output, RatingSource &ratings,
                     SaveObserver &observer, const SaveSettings &settings = {});
