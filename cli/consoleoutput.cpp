// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/consoleoutput.h"

#include "cli/interruption.h"

#include <QLocale>

#include <algorithm>
#include <cerrno>

using namespace Qt::StringLiterals;

int writeText(std::FILE *stream, const QString &text)
{
    return writeStandardStream(stream, text);
}

namespace {

// A reader gone from either stream stops the work, and nothing more is said, as a pipe ends
// `cat`.
int writeLine(std::FILE *stream, const QString &text)
{
    if (outputClosed())
        return EPIPE;
    const int error = writeText(stream, text + u'\n');
    if (error == EPIPE)
        stopForClosedOutput();
    return error;
}

constexpr int BarWidth = 20;
constexpr int ProgressIntervalMs = 100;

} // namespace

void ConsoleOutput::report(const QString &text)
{
    if (text.isEmpty())
        return;
    clearProgress();
    const int error = writeLine(stdout, text);
    if (m_outputError == 0)
        m_outputError = error;
}

void ConsoleOutput::failure(const QString &text)
{
    if (text.isEmpty())
        return;
    clearProgress();
    writeLine(stderr, "kelvora-staerken: "_L1 + text);
}

void ConsoleOutput::note(const QString &text)
{
    if (text.isEmpty() || m_quiet)
        return;
    clearProgress();
    writeLine(stderr, "kelvora-staerken: Hinweis: "_L1 + text);
}

// "[#######-------------]   35/100 Dateien   7,0/20,0 MB", always on one line of a terminal.
void ConsoleOutput::progress(qsizetype filesDone, qsizetype files, qint64 bytesDone, qint64 bytes)
{
    if (m_terminal == Terminal::None || m_quiet || !m_nextProgress.hasExpired())
        return;
    m_nextProgress.setRemainingTime(ProgressIntervalMs, Qt::CoarseTimer);
    const double share = bytes > 0 ? double(bytesDone) / double(bytes)
                                   : files > 0 ? double(filesDone) / double(files) : 1.0;
    const int filled = qBound(0, int(share * BarWidth), BarWidth);
    const QLocale german(QLocale::German, QLocale::Germany);
    const QString line = u"[%1%2] %3/%4 Dateien  %5/%6 MB"_s
                             .arg(QString(filled, u'#'), QString(BarWidth - filled, u'-'))
                             .arg(filesDone)
                             .arg(files)
                             .arg(german.toString(double(bytesDone) / 1e6, 'f', 1),
                                  german.toString(double(bytes) / 1e6, 'f', 1));
    // Without escapes, blanks cover what a longer line before left.
    const QString rest = m_terminal == Terminal::WithEscapes
        ? u"\x1b[K"_s
        : QString(std::max<qsizetype>(0, m_progressShown - line.size()), u' ');
    writeText(stderr, u'\r' + line + rest);
    m_progressShown = line.size();
}

void ConsoleOutput::endProgress()
{
    clearProgress();
}

void ConsoleOutput::clearProgress()
{
    if (m_progressShown == 0)
        return;
    writeText(stderr, m_terminal == Terminal::WithEscapes
                          ? u"\r\x1b[K"_s
                          : u'\r' + QString(m_progressShown, u' ') + u'\r');
    m_progressShown = 0;
}
