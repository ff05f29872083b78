// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/linecensus.h"

#include "rewrite/rewriteline.h"

#include <QByteArray>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

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

class CensusTaker final : public LineVisitor
{
public:
    CensusTaker(int startIndex, int maxIndex) : m_startIndex(startIndex), m_maxIndex(maxIndex) {}

    void piece(QByteArrayView bytes, bool startsLine, bool endsLine) override
    {
        if (startsLine) {
            m_kind = classifyLine(bytes);
            m_length = 0;
            m_head.clear();
            m_value = ValueScanner();
        }
        if (m_kind == StrengthLine::Other)
            return;
        const qsizetype kept = m_kind == StrengthLine::Start ? StartKeptBytes : MaximumKeptBytes;
        // The value begins after the kept columns, which may lie in this piece or before it.
        const qsizetype valueFrom = std::clamp<qsizetype>(kept - m_length, 0, bytes.size());
        m_value.feed(bytes.sliced(valueFrom));
        if (m_head.size() < HeadKept)
            m_head.append(bytes.first(std::min(bytes.size(), HeadKept - m_head.size())));
        m_length += bytes.size();
        if (endsLine)
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
            m_rewritten.resize(0); // keeps its capacity: no allocation per strength line
            appendRewrittenLine(m_rewritten, m_head, m_kind, rating);
            if (m_length > HeadKept || m_rewritten != m_head)
                ++kind.changing;
        }
    }

    int m_startIndex;
    int m_maxIndex;
    LineCensus m_census;
    StrengthLine m_kind = StrengthLine::Other;
    qint64 m_length = 0;
    QByteArray m_head;
    QByteArray m_rewritten; // the line as the save would write it, reused
    ValueScanner m_value;
};

} // namespace

CensusResult takeLineCensus(const FolderAndName &file, int startIndex, int maxIndex,
                            SaveObserver &observer)
{
    CensusTaker taker(startIndex, maxIndex);
    const SaveOutcome reading = readStrengthFile(file, taker, observer);
    return {reading, reading.end == SaveOutcome::End::Failed ? LineCensus{} : taker.census()};
}
