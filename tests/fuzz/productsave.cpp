// SPDX-License-Identifier: GPL-3.0-or-later
#include "productsave.h"

#include "rewrite/saveloop.h"
#include "rewrite/saveservices.h"
#include "support/memorystreams.h"

namespace {

// The window as the loop sees it, recording the asterisks shown after each line.
class FuzzWindow final : public SaveServices
{
public:
    FuzzWindow(int startIndex, int maxIndex) : m_startIndex(startIndex), m_maxIndex(maxIndex) {}

    QList<int> asterisks;

    QString folderPath() override { return {}; }
    QString selectedFileName() override { return {}; }
    int startRatingIndex() override { return m_startIndex; }
    int maxRatingIndex() override { return m_maxIndex; }
    void showProgress(int count) override { asterisks.append(count); }
    bool runPendingEvents() override { return true; }
    void showMessage(MessageIcon, const QString &, const QString &) override {}

private:
    int m_startIndex;
    int m_maxIndex;
};

} // namespace

SaveRecord productSave(const FuzzInput &input)
{
    MemorySource source(input.data.toByteArray(), input.readSizes);
    MemorySink sink;
    FuzzWindow window(input.startIndex, input.maxIndex);
    LoopSettings settings;
    if (input.blockSize != FuzzInput::DefaultBlockSize)
        settings.readSize = settings.writeSize = input.blockSize;
    settings.writing = input.writing;
    const LoopEnd end = rewriteLines(source, input.data.size(), sink, window, settings);
    SaveRecord record;
    record.output = end == LoopEnd::Finished ? sink.data : QByteArray("loop did not finish");
    record.lineCount = window.asterisks.size();
    record.asterisks = window.asterisks;
    return record;
}
