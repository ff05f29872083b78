// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/fileglance.h"

#include "rewrite/linecensus.h"
#include "rewrite/savemessages.h"

#include <QDeadlineTimer>

#include <system_error>

namespace {

// A strength file is kilobytes; these only keep a huge or slow file from holding the reading.
constexpr qint64 ByteLimit = 32 * 1024 * 1024;
constexpr int TimeLimitMs = 1000;

// Goes on while the look is the latest, the window still there and the limits not reached.
class GlanceObserver final : public SaveObserver
{
public:
    GlanceObserver(const std::atomic<quint64> &latest, quint64 number,
                   const std::atomic<bool> &ending)
        : m_latest(latest), m_number(number), m_ending(ending)
    {
    }

    bool progressed(qint64 progress, qint64) override
    {
        m_read = progress;
        if (m_latest.load() != m_number || m_ending.load())
            return false;
        m_limitReached = progress >= ByteLimit || m_deadline.hasExpired();
        return !m_limitReached;
    }

    qint64 read() const { return m_read; }
    bool limitReached() const { return m_limitReached; }

private:
    const std::atomic<quint64> &m_latest;
    const quint64 m_number;
    const std::atomic<bool> &m_ending;
    QDeadlineTimer m_deadline{TimeLimitMs, Qt::CoarseTimer};
    qint64 m_read = 0;
    bool m_limitReached = false;
};

} // namespace

FileGlance::FileGlance(QObject *parent) : QObject(parent) {}

FileGlance::~FileGlance()
{
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void FileGlance::look(const FolderAndName &file)
{
    {
        const std::lock_guard lock(m_mutex);
        m_pending = Look{file, ++m_latest};
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        return;
    try {
        m_thread = std::thread([this] { work(); });
    } catch (const std::system_error &) { // no thread to be had: no look either
    }
}

void FileGlance::work()
{
    while (const std::optional<Look> look = nextLook())
        read(*look);
}

// Nothing once the window ends.
std::optional<FileGlance::Look> FileGlance::nextLook()
{
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return m_ending || m_pending; });
    if (m_ending)
        return std::nullopt;
    return std::exchange(m_pending, std::nullopt);
}

// The words go to the window's thread; a reading stopped for a newer look or the window's end
// says nothing.
void FileGlance::read(const Look &look)
{
    GlanceObserver observer(m_latest, look.number, m_ending);
    const CensusResult result = takeLineCensus(look.file, -1, -1, observer);
    if (result.reading.end == SaveOutcome::End::Stopped && !observer.limitReached())
        return;
    QMetaObject::invokeMethod(
        this,
        [this, look, text = fileRatingsText(result, observer.read()),
         line = fileRatingsLine(result)] {
            if (look.number == m_latest.load())
                Q_EMIT seen(look.file.folder, look.file.name, text, line);
        },
        Qt::QueuedConnection);
}
