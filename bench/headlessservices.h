// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The benchmark's stand-in for the window. In: a strength file path and two rating indexes from
// the command line. Out: messages on stdout as "icon|title|text" lines (line breaks in the text
// written as \n), the last asterisk count, and an exit code for the save's result.

#include "rewrite/eventthrottle.h"
#include "rewrite/saveservices.h"

#include <QString>

class HeadlessServices : public SaveServices
{
public:
    HeadlessServices(const QString &filePath, int startIndex, int maxIndex);

    QString folderPath() override { return m_folder; }
    QString selectedFileName() override { return m_fileName; }
    int startRatingIndex() override { return m_startIndex; }
    int maxRatingIndex() override { return m_maxIndex; }

    void showProgress(int asterisks) override;
    bool runPendingEvents() override;
    void showMessage(MessageIcon icon, const QString &title, const QString &text) override;

    int progressCalls() const { return m_progressCalls; }
    // The row shown last before the label was cleared.
    int lastAsterisks() const { return m_lastAsterisks; }

    // SIGINT and SIGTERM stop a running save instead of killing the process.
    static void stopOnInterrupt();

private:
    QString m_folder;
    QString m_fileName;
    int m_startIndex;
    int m_maxIndex;
    int m_progressCalls = 0;
    int m_lastAsterisks = 0;
    EventThrottle m_throttle;
};
