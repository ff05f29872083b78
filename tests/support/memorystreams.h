// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save loop's byte source and sink in memory, for the tests and the fuzz target.

#include "platform/bytestreams.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <cstring>
#include <utility>

// Serves its bytes in reads of the sizes given in turn (each capped by what is asked for; none
// given: all that is asked for), and fails the read with the given number (counting from 1,
// 0 for never) as a file on a failing disk does.
class MemorySource final : public ByteSource
{
public:
    explicit MemorySource(QByteArray data, QList<qint64> readSizes = {}, int failingRead = 0)
        : m_data(std::move(data)), m_readSizes(std::move(readSizes)), m_failingRead(failingRead)
    {
    }

    qint64 read(char *into, qint64 max) override
    {
        if (++m_reads == m_failingRead)
            return -1;
        qint64 count = std::min<qint64>(max, m_data.size() - m_pos);
        if (!m_readSizes.isEmpty())
            count = std::min(count, m_readSizes.at((m_reads - 1) % m_readSizes.size()));
        if (count > 0)
            std::memcpy(into, m_data.constData() + m_pos, size_t(count));
        m_pos += count;
        return count;
    }

    int reads() const { return m_reads; }

private:
    QByteArray m_data;
    QList<qint64> m_readSizes;
    qint64 m_pos = 0;
    int m_reads = 0;
    int m_failingRead;
};

class MemorySink final : public ByteSink
{
public:
    bool write(const char *bytes, qint64 count) override
    {
        data.append(bytes, count);
        ++writes;
        return true;
    }

    QByteArray data;
    int writes = 0;
};
