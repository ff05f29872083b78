// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/savecore.h"

#include "platform/bytestreams.h"
#include "rewrite/blockwriter.h"
#include "rewrite/linereader.h"
#include "rewrite/rewriteline.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

class LineLoop
{
public:
    LineLoop(ByteSource &input, qint64 length, ByteSink &output, RatingSource &ratings,
             SaveObserver &observer, const SaveSettings &settings)
        : m_reader(input, settings.readSize > 0 ? settings.readSize : LineReader::DefaultBlockSize),
          m_writer(output,
                   settings.writeSize > 0 ? settings.writeSize : BlockWriter::DefaultBlockSize),
          m_ratings(ratings),
          m_observer(observer),
          m_length(length),
          m_reportInterval(observer.reportInterval())
    {
        // Unchanged lines are written from the reader's buffer: what was lent from it is written
        // before the next read. The saving thread writes itself: a writer thread of its own
        // would let the system's copying run on a second core, but handing it every block and
        // moving the bytes between the cores cost more CPU than that saves, and the time to the
        // end is the disk's flush.
        m_reader.setBeforeRead([this] { m_writer.handOver(); });
    }

    LoopEnd run()
    {
        for (;;) {
            // Nearly every line is ended by CR LF and comes whole. An ordinary one is its own
            // output: the run of them goes out from the reader's buffer as it is.
            const char *unchanged = m_reader.position();
            const auto take = [&](QByteArrayView line, bool last) {
                const StrengthLine kind = classifyLineBeforeCrLf(line);
                if (kind == StrengthLine::Other)
                    return true;
                if (last)
                    return false; // wholeLine() reports before the rating is read
                writeStrengthLine(line, kind, QByteArrayView(unchanged, line.data()));
                unchanged = line.data() + line.size() + 2;
                return true;
            };
            if (const qint64 bytes =
                    m_reader.crLfLines(take, m_reportInterval - m_workSinceReport)) {
                lendUnchanged(unchanged, m_reader.position());
                m_progress += bytes;
                if (m_writer.failed())
                    return LoopEnd::WriteFailed;
                if (!workedOn(bytes))
                    return LoopEnd::Stopped;
                continue;
            }
            const std::optional<LinePiece> piece = m_reader.next();
            if (!piece)
                break;
            const bool go = piece->startsLine && piece->endsLine ? wholeLine(*piece)
                                                                 : pieceOfLongLine(*piece);
            if (m_writer.failed())
                return LoopEnd::WriteFailed;
            if (!go)
                return LoopEnd::Stopped;
        }
        if (m_reader.failed())
            return LoopEnd::ReadFailed;
        if (m_reportedProgress != m_progress && !report())
            return LoopEnd::Stopped;
        return m_writer.finish() ? LoopEnd::Finished : LoopEnd::WriteFailed;
    }

private:
    void lendUnchanged(const char *begin, const char *end)
    {
        if (end != begin)
            m_writer.lend(QByteArrayView(begin, end));
    }

    // False to stop.
    bool wholeLine(const LinePiece &piece)
    {
        if (!lineRead(piece.bytes.size(), piece.bytes.size() + piece.terminatorSize))
            return false;
        const StrengthLine kind = classifyLine(piece.bytes);
        if (kind == StrengthLine::Other && piece.terminatorSize == 2)
            m_writer.lend(withLineEnd(piece));
        else
            writeLine(piece.bytes, kind);
        return true;
    }

    // An ordinary line streams through piece by piece; of a strength line only its head is
    // kept, since the rule drops the rest. Its output follows once the line has been read.
    // False to stop.
    bool pieceOfLongLine(const LinePiece &piece)
    {
        if (piece.startsLine) {
            m_kind = classifyLine(piece.bytes);
            m_lineLength = 0;
            m_headSize = std::min(piece.bytes.size(), LineReader::HeadSize);
            std::memcpy(m_head.data(), piece.bytes.data(), size_t(m_headSize));
        }
        m_lineLength += piece.bytes.size();
        const bool ordinary = m_kind == StrengthLine::Other;
        if (ordinary)
            m_writer.lend(piece.endsLine && piece.terminatorSize == 2 ? withLineEnd(piece)
                                                                      : piece.bytes);
        if (!piece.endsLine)
            return workedOn(piece.bytes.size());
        if (!lineRead(m_lineLength, piece.bytes.size() + piece.terminatorSize))
            return false;
        if (ordinary && piece.terminatorSize == 2)
            return true;
        writeLine(ordinary ? QByteArrayView() : QByteArrayView(m_head.data(), m_headSize),
                  m_kind);
        return true;
    }

    // The piece and the CR LF that lies right behind it in the reader's buffer.
    static QByteArrayView withLineEnd(const LinePiece &piece)
    {
        return QByteArrayView(piece.bytes.data(), piece.bytes.size() + 2);
    }

    // After each line: the progress, and whether to go on.
    bool lineRead(qint64 lineLength, qint64 bytesWorkedOn)
    {
        m_progress += lineLength + 2;
        return workedOn(bytesWorkedOn);
    }

    // A report once enough work has been done since the last one.
    bool workedOn(qint64 bytes)
    {
        m_workSinceReport += bytes;
        return m_workSinceReport < m_reportInterval || report();
    }

    bool report()
    {
        m_workSinceReport = 0;
        m_reportedProgress = m_progress;
        return m_observer.progressed(m_progress, m_length);
    }

    void writeLine(QByteArrayView line, StrengthLine kind)
    {
        if (kind == StrengthLine::Other)
            writeWithLineEnd(line);
        else
            writeStrengthLine(line, kind);
    }

    // The rule looks at no more than a line's head. `unchanged`: the lines right before it,
    // which pass as they are; a short run of them is copied in front of it, as one piece.
    void writeStrengthLine(QByteArrayView line, StrengthLine kind, QByteArrayView unchanged = {})
    {
        const int rating = ratingOfLine(kind, [this] { return m_ratings.startRatingIndex(); },
                                        [this] { return m_ratings.maxRatingIndex(); });
        const QByteArrayView head = line.first(std::min(line.size(), LineReader::HeadSize));
        const bool copy = unchanged.size() < BlockWriter::LendAtLeast;
        if (!copy)
            m_writer.lend(unchanged);
        char *out = m_writer.room((copy ? unchanged.size() : 0) + maxRewrittenLineSize(head) + 2);
        if (copy && !unchanged.isEmpty()) {
            std::memcpy(out, unchanged.data(), size_t(unchanged.size()));
            out += unchanged.size();
        }
        out = ::writeStrengthLine(out, head, kind, rating);
        *out++ = '\r';
        *out++ = '\n';
        m_writer.added(out);
    }

    // An ordinary line not ended by CR LF: the same bytes, and a CR LF.
    void writeWithLineEnd(QByteArrayView line)
    {
        m_writer.lend(line);
        char *out = m_writer.room(2);
        *out++ = '\r';
        *out++ = '\n';
        m_writer.added(out);
    }

    LineReader m_reader;
    BlockWriter m_writer;
    RatingSource &m_ratings;
    SaveObserver &m_observer;
    const qint64 m_length;
    const qint64 m_reportInterval;
    qint64 m_progress = 0;
    qint64 m_reportedProgress = 0;
    qint64 m_workSinceReport = 0;
    // The line being read in pieces.
    StrengthLine m_kind = StrengthLine::Other;
    qint64 m_lineLength = 0;
    std::array<char, LineReader::HeadSize> m_head{};
    qsizetype m_headSize = 0;
};

} // namespace

LoopEnd rewriteLines(ByteSource &input, qint64 length, ByteSink &output, RatingSource &ratings,
                     SaveObserver &observer, const SaveSettings &settings)
{
    return LineLoop(input, length, output, ratings, observer, settings).run();
}
