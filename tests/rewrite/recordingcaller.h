// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rewrite/savecore.h"

#include <QList>
#include <QStringList>
#include <functional>

// Stands in for whoever runs the save: answers the ratings, hears a report after every line
// and records every call in order.
class RecordingCaller : public RatingSource, public SaveObserver
{
public:
    QString path; // of the file to save
    int startIndex = 0;
    int maxIndex = 0;
    // Runs at each report with its number (1 for the first), like a nested handler.
    std::function<void(int)> onPump;
    // progressed() asks to stop from this report on; 0 never.
    int stopFromPump = 0;

    QStringList calls;   // "startRatingIndex", "maxRatingIndex", "progressed <asterisks>"
    QList<int> progress; // the asterisks a window would show after each line
    int pumps = 0;

    SaveOutcome save(const SaveSettings &settings = {});

    int startRatingIndex() override;
    int maxRatingIndex() override;
    bool progressed(qint64 progress, qint64 length) override;
    qint64 reportInterval() const override { return 0; }

private:
    qint64 m_bytes = 0;
};
