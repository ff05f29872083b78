#include "bench/headlessservices.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;

namespace {

// Events are run as a window would need them for repainting, not once per line: a line takes
// nanoseconds, a pass through the event loop far more.
constexpr qint64 PumpIntervalNs = 5'000'000;
// Even the coarse clock costs more than the rest of a line's pump call, so it is looked at
// every so many calls only: 256 lines take well under a millisecond.
constexpr int CallsPerClockLook = 256;

// The pump is asked once per line, so the clock must cost next to nothing: the coarse clock
// reads a value the kernel keeps (a few ms resolution, enough here) without touching the TSC.
qint64 nowNs()
{
#ifdef CLOCK_MONOTONIC_COARSE
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
#else
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
#endif
}

volatile std::sig_atomic_t interrupted = 0;

extern "C" void noteInterrupt(int)
{
    interrupted = 1;
}

} // namespace

HeadlessServices::HeadlessServices(const QString &filePath, int startIndex, int maxIndex)
    : m_folder(QFileInfo(filePath).absolutePath()),
      m_fileName(QFileInfo(filePath).fileName()),
      m_startIndex(startIndex),
      m_maxIndex(maxIndex),
      m_lastPumpNs(nowNs())
{
}

void HeadlessServices::showProgress(int asterisks)
{
    ++m_progressCalls;
    if (asterisks > 0)
        m_lastAsterisks = asterisks;
}

void HeadlessServices::runPendingEvents()
{
    if (++m_callsSinceClockLook < CallsPerClockLook)
        return;
    m_callsSinceClockLook = 0;
    const qint64 now = nowNs();
    if (now - m_lastPumpNs < PumpIntervalNs)
        return;
    m_lastPumpNs = now;
    QCoreApplication::processEvents();
}

bool HeadlessServices::stopRequested()
{
    return interrupted != 0;
}

void HeadlessServices::showMessage(MessageIcon icon, const QString &title, const QString &text)
{
    const QString iconName = icon == MessageIcon::Warning ? u"Warning"_s : u"Information"_s;
    QString oneLine = text;
    oneLine.replace(u'\n', "\\n"_L1);
    const QByteArray line = (iconName + u'|' + title + u'|' + oneLine).toUtf8();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void HeadlessServices::stopOnInterrupt()
{
    std::signal(SIGINT, noteInterrupt);
    std::signal(SIGTERM, noteInterrupt);
}
