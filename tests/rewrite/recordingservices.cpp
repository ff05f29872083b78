// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordingservices.h"

using namespace Qt::StringLiterals;

QString RecordingServices::folderPath()
{
    calls << u"folderPath"_s;
    return folder;
}

QString RecordingServices::selectedFileName()
{
    calls << u"selectedFileName"_s;
    return fileName;
}

int RecordingServices::startRatingIndex()
{
    calls << u"startRatingIndex"_s;
    return startIndex;
}

int RecordingServices::maxRatingIndex()
{
    calls << u"maxRatingIndex"_s;
    return maxIndex;
}

void RecordingServices::showProgress(int asterisks)
{
    calls << u"showProgress %1"_s.arg(asterisks);
    progress << asterisks;
}

bool RecordingServices::runPendingEvents()
{
    calls << u"runPendingEvents"_s;
    ++pumps;
    if (onPump)
        onPump(pumps);
    return stopFromPump == 0 || pumps < stopFromPump;
}

void RecordingServices::showMessage(MessageIcon icon, const QString &title, const QString &text)
{
    calls << u"showMessage"_s;
    messages.append({icon, title, text});
    if (onMessage)
        onMessage();
}
