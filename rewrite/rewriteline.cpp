// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/rewriteline.h"

#include "rewrite/ratings.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Kept bytes plus padding always reach column 33, so the value text starts in column 34.
constexpr qsizetype StartKept = StartKeptBytes;
constexpr qsizetype StartPadding = 25;
constexpr qsizetype MaximumKept = MaximumKeptBytes;
constexpr qsizetype MaximumPadding = 21;

// " 7000 ": one space, the decimal digits of a strength value, one space. The longest is
// " -32768 ", for indexes outside 0..12 whose product wraps.
struct ValueText
{
    std::array<char, 8> bytes{};
    qsizetype size = 0;
};

constexpr ValueText makeValueText(qint16 strength)
{
    std::array<char, 6> digits{}; // backwards
    qsizetype count = 0;
    int rest = strength < 0 ? -int(strength) : int(strength);
    do {
        digits[count++] = char('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);

    ValueText text;
    text.bytes[text.size++] = ' ';
    if (strength < 0)
        text.bytes[text.size++] = '-';
    while (count > 0)
        text.bytes[text.size++] = digits[--count];
    text.bytes[text.size++] = ' ';
    return text;
}

// The product is formed as a 16-bit integer, wrapping like one, for any index.
qint16 strengthValue(int ratingIndex)
{
    return static_cast<qint16>(qint64(ratingIndex) * 1000);
}

// The selectors only offer these; their texts are made once, not per line.
constexpr auto CommonValueTexts = [] {
    std::array<ValueText, RatingIndexCount> texts;
    for (int index = 0; index < RatingIndexCount; ++index)
        texts[index] = makeValueText(static_cast<qint16>(index * 1000));
    return texts;
}();

char *writeValueText(char *out, int ratingIndex)
{
    const ValueText text = ratingIndex >= 0 && ratingIndex < RatingIndexCount
        ? CommonValueTexts[ratingIndex]
        : makeValueText(strengthValue(ratingIndex));
    std::memcpy(out, text.bytes.data(), sizeof text.bytes); // all 8: a fixed size copies fastest
    return out + text.size;
}

constexpr std::array<RewrittenTail, RatingIndexCount> makeTails(qsizetype padding)
{
    std::array<RewrittenTail, RatingIndexCount> tails;
    for (int index = 0; index < RatingIndexCount; ++index) {
        RewrittenTail &tail = tails[index];
        for (; tail.size < padding; ++tail.size)
            tail.bytes[tail.size] = ' ';
        const ValueText text = CommonValueTexts[index];
        for (qsizetype i = 0; i < text.size; ++i)
            tail.bytes[tail.size++] = text.bytes[i];
    }
    return tails;
}

char *writeKeptAndValue(char *out, QByteArrayView line, qsizetype kept, qsizetype padding,
                        int ratingIndex)
{
    const qsizetype keptSize = std::min(kept, line.size());
    std::memcpy(out, line.data(), size_t(keptSize));
    out += keptSize;
    std::memset(out, ' ', size_t(padding));
    return writeValueText(out + padding, ratingIndex);
}

} // namespace

const std::array<RewrittenTail, RatingIndexCount> StartTails = makeTails(StartPadding);
const std::array<RewrittenTail, RatingIndexCount> MaximumTails = makeTails(MaximumPadding);

char *writeStrengthLineSlowly(char *out, QByteArrayView line, StrengthLine kind, int ratingIndex)
{
    return kind == StrengthLine::Start
        ? writeKeptAndValue(out, line, StartKept, StartPadding, ratingIndex)
        : writeKeptAndValue(out, line, MaximumKept, MaximumPadding, ratingIndex);
}

char *writeRewrittenLine(char *out, QByteArrayView line, StrengthLine kind, int ratingIndex)
{
    if (kind != StrengthLine::Other)
        return writeStrengthLine(out, line, kind, ratingIndex);
    if (!line.isEmpty())
        std::memcpy(out, line.data(), size_t(line.size()));
    return out + line.size();
}

void appendRewrittenLine(QByteArray &out, QByteArrayView line, StrengthLine kind, int ratingIndex)
{
    const qsizetype before = out.size();
    out.resize(before + maxRewrittenLineSize(line));
    char *end = writeRewrittenLine(out.data() + before, line, kind, ratingIndex);
    out.resize(end - out.constData());
}

QByteArray RewriteLine(QByteArrayView line, int startIndex, int maxIndex)
{
    const StrengthLine kind = classifyLine(line);
    QByteArray out;
    appendRewrittenLine(out, line, kind,
                        ratingOfLine(kind, [=] { return startIndex; }, [=] { return maxIndex; }));
    return out;
}
