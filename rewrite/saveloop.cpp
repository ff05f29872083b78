// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/saveloop.h"

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
        : m_reader(input, settings.readSize),
          m_writer(output, settings.writeSize, settings.writing),
          m_ratings(ratings),
          m_observer(observer),
          m_length(length),
          m_reportInterval(observer.reportInterval())
    {
        m_reader.setBeforeRead([this] { copyUnchanged(); });
    }

    LoopEnd run()
    {
        while (const std::optional<LinePiece> piece = m_reader.next()) {
            // Nearly every line comes whole.
            const bool go = piece->startsLine && piece->endsLine ? wholeLine(*piece)
                                                                 : pieceOfLongLine(*piece);
            if (!go)
                return m_writer.failed() ? LoopEnd::WriteFailed : LoopEnd::Stopped;
            if (!m_writer.flushIfFull())
                return LoopEnd::WriteFailed;
        }
        if (m_reader.failed())
            return LoopEnd::ReadFailed;
        copyUnchanged();
        if (m_reportedProgress != m_progress && !report())
            return LoopEnd::Stopped;
        return m_writer.finish() ? LoopEnd::Finished : LoopEnd::WriteFailed;
    }

private:
    bool wholeLine(const LinePiece &piece)
    {
        if (!lineRead(piece.bytes.size(), piece.bytes.size() + piece.terminatorSize))
            return false;
        const StrengthLine kind = classifyLine(piece.bytes);
        // An ordinary line that ends in CR LF is its own output: it joins the bytes that are
        // copied in one go.
        if (kind == StrengthLine::Other && piece.terminatorSize == 2) {
            const char *begin = piece.bytes.data();
            if (begin != m_unchangedEnd) {
                copyUnchanged();
                m_unchangedBegin = begin;
            }
            m_unchangedEnd = begin + piece.bytes.size() + 2;
            return true;
        }
        copyUnchanged();
        writeLine(piece.bytes, kind);
        return true;
    }

    // An ordinary line streams through piece by piece; of a strength line only its head is
    // kept, since the rule drops the rest. Its output follows once the line has been read.
    // False to stop: asked for, or the output failed.
    bool pieceOfLongLine(const LinePiece &piece)
    {
        copyUnchanged();
        if (piece.startsLine) {
            m_kind = classifyLine(piece.bytes);
            m_lineLength = 0;
            m_headSize = std::min(piece.bytes.size(), LineReader::HeadSize);
            std::memcpy(m_head.data(), piece.bytes.data(), size_t(m_headSize));
        }
        m_lineLength += piece.bytes.size();
        if (m_kind == StrengthLine::Other && !m_writer.append(piece.bytes))
            return false;
        if (!piece.endsLine)
            return workedOn(piece.bytes.size());
        if (!lineRead(m_lineLength, piece.bytes.size() + piece.terminatorSize))
            return false;
        const QByteArrayView rest = m_kind == StrengthLine::Other
            ? QByteArrayView()
            : QByteArrayView(m_head.data(), m_headSize);
        writeLine(rest, m_kind);
        return true;
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
        const int rating = kind == StrengthLine::Other
            ? 0
            : ratingOfLine(kind, [this] { return m_ratings.startRatingIndex(); },
                           [this] { return m_ratings.maxRatingIndex(); });
        char *out = m_writer.room(maxRewrittenLineSize(line) + 2);
        out = writeRewrittenLine(out, line, kind, rating);
        *out++ = '\r';
        *out++ = '\n';
        m_writer.added(out);
    }

    // Puts the unchanged lines gathered so far into the output, before the reader reuses the
    // buffer they lie in and before any other output.
    void copyUnchanged()
    {
        if (m_unchangedEnd != m_unchangedBegin)
            m_writer.append(QByteArrayView(m_unchangedBegin, m_unchangedEnd));
        m_unchangedBegin = m_unchangedEnd = nullptr;
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
    // Whole ordinary lines with their CR LF, straight from the reader's buffer, not yet copied.
    const char *m_unchangedBegin = nullptr;
    const char *m_unchangedEnd = nullptr;
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
