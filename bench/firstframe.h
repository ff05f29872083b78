// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The start-up benchmark's probe (startup.sh), shared by kelvora_firstframe and minimal_window:
// in, the launch time the script hands over and the program's main window; out, the line
// "first_frame_ms=<ms>" once that window's first frame is painted, and the end of the program.
//
// The first frame is the first painting of the window, or of any widget in it, after the window
// system exposed it. The window paints and hands its backing store to the window system within
// one event, so the clock stops at the next turn of the event loop, with the frame complete.
//
// Launch time: KELVORA_BENCH_LAUNCH_US, microseconds since the epoch, set by the script right
// before it starts the program (bash's ${EPOCHREALTIME/./}), so loading the libraries counts.
// Without it, the kernel's start time of the process, which is only 10 ms coarse.

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>

#ifdef Q_OS_LINUX
#include <QFile>
#include <ctime>
#include <unistd.h>
#endif

namespace FirstFrame {

inline qint64 nowSinceEpochUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// Milliseconds since the launch, -1 when that cannot be known.
inline double elapsedSinceLaunchMs()
{
    bool ok = false;
    const qint64 launchUs = qEnvironmentVariable("KELVORA_BENCH_LAUNCH_US").toLongLong(&ok);
    if (ok)
        return static_cast<double>(nowSinceEpochUs() - launchUs) / 1000.0;
#ifdef Q_OS_LINUX
    // Field 22 of /proc/self/stat, in clock ticks since boot; the command name before it may
    // hold spaces, so counting starts after its closing parenthesis.
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20)
        return -1;
    const double startS = fields.at(19).toDouble() / static_cast<double>(::sysconf(_SC_CLK_TCK));
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return (static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - startS) * 1000.0;
#else
    return -1;
#endif
}

// Watches every event of the application; cheap enough not to show in the figure.
class Probe : public QObject
{
public:
    explicit Probe(const QWidget &window) : m_window(window)
    {
        qApp->installEventFilter(this);
        // A program that never paints must not hang the script.
        QTimer::singleShot(60'000, this, [] {
            std::fputs("no first frame within 60 s\n", stderr);
            QCoreApplication::exit(2);
        });
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_painted && event->type() == QEvent::Paint && paintsIntoWindow(watched)) {
            m_painted = true;
            // Queued: runs once the paint and the flush to the window system are done.
            QMetaObject::invokeMethod(this, &Probe::report, Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool paintsIntoWindow(const QObject *watched) const
    {
        const auto *widget = qobject_cast<const QWidget *>(watched);
        return widget && widget->window() == &m_window;
    }

    void report()
    {
        std::printf("first_frame_ms=%.2f\n", elapsedSinceLaunchMs());
        std::fflush(stdout);
        QCoreApplication::exit(0);
    }

    const QWidget &m_window;
    bool m_painted = false;
};

} // namespace FirstFrame
