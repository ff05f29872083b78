// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save tests' stand-ins and helpers. In: what a test sets up on disk and in the fake window.
// Out: what the save did to the window (calls, rows, messages) and to the files.

#include "rewrite/saveservices.h"

#include <QList>
#include <QStringList>
#include <functional>

struct Message
{
    SaveServices::MessageIcon icon;
    QString title;
    QString text;
};

// Stands in for the window: answers the four inputs, and records every call in order.
class RecordingServices : public SaveServices
{
public:
    QString folder;
    QString fileName;
    int startIndex = 0;
    int maxIndex = 0;
    // Runs inside the pump with its number (1 for the first line), like a nested handler.
    std::function<void(int)> onPump;
    // runPendingEvents() asks to stop from this pump on; 0 never.
    int stopFromPump = 0;
    // Runs while a message box would be open.
    std::function<void()> onMessage;

    QStringList calls;
    QList<int> progress;
    QList<Message> messages;
    int pumps = 0;

    QString folderPath() override;
    QString selectedFileName() override;
    int startRatingIndex() override;
    int maxRatingIndex() override;
    void showProgress(int asterisks) override;
    bool runPendingEvents() override;
    qint64 bytesBetweenEventOffers() const override { return 0; }
    void showMessage(MessageIcon icon, const QString &title, const QString &text) override;
};
