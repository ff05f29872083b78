// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// All the save needs of the window: the four inputs, the progress label, the event pump and
// message boxes. The main window implements it; tests and the benchmark use stand-ins.
class SaveServices
{
public:
    enum class MessageIcon { Information, Warning };

    virtual ~SaveServices() = default;

    virtual QString folderPath() = 0;        // the folder list's current path
    virtual QString selectedFileName() = 0;  // the file list's selected name, empty for none
    virtual int startRatingIndex() = 0;      // start rating selector
    virtual int maxRatingIndex() = 0;        // maximum rating selector

    // Shows that many asterisks in the progress label; 0 leaves it empty.
    virtual void showProgress(int asterisks) = 0;
    // Offered between lines, and between the pieces of a long line, once the save has worked
    // on bytesBetweenEventOffers() bytes since the last offer. False once the window is
    // closing or the program is told to end: the save then stops.
    virtual bool runPendingEvents() = 0;
    // A line takes nanoseconds, and even a look at the clock takes longer: the window is
    // offered its events after this much work, 64 KiB by default (well under a millisecond),
    // and decides by the clock whether to run them (EventThrottle). 0: after every line.
    static constexpr qint64 DefaultBytesBetweenEventOffers = 64 * 1024;
    virtual qint64 bytesBetweenEventOffers() const { return DefaultBytesBetweenEventOffers; }
    // Modal; returns when the user has closed the box.
    virtual void showMessage(MessageIcon icon, const QString &title, const QString &text) = 0;
};
