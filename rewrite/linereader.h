#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

class QIODevice;

// Splits a byte stream into lines, reading it in large blocks. A line ends at CR, at LF, or at
// a CR LF pair (one terminator); the terminator is not part of the line. The last line may end
// at the end of input, and input that ends with a terminator yields no extra empty line.
// Every other byte, NUL and 0x80-0xFF included, belongs to its line unchanged.
class LineReader
{
public:
    static constexpr qsizetype DefaultBlockSize = 1 << 20;

    explicit LineReader(QIODevice &device, qsizetype blockSize = DefaultBlockSize);

    // The next line, or nothing at the end of input or after a read error. The view stays
    // valid until the next call.
    std::optional<QByteArrayView> next();

    bool failed() const { return m_failed; }

private:
    std::optional<QByteArrayView> nextAcrossBlocks();
    void passTerminator(qsizetype stop);
    void skipLineFeedAfterCarriageReturn();
    bool ensureData();

    QIODevice &m_device;
    QByteArray m_block;
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
    QByteArray m_carry; // a line that spans blocks
    // The last line ended with the block's last byte, a CR: an LF starting the next block
    // belongs to its terminator.
    bool m_lastEndedWithCr = false;
    bool m_atEnd = false;
    bool m_failed = false;
};
