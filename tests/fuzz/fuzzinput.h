// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QList>

// One fuzz input, also the format of the seed corpus files: four header bytes, then the file.
//   byte 0: reader block size: 0xFF the reader's default; 0xC0..0xFE a block larger than any
//           fuzz input; else bits 0-5 + 1 (1..64). The default is rare on purpose: it is a
//           large block like the second, and allocating it costs more than the rest of a run.
//   byte 1: start rating index, modulo 13
//   byte 2: maximum rating index, modulo 13
//   byte 3: bits 0-5, how reads come back: 0 whole blocks; else short reads cycling through
//           the sizes (bits 0-2 + 1), (bits 3-5 + 1) and 1, as a network file system may give
//           them; bits 6-7 unused (bit 6 once chose a writer thread; corpus files still set it)
// The block size is the reader's and the writer's.
// Missing header bytes count as zero; everything after them is the file's content.
struct FuzzInput
{
    static constexpr qsizetype DefaultBlockSize = 0; // the reader's own default
    static constexpr qsizetype LargeBlockSize = 4096;

    static FuzzInput decode(QByteArrayView bytes);

    qsizetype blockSize = DefaultBlockSize;
    int startIndex = 0;
    int maxIndex = 0;
    QList<qint64> readSizes; // empty: every read as large as asked
    QByteArrayView data;
};
