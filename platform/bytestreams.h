// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// Where the save's bytes come from and go to: the files on disk (savefiles.h) when a file is
// saved, memory when the tests and the fuzz target drive the same loop.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    // Up to `max` bytes, possibly fewer; 0 at the end, -1 on failure.
    virtual qint64 read(char *into, qint64 max) = 0;
};

class ByteSink
{
public:
    virtual ~ByteSink() = default;
    // All `count` bytes, or false on failure.
    virtual bool write(const char *bytes, qint64 count) = 0;
};
