#include "rewrite/saveloop.h"

#include "rewrite/asteriskcounter.h"
#include "rewrite/blockwriter.h"
#include "rewrite/rewriteline.h"
#include "rewrite/saveservices.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

class LineLoop
{
public:
    LineLoop(ByteSource &input, qint64 length, ByteSink &output, SaveServices &window,
             qsizetype blockSize)
        : m_reader(input, blockSize), m_writer(output), m_window(window), m_asterisks(length)
    {
    }

    LoopEnd run()
    {
        while (const std::optional<LinePiece> piece = m_reader.next()) {
            // Nearly every line comes whole.
            const bool go = piece->startsLine && piece->endsLine ? wholeLine(piece->bytes)
                                                                 : pieceOfLongLine(*piece);
            if (!go)
                return LoopEnd::Stopped;
            if (!m_writer.flushIfFull())
                return LoopEnd::WriteFailed;
        }
        if (m_reader.failed())
            return LoopEnd::ReadFailed;
        return m_writer.flush() ? LoopEnd::Finished : LoopEnd::WriteFailed;
    }

private:
    bool wholeLine(QByteArrayView line)
    {
        if (!lineRead(line.size()))
            return false;
        writeLine(line, classifyLine(line));
        return true;
    }

    // An ordinary line streams through piece by piece; of a strength line only its head is
    // kept, since the rule drops the rest. Its output follows once the line has been read.
    bool pieceOfLongLine(const LinePiece &piece)
    {
        if (piece.startsLine) {
            m_kind = classifyLine(piece.bytes);
            m_lineLength = 0;
            m_headSize = std::min(piece.bytes.size(), LineReader::HeadSize);
            std::memcpy(m_head.data(), piece.bytes.data(), size_t(m_headSize));
        }
        m_lineLength += piece.bytes.size();
        if (m_kind == StrengthLine::Other && !m_writer.append(piece.bytes))
            return true; // the failure stops the loop through flushIfFull()
        if (!piece.endsLine) {
            m_window.runPendingEvents();
            return !m_window.stopRequested();
        }
        if (!lineRead(m_lineLength))
            return false;
        const QByteArrayView rest = m_kind == StrengthLine::Other
            ? QByteArrayView()
            : QByteArrayView(m_head.data(), m_headSize);
        writeLine(rest, m_kind);
        return true;
    }

    // After each line: the asterisks, the window's events, and whether to go on.
    bool lineRead(qint64 lineLength)
    {
        m_progress += lineLength + 2;
        m_window.showProgress(m_asterisks.count(m_progress));
        m_window.runPendingEvents();
        return !m_window.stopRequested();
    }

    void writeLine(QByteArrayView line, StrengthLine kind)
    {
        const int rating = kind == StrengthLine::Other
            ? 0
            : ratingOfLine(kind, [this] { return m_window.startRatingIndex(); },
                           [this] { return m_window.maxRatingIndex(); });
        char *out = m_writer.room(maxRewrittenLineSize(line) + 2);
        out = writeRewrittenLine(out, line, kind, rating);
        *out++ = '\r';
        *out++ = '\n';
        m_writer.added(out);
    }

    LineReader m_reader;
    BlockWriter m_writer;
    SaveServices &m_window;
    AsteriskCounter m_asterisks;
    qint64 m_progress = 0;
    // The line being read in pieces.
    StrengthLine m_kind = StrengthLine::Other;
    qint64 m_lineLength = 0;
    std::array<char, LineReader::HeadSize> m_head{};
    qsizetype m_headSize = 0;
};

} // namespace

LoopEnd rewriteLines(ByteSource &input, qint64 length, ByteSink &output, SaveServices &window,
                     qsizetype blockSize)
{
    return LineLoop(input, length, output, window, blockSize).run();
}
