// SPDX-License-Identifier: GPL-3.0-or-later
#include "referencemodel.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

QList<QByteArray> splitLines(QByteArrayView data)
{
    QList<QByteArray> lines;
    QByteArray line;
    bool lineOpen = false; // a byte has been read since the last terminator
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char byte = data[i];
        if (byte == '\r' || byte == '\n') {
            lines.append(line);
            line.clear();
            lineOpen = false;
            // CR LF is one terminator, so its LF ends no second line.
            if (byte == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
                ++i;
        } else {
            line.append(byte);
            lineOpen = true;
        }
    }
    if (lineOpen)
        lines.append(line);
    return lines;
}

bool hasAt(const QByteArray &line, qsizetype index, const char *text)
{
    for (qsizetype i = 0; text[i] != '\0'; ++i) {
        if (index + i >= line.size() || line[index + i] != text[i])
            return false;
    }
    return true;
}

QByteArray keptAndValue(const QByteArray &line, qsizetype kept, qsizetype spaces, int index)
{
    QByteArray out;
    for (qsizetype i = 0; i < kept && i < line.size(); ++i)
        out.append(line[i]);
    for (qsizetype i = 0; i < spaces; ++i)
        out.append(' ');
    out.append(' ');
    out.append(std::to_string(index * 1000).c_str());
    out.append(' ');
    return out;
}

QByteArray rewrite(const QByteArray &line, int startIndex, int maxIndex)
{
    // Columns 3-4 and 3-5, counting from 1.
    if (hasAt(line, 2, "ST"))
        return keptAndValue(line, 8, 25, startIndex);
    if (hasAt(line, 2, "MAX"))
        return keptAndValue(line, 12, 21, maxIndex);
    return line;
}

int asterisks(qint64 progress, qint64 length)
{
    // Twenty for the whole file, rounded half to even (the default rounding mode), and never
    // more than ten rows, however far past its size a file is read.
    const double share = std::nearbyint(double(progress) / double(length) * 20);
    return int(std::clamp(share, 0.0, 200.0));
}

} // namespace

SaveRecord referenceSave(QByteArrayView data, int startIndex, int maxIndex)
{
    SaveRecord record;
    qint64 progress = 0;
    for (const QByteArray &line : splitLines(data)) {
        record.output.append(rewrite(line, startIndex, maxIndex));
        record.output.append("\r\n");
        ++record.lineCount;
        progress += line.size() + 2;
        record.asterisks.append(asterisks(progress, data.size()));
    }
    return record;
}
