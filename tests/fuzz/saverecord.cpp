// SPDX-License-Identifier: GPL-3.0-or-later
#include "saverecord.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// A few bytes either side of `at`, escaped so that CR, LF, NUL and high bytes show.
QString excerpt(const QByteArray &bytes, qsizetype at)
{
    const qsizetype from = std::max<qsizetype>(at - 12, 0);
    const QByteArray part = bytes.mid(from, 24);
    QString shown;
    for (const char c : part) {
        const auto byte = uint(static_cast<unsigned char>(c));
        if (byte >= 0x20 && byte < 0x7F && byte != '\\')
            shown += QLatin1Char(c);
        else
            shown += u"\\x%1"_s.arg(byte, 2, 16, QLatin1Char('0'));
    }
    return u"\"%1\" (from byte %2)"_s.arg(shown).arg(from);
}

qsizetype firstDifferentByte(const QByteArray &a, const QByteArray &b)
{
    const qsizetype common = std::min(a.size(), b.size());
    const auto [inA, inB] = std::mismatch(a.cbegin(), a.cbegin() + common, b.cbegin());
    return inA - a.cbegin();
}

QString describeOutputDifference(const QByteArray &product, const QByteArray &model)
{
    const qsizetype at = firstDifferentByte(product, model);
    return u"output differs at byte %1 (product %2 bytes, model %3 bytes)\n  product: %4\n"
           "  model:   %5"_s
        .arg(at)
        .arg(product.size())
        .arg(model.size())
        .arg(excerpt(product, at), excerpt(model, at));
}

QString describeAsteriskDifference(const QList<int> &product, const QList<int> &model)
{
    const qsizetype common = std::min(product.size(), model.size());
    qsizetype line = 0;
    while (line < common && product.at(line) == model.at(line))
        ++line;
    if (line == common)
        return u"asterisk rows end after %1 lines in the product, %2 in the model"_s
            .arg(product.size())
            .arg(model.size());
    return u"asterisks after line %1: product %2, model %3"_s.arg(line + 1)
        .arg(product.at(line))
        .arg(model.at(line));
}

} // namespace

QString describeDifference(const SaveRecord &product, const SaveRecord &model)
{
    if (product.lineCount != model.lineCount)
        return u"line count: product %1, model %2"_s.arg(product.lineCount).arg(model.lineCount);
    if (product.output != model.output)
        return describeOutputDifference(product.output, model.output);
    if (product.asterisks != model.asterisks)
        return describeAsteriskDifference(product.asterisks, model.asterisks);
    return {};
}
