// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/filenames.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

constexpr char16_t EscapeBase = 0xDC00; // + the byte, 0x80..0xFF

// An escaped byte is a low surrogate with no high surrogate before it: the low half of a
// real pair (U+10080 is D800 DC80) is a character like any other.
bool isEscapeAt(QStringView text, qsizetype at)
{
    const char16_t c = text.at(at).unicode();
    return c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF
        && (at == 0 || !text.at(at - 1).isHighSurrogate());
}

bool isContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at `at` (0 when there is none): no overlong
// forms, no encoded surrogates, nothing above U+10FFFF.
qsizetype sequenceLength(QByteArrayView bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes.at(at + i)); };
    const unsigned char lead = byte(0);
    const qsizetype left = bytes.size() - at;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return left >= 2 && isContinuation(byte(1)) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (left < 3 || !isContinuation(byte(1)) || !isContinuation(byte(2)))
            return 0;
        if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) >= 0xA0))
            return 0;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (left < 4 || !isContinuation(byte(1)) || !isContinuation(byte(2))
            || !isContinuation(byte(3)))
            return 0;
        if ((lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) >= 0x90))
            return 0;
        return 4;
    }
    return 0;
}

// Well-formed UTF-8 as it is: QString::fromUtf8() would drop a leading byte order mark, and
// with it a byte of the name.
QString decodeUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

// Names are mostly plain ASCII, which needs neither checking nor escaping.
bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char b) { return static_cast<unsigned char>(b) < 0x80; });
}

// What readableFileName() changes: control characters, and escaped bytes (taken wider here:
// any U+DC80..U+DCFF, paired or not).
bool needsReadableForm(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0)
        || (c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF);
}

QChar visibleControl(char16_t c)
{
    if (c < 0x20)
        return QChar(char16_t(0x2400 + c)); // "␀".."␟"
    if (c == 0x7F)
        return QChar(char16_t(0x2421)); // "␡"
    return QChar(QChar::ReplacementCharacter); // C1 controls have no symbol of their own
}

} // namespace

void fileNameFromSystem(QByteArrayView bytes, QString &text)
{
    if (!isAscii(bytes)) {
        text = fileNameFromSystem(bytes);
        return;
    }
    text.resize(0);
    text.append(QLatin1StringView(bytes));
}

QString fileNameFromSystem(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    QString text;
    qsizetype runStart = 0; // valid UTF-8 from here up to `at`
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (const qsizetype valid = sequenceLength(bytes, at)) {
            at += valid;
            continue;
        }
        text.append(decodeUtf8(bytes.sliced(runStart, at - runStart)));
        text.append(QChar(char16_t(EscapeBase + static_cast<unsigned char>(bytes.at(at)))));
        runStart = ++at;
    }
    text.append(decodeUtf8(bytes.sliced(runStart)));
    return text;
}

QByteArray systemFileName(QStringView name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isEscapeAt(name, i))
            continue;
        bytes.append(name.sliced(runStart, i - runStart).toUtf8());
        bytes.append(static_cast<char>(name.at(i).unicode() - EscapeBase));
        runStart = i + 1;
    }
    bytes.append(name.sliced(runStart).toUtf8());
    return bytes;
}

QString readableFileName(const QString &name)
{
    // A list of 100,000 names shows most of them as they are, without a copy.
    const auto changes = [](QChar c) { return needsReadableForm(c.unicode()); };
    if (std::none_of(name.cbegin(), name.cend(), changes))
        return name;
    QString text;
    text.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        char16_t c = name.at(i).unicode();
        if (isEscapeAt(name, i))
            c -= EscapeBase;
        const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
        text.append(control ? visibleControl(c) : QChar(c));
    }
    return text;
}
