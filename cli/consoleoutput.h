// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/console.h"

#include <QDeadlineTimer>
#include <QString>

#include <cstdio>

// The text in one piece, flushed, as the system's streams take text (platform/console.h). The
// error number when it could not be written, else 0.
int writeText(std::FILE *stream, const QString &text);

// The program's text on standard output and error, each message as one piece, and on a
// terminal a progress line at the bottom of standard error that messages pass above.
class ConsoleOutput
{
public:
    ConsoleOutput(bool quiet, Terminal terminal) : m_quiet(quiet), m_terminal(terminal) {}

    void report(const QString &text);  // standard output, unless empty; see outputError()
    void failure(const QString &text); // standard error, "kelvora-staerken: " before it
    void note(const QString &text);    // the same with "Hinweis: ", unless quiet

    // Redraws the progress line, at most ten times a second: files finished of all, bytes
    // worked on of all.
    void progress(qsizetype filesDone, qsizetype files, qint64 bytesDone, qint64 bytes);
    void endProgress();

    // Why a report could not be written to standard output (a full disk, a reader gone), 0
    // when all were. The work goes on regardless; the program says so at its end.
    int outputError() const { return m_outputError; }

private:
    void clearProgress();

    bool m_quiet;
    Terminal m_terminal;
    qsizetype m_progressShown = 0; // the characters of the line shown, 0 for none
    int m_outputError = 0; // the first
    QDeadlineTimer m_nextProgress; // expired until the first line
};
