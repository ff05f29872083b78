// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Config rewriting. In: the raw bytes of a strength file and the two rating indexes (0..12).
// Out: the ".new" file beside it, every start- and maximum-strength line carrying the chosen
// value at column 34. This header holds the per-line rule; savestrengthfile.h streams a file.

#include "rewrite/ratings.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstring>

enum class StrengthLine { Start, Maximum, Other };

// "ST" in columns 3-4 marks a start-strength line, "MAX" in columns 3-5 a maximum-strength
// line; case-exact, nothing trimmed, no other byte looked at. Inline: it runs for every line.
inline StrengthLine classifyLine(QByteArrayView line)
{
    const char *bytes = line.data();
    if (line.size() >= 4 && bytes[2] == 'S' && bytes[3] == 'T')
        return StrengthLine::Start;
    if (line.size() >= 5 && bytes[2] == 'M' && bytes[3] == 'A' && bytes[4] == 'X')
        return StrengthLine::Maximum;
    return StrengthLine::Other;
}

// classifyLine for a line that lies in memory followed by its CR LF and at least one more
// readable byte, as the line reader's buffer holds it: most lines are told by one byte.
inline StrengthLine classifyLineBeforeCrLf(QByteArrayView line)
{
    const char third = line.data()[2]; // the line's own, or one of its end, or the next byte
    if (third != 'S' && third != 'M')
        return StrengthLine::Other;
    return classifyLine(line);
}

// The leading bytes the rule keeps of a start-strength and of a maximum-strength line; what
// follows them, the old value included, it replaces.
inline constexpr qsizetype StartKeptBytes = 8;
inline constexpr qsizetype MaximumKeptBytes = 12;

// The rating index a line of this kind carries: the start rating for a start-strength line,
// the maximum rating for a maximum-strength line. Only the one needed is asked for, when needed.
template <typename StartRating, typename MaximumRating>
int ratingOfLine(StrengthLine kind, StartRating startRating, MaximumRating maximumRating)
{
    return kind == StrengthLine::Start ? startRating() : maximumRating();
}

// Appends the output line for a line of the given kind (no terminator). The rating index is
// the start index for a start line, the maximum index for a maximum line, unused otherwise.
void appendRewrittenLine(QByteArray &out, QByteArrayView line, StrengthLine kind, int ratingIndex);

// Room that writeRewrittenLine needs for `line`, whatever its kind and rating index.
constexpr qsizetype maxRewrittenLineSize(QByteArrayView line)
{
    // Twelve kept bytes and a 32-byte block of padding and value text, written whole even
    // where the line ends sooner; more than column 33 and the longest value text, " -32768 ".
    return line.size() > 12 + 32 ? line.size() : 12 + 32;
}

// appendRewrittenLine into raw memory, for the save's output buffer: writes the output line at
// `out`, which must have room for maxRewrittenLineSize(line) bytes, and returns its end.
char *writeRewrittenLine(char *out, QByteArrayView line, StrengthLine kind, int ratingIndex);

// The padding and value text behind the kept bytes of a strength line, for each rating the
// selectors offer, made once: one copy of a fixed size writes all of it.
struct RewrittenTail
{
    std::array<char, 32> bytes{};
    qsizetype size = 0;
};
extern const std::array<RewrittenTail, RatingIndexCount> StartTails;
extern const std::array<RewrittenTail, RatingIndexCount> MaximumTails;

// Any line, any index: a short line moves the value left, an odd index wraps.
char *writeStrengthLineSlowly(char *out, QByteArrayView line, StrengthLine kind, int ratingIndex);

// writeRewrittenLine for a strength line, with the common case inline: the save runs it for
// every strength line.
inline char *writeStrengthLine(char *out, QByteArrayView line, StrengthLine kind, int ratingIndex)
{
    const auto keptAndTail = [&](qsizetype kept, const RewrittenTail &tail) {
        std::memcpy(out, line.data(), size_t(kept));
        std::memcpy(out + kept, tail.bytes.data(), sizeof tail.bytes);
        return out + kept + tail.size;
    };
    if (ratingIndex >= 0 && ratingIndex < RatingIndexCount) {
        if (kind == StrengthLine::Start && line.size() >= StartKeptBytes)
            return keptAndTail(StartKeptBytes, StartTails[ratingIndex]);
        if (kind == StrengthLine::Maximum && line.size() >= MaximumKeptBytes)
            return keptAndTail(MaximumKeptBytes, MaximumTails[ratingIndex]);
    }
    return writeStrengthLineSlowly(out, line, kind, ratingIndex);
}

// The whole rule for one line: the output line, without terminator.
QByteArray RewriteLine(QByteArrayView line, int startIndex, int maxIndex);
