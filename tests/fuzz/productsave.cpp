// SPDX-License-Identifier: GPL-3.0-or-later
#include "productsave.h"

#include "rewrite/asteriskcounter.h"
#include "rewrite/savecore.h"
#include "support/memorystreams.h"

namespace {

// The ratings of the input, and the asterisks a window would show after each line: the loop
// reports after every line (its progress grows by at least two a line) and between the
// pieces of a long line (its progress unchanged).
class FuzzCaller final : public RatingSource, public SaveObserver
{
public:
    FuzzCaller(int startIndex, int maxIndex) : m_startIndex(startIndex), m_maxIndex(maxIndex) {}

    QList<int> asterisks;

    int startRatingIndex() override { return m_startIndex; }
    int maxRatingIndex() override { return m_maxIndex; }
    bool progressed(qint64 progress, qint64 length) override
    {
        if (progress > m_progress)
            asterisks.append(asteriskCount(progress, length));
        m_progress = progress;
        return true;
    }
    qint64 reportInterval() const override { return 0; }

private:
    int m_startIndex;
    int m_maxIndex;
    qint64 m_progress = 0;
};

} // namespace

SaveRecord productSave(const FuzzInput &input)
{
    MemorySource source(input.data.toByteArray(), input.readSizes);
    MemorySink sink;
    FuzzCaller caller(input.startIndex, input.maxIndex);
    SaveSettings settings;
    settings.readSize = settings.writeSize = input.blockSize;
    const LoopEnd end = rewriteLines(source, input.data.size(), sink, caller, caller, settings);
    SaveRecord record;
    record.output = end == LoopEnd::Finished ? sink.data : QByteArray("loop did not finish");
    record.lineCount = caller.asterisks.size();
    record.asterisks = caller.asterisks;
    return record;
}
