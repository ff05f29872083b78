// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rewrite/blockwriter.h"
#include "rewrite/linereader.h"

class ByteSink;
class ByteSource;
class SaveServices;

enum class LoopEnd { Finished, Stopped, ReadFailed, WriteFailed };

// The save's loop: every line of `input` through the rewrite rule into `output`, each followed
// by CR LF. After each line the window shows the asterisk row for the bytes read so far of
// `length`, runs its pending events and may ask to stop; the rating a strength line gets is
// read from the window just before that line is written, so a rating changed meanwhile
// applies from there on. Inside a long line the events are offered between its pieces too.
// The window's save runs it on the files, the fuzz target on memory.
struct LoopSettings
{
    qsizetype readSize = LineReader::DefaultBlockSize;
    qsizetype writeSize = BlockWriter::DefaultBlockSize;
    // Background: output blocks, and at the end of a save the sync to disk, are written beside
    // the window's thread. Inline keeps the whole save in the one thread.
    BlockWriter::Mode writing = BlockWriter::Mode::Background;
};

LoopEnd rewriteLines(ByteSource &input, qint64 length, ByteSink &output, SaveServices &window,
                     const LoopSettings &settings = {});
