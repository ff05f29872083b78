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
    virtual void runPendingEvents() = 0;
    // True once the window is closing or the program is told to end.
    virtual bool stopRequested() = 0;
    // Modal; returns when the user has closed the box.
    virtual void showMessage(MessageIcon icon, const QString &title, const QString &text) = 0;
};
