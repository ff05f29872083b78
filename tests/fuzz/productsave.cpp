#include "productsave.h"

#include "rewrite/asteriskcounter.h"
#include "rewrite/linereader.h"
#include "rewrite/rewriteline.h"

#include <QBuffer>
#include <memory>
#include <optional>

namespace {

int ratingFor(StrengthLine kind, int startIndex, int maxIndex)
{
    return kind == StrengthLine::Start ? startIndex : maxIndex;
}

// Exactly the room the rule asks for, on its own heap block, so that AddressSanitizer sees a
// single byte written past it.
void appendThroughRawMemory(QByteArray &out, QByteArrayView line, int startIndex, int maxIndex)
{
    const StrengthLine kind = classifyLine(line);
    const auto room = std::make_unique<char[]>(size_t(maxRewrittenLineSize(line)));
    const char *end = writeRewrittenLine(room.get(), line, kind,
                                         ratingFor(kind, startIndex, maxIndex));
    out.append(room.get(), end - room.get());
}

void appendLine(QByteArray &out, QByteArrayView line, ProductLineRule rule, int startIndex,
                int maxIndex)
{
    switch (rule) {
    case ProductLineRule::KindAndAppend: {
        const StrengthLine kind = classifyLine(line);
        appendRewrittenLine(out, line, kind, ratingFor(kind, startIndex, maxIndex));
        break;
    }
    case ProductLineRule::WholeLine:
        out.append(RewriteLine(line, startIndex, maxIndex));
        break;
    case ProductLineRule::RawMemory:
        appendThroughRawMemory(out, line, startIndex, maxIndex);
        break;
    }
    out.append("\r\n");
}

std::unique_ptr<LineReader> makeReader(QIODevice &device, qsizetype blockSize)
{
    if (blockSize == FuzzInput::DefaultBlockSize)
        return std::make_unique<LineReader>(device);
    return std::make_unique<LineReader>(device, blockSize);
}

} // namespace

SaveRecord productSave(QByteArrayView data, qsizetype blockSize, ProductLineRule rule,
                       int startIndex, int maxIndex)
{
    QBuffer device;
    device.setData(data.toByteArray());
    device.open(QIODevice::ReadOnly | QIODevice::Unbuffered); // as the save opens its input
    const qint64 length = device.size();
    AsteriskCounter asterisks(length);
    const auto reader = makeReader(device, blockSize);

    SaveRecord record;
    qint64 progress = 0;
    while (const std::optional<QByteArrayView> line = reader->next()) {
        progress += line->size() + 2;
        record.asterisks.append(asterisks.count(progress));
        ++record.lineCount;
        appendLine(record.output, *line, rule, startIndex, maxIndex);
    }
    return record;
}
