// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/linecensus.h"

#include "cli/interruption.h"
#include "platform/filenames.h"
#include "platform/paths.h"
#include "platform/savefiles.h"
#include "platform/bytestreams.h"
#include "rewrite/linereader.h"
#include "rewrite/rewriteline.h"
#include "rewrite/savemessages.h"

#include <QByteArray>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The file for the line reader; the reading stops early when asked to.
class CountedInput final : public ByteSource
{
public:
    CountedInput(InputFile &file, std::atomic<qint64> &bytesRead)
        : m_file(file), m_bytesRead(bytesRead)
    {
    }

    qint64 read(char *into, qint64 max) override
    {
        if (stopRequested()) {
            m_stopped = true;
            return 0;
        }
        const qint64 got = m_file.read(into, max);
        m_bytesRead.store(m_file.bytesRead(), std::memory_order_relaxed);
        return got;
    }

    bool stopped() const { return m_stopped; }

private:
    InputFile &m_file;
    std::atomic<qint64> &m_bytesRead;
    bool m_stopped = false;
};

// The value of a strength line, fed in pieces: its last blank-separated word after the kept
// columns, where a file carries "01STRENGTH  7000" as well as what the save writes, the value
// from column 34 on. It counts as a number when it is digits, with a minus sign before them.
class ValueScanner
{
public:
    enum class Value { Rating, OtherNumber, NotNumber };

    void feed(QByteArrayView bytes)
    {
        for (const char c : bytes)
            take(c);
    }

    Value value() const
    {
        if (m_notNumber || m_digits == 0)
            return Value::NotNumber;
        const bool rating = !m_negative && m_number % 1000 == 0
            && m_number < RatingIndexCount * 1000;
        return rating ? Value::Rating : Value::OtherNumber;
    }
    int ratingIndex() const { return int(m_number / 1000); }

private:
    void take(char c)
    {
        if (c == ' ' || c == '\t') {
            m_inWord = false;
            return;
        }
        if (!m_inWord) { // a new word: the last one so far
            m_inWord = true;
            m_notNumber = false;
            m_negative = c == '-';
            m_digits = 0;
            m_number = 0;
            if (m_negative)
                return;
        }
        if (c < '0' || c > '9') {
            m_notNumber = true;
            return;
        }
        ++m_digits;
        // Large enough to be no rating, small enough not to overflow.
        m_number = std::min<qint64>(m_number * 10 + (c - '0'), 1'000'000'000);
    }

    bool m_inWord = false;
    bool m_notNumber = false;
    bool m_negative = false;
    qint64 m_digits = 0;
    qint64 m_number = 0;
};

class CensusTaker
{
public:
    CensusTaker(int startIndex, int maxIndex) : m_startIndex(startIndex), m_maxIndex(maxIndex) {}

    void piece(const LinePiece &piece)
    {
        if (piece.startsLine) {
            m_kind = classifyLine(piece.bytes);
            m_length = 0;
            m_head.clear();
            m_value = ValueScanner();
        }
        if (m_kind == StrengthLine::Other)
            return;
        const qsizetype kept = m_kind == StrengthLine::Start ? StartKeptBytes : MaximumKeptBytes;
        // The value begins after the kept columns, which may lie in this piece or before it.
        const qsizetype valueFrom = std::clamp<qsizetype>(kept - m_length, 0, piece.bytes.size());
        m_value.feed(piece.bytes.sliced(valueFrom));
        if (m_head.size() < HeadKept)
            m_head.append(piece.bytes.first(std::min(piece.bytes.size(), HeadKept - m_head.size())));
        m_length += piece.bytes.size();
        if (piece.endsLine)
            lineEnded();
    }

    LineCensus census() const { return m_census; }

private:
    // Enough of a line to tell whether its rewritten form, at most this long, differs.
    static constexpr qsizetype HeadKept = 64;

    void lineEnded()
    {
        LineKindCensus &kind = m_kind == StrengthLine::Start ? m_census.start : m_census.maximum;
        ++kind.lines;
        switch (m_value.value()) {
        case ValueScanner::Value::Rating:
            ++kind.withRating[size_t(m_value.ratingIndex())];
            break;
        case ValueScanner::Value::OtherNumber:
            ++kind.otherNumber;
            break;
        case ValueScanner::Value::NotNumber:
            ++kind.notNumber;
            break;
        }
        const int rating =
            ratingOfLine(m_kind, [this] { return m_startIndex; }, [this] { return m_maxIndex; });
        if (rating >= 0) {
            QByteArray rewritten;
            appendRewrittenLine(rewritten, m_head, m_kind, rating);
            if (m_length > HeadKept || rewritten != m_head)
                ++kind.changing;
        }
    }

    int m_startIndex;
    int m_maxIndex;
    LineCensus m_census;
    StrengthLine m_kind = StrengthLine::Other;
    qint64 m_length = 0;
    QByteArray m_head;
    ValueScanner m_value;
};

CensusResult readFailure(const QString &path, SaveOutcome::Step step, const Opened &opened,
                         const SystemError &error)
{
    SaveOutcome outcome;
    outcome.end = SaveOutcome::End::Failed;
    outcome.step = step;
    outcome.opened = opened;
    outcome.error = error;
    outcome.inputPath = path;
    return {CensusResult::End::Failed, {}, readFailureWords(outcome).join(u' ')};
}

} // namespace

CensusResult takeLineCensus(const QString &path, int startIndex, int maxIndex,
                            std::atomic<qint64> &bytesRead)
{
    const FolderAndName parts = splitPath(path);
    SaveFolder folder;
    InputFile file;
    Opened opened = folder.open(parts.folder);
    if (opened.succeeded())
        opened = file.open(folder, parts.name);
    if (!opened.succeeded())
        return readFailure(path, SaveOutcome::Step::OpenInput, opened, opened.error);
    CountedInput input(file, bytesRead);
    LineReader reader(input);
    CensusTaker taker(startIndex, maxIndex);
    while (const std::optional<LinePiece> piece = reader.next())
        taker.piece(*piece);
    if (input.stopped())
        return {CensusResult::End::Stopped, {}, {}};
    if (reader.failed())
        return readFailure(path, SaveOutcome::Step::ReadInput, {}, file.error());
    return {CensusResult::End::Read, taker.census(), {}};
}
