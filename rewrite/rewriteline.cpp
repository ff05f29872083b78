#include "rewrite/rewriteline.h"

#include <algorithm>

namespace {

// Kept bytes plus padding always reach column 33, so the value text starts in column 34.
constexpr qsizetype StartKept = 8;
constexpr qsizetype StartPadding = 25;
constexpr qsizetype MaximumKept = 12;
constexpr qsizetype MaximumPadding = 21;

bool hasAtColumn3(QByteArrayView line, QByteArrayView marker)
{
    return line.size() >= 2 + marker.size() && line.sliced(2, marker.size()) == marker;
}

// " 7000 ": one space, the decimal digits of index × 1000, one space.
void appendValueText(QByteArray &out, int ratingIndex)
{
    const auto strength = static_cast<qint16>(ratingIndex * 1000);
    out.append(' ');
    out.append(QByteArray::number(strength));
    out.append(' ');
}

void appendKeptAndValue(QByteArray &out, QByteArrayView line, qsizetype kept,
                        qsizetype padding, int ratingIndex)
{
    out.append(line.first(std::min(kept, line.size())));
    out.append(padding, ' ');
    appendValueText(out, ratingIndex);
}

} // namespace

StrengthLine classifyLine(QByteArrayView line)
{
    if (hasAtColumn3(line, "ST"))
        return StrengthLine::Start;
    if (hasAtColumn3(line, "MAX"))
        return StrengthLine::Maximum;
    return StrengthLine::Other;
}

void appendRewrittenLine(QByteArray &out, QByteArrayView line, StrengthLine kind, int ratingIndex)
{
    switch (kind) {
    case StrengthLine::Start:
        appendKeptAndValue(out, line, StartKept, StartPadding, ratingIndex);
        return;
    case StrengthLine::Maximum:
        appendKeptAndValue(out, line, MaximumKept, MaximumPadding, ratingIndex);
        return;
    case StrengthLine::Other:
        out.append(line);
        return;
    }
}

QByteArray RewriteLine(QByteArrayView line, int startIndex, int maxIndex)
{
    const StrengthLine kind = classifyLine(line);
    QByteArray out;
    appendRewrittenLine(out, line, kind, kind == StrengthLine::Start ? startIndex : maxIndex);
    return out;
}
