// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzzinput.h"

namespace {

constexpr qsizetype HeaderSize = 4;
constexpr int RatingIndexCount = 13;

unsigned headerByte(QByteArrayView bytes, qsizetype index)
{
    return index < bytes.size() ? static_cast<unsigned char>(bytes[index]) : 0U;
}

} // namespace

FuzzInput FuzzInput::decode(QByteArrayView bytes)
{
    FuzzInput input;
    const unsigned block = headerByte(bytes, 0);
    if (block == 0xFFU)
        input.blockSize = DefaultBlockSize;
    else if (block >= 0xC0U)
        input.blockSize = LargeBlockSize;
    else
        input.blockSize = qsizetype(block & 0x3FU) + 1;
    input.startIndex = int(headerByte(bytes, 1) % RatingIndexCount);
    input.maxIndex = int(headerByte(bytes, 2) % RatingIndexCount);
    const unsigned reads = headerByte(bytes, 3);
    if ((reads & 0x3FU) != 0)
        input.readSizes = {qint64(reads & 7U) + 1, qint64((reads >> 3) & 7U) + 1, 1};
    if (bytes.size() > HeaderSize)
        input.data = bytes.sliced(HeaderSize);
    return input;
}
