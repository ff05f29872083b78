#pragma once

#include <QByteArrayView>

// How the product strings the reader and the rewrite rule together. The save itself writes
// into raw memory; the other two are the rule's public forms.
enum class ProductLineRule { KindAndAppend, WholeLine, RawMemory };

// One fuzz input, also the format of the seed corpus files: four header bytes, then the file.
//   byte 0: reader block size: 0xFF the reader's default; 0xC0..0xFE a block larger than any
//           fuzz input; else bits 0-5 + 1 (1..64). The default is rare on purpose: it is a
//           large block like the second, and allocating it costs more than the rest of a run.
//   byte 1: start rating index, modulo 13
//   byte 2: maximum rating index, modulo 13
//   byte 3: product line rule, modulo 3 (ProductLineRule)
// Missing header bytes count as zero; everything after them is the file's content.
struct FuzzInput
{
    static constexpr qsizetype DefaultBlockSize = 0; // the reader's own default
    static constexpr qsizetype LargeBlockSize = 4096;

    static FuzzInput decode(QByteArrayView bytes);

    qsizetype blockSize = DefaultBlockSize;
    int startIndex = 0;
    int maxIndex = 0;
    ProductLineRule rule = ProductLineRule::KindAndAppend;
    QByteArrayView data;
};
