// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/valueconversions.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace ValueConversions {

namespace {

constexpr qint32 SixteenBitRange = 65536;
constexpr qsizetype BinaryDigits = 16;
// First total that no longer fits a 32-bit signed integer.
constexpr double Int32Limit = 2147483648.0;

} // namespace

qint32 CUint(qint16 intValue)
{
    if (intValue >= 0)
        return intValue;
    return intValue + SixteenBitRange;
}

QString Dec2Bin(qint32 Dec)
{
    if (Dec < 0 || Dec >= SixteenBitRange) {
        // Negative values would come out with minus signs, larger ones with more than
        // sixteen digits: neither is a sixteen-bit binary text.
        throw std::invalid_argument("Dec2Bin: " + std::to_string(Dec)
                                    + " is outside 0..65535 and has no sixteen-digit binary form");
    }

    QString text;
    do {
        text.prepend(QChar(u'0' + Dec % 2));
        Dec /= 2;
    } while (Dec != 0);
    return text.rightJustified(BinaryDigits, u'0');
}

qint32 Bin2Dec(const QString &text)
{
    qint32 total = 0;
    const qsizetype length = text.size();
    for (qsizetype i = length - 1; i >= 0; --i) {
        if (text.at(i) != u'1')
            continue;
        // Any weight from 2^31 up overflows anyway; the cap only keeps the exponent an int.
        const int exponent = static_cast<int>(qMin<qsizetype>(length - 1 - i, 64));
        const double weight = std::ldexp(1.0, exponent);
        const double sum = static_cast<double>(total) + weight;
        if (sum >= Int32Limit) {
            throw std::overflow_error("Bin2Dec: the binary text stands for 2^31 or more, "
                                      "which does not fit in a 32-bit signed integer");
        }
        total = static_cast<qint32>(sum);
    }
    return total;
}

} // namespace ValueConversions
