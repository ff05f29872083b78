#include "app/windowservices.h"

#include <QCoreApplication>

#include <chrono>
#include <ctime>

namespace {

constexpr qint64 PumpIntervalMs = 5;

// Asked once per line, so it must cost next to nothing: the coarse clock is a memory read.
qint64 coarseMilliseconds()
{
#ifdef CLOCK_MONOTONIC_COARSE
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#else
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
#endif
}

} // namespace

void WindowServices::showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                 const QString &text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void WindowServices::runPendingEvents()
{
    const qint64 now = coarseMilliseconds();
    if (m_lastPumpMs >= 0 && now - m_lastPumpMs < PumpIntervalMs)
        return;
    QCoreApplication::processEvents();
    m_lastPumpMs = coarseMilliseconds();
}

void WindowServices::endProgram()
{
    QCoreApplication::quit();
}
