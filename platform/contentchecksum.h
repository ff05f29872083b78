// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHashFunctions>

#include <algorithm>

// A checksum of bytes that arrive in pieces of any size: the same bytes give the same sum
// however they are split, so a second reading in other pieces can be compared with the first.
// It guards against a file changing under the save, not against a forger, so a fast hash of
// 64 bits does.
class ContentChecksum
{
public:
    void add(const char *bytes, qint64 count)
    {
        m_total += count;
        // Whole chunks straight from where they lie while none is begun: a file read in large
        // blocks is summed without a copy.
        for (; m_chunk.isEmpty() && count >= ChunkSize; bytes += ChunkSize, count -= ChunkSize)
            m_sum = qHashBits(bytes, size_t(ChunkSize), m_sum);
        while (count > 0) {
            const qint64 room = ChunkSize - m_chunk.size();
            const qint64 taken = std::min(room, count);
            m_chunk.append(bytes, taken);
            bytes += taken;
            count -= taken;
            if (m_chunk.size() == ChunkSize)
                addChunk();
        }
    }

    size_t sum()
    {
        addChunk();
        return qHashBits(&m_total, sizeof m_total, m_sum);
    }

private:
    static constexpr qsizetype ChunkSize = 64 << 10;

    void addChunk()
    {
        m_sum = qHashBits(m_chunk.constData(), size_t(m_chunk.size()), m_sum);
        m_chunk.resize(0);
    }

    QByteArray m_chunk;
    size_t m_sum = 0;
    qint64 m_total = 0;
};
