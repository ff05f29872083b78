// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window. In: the user's picks in the lists and rating selectors, Save, the menus.
// Out: the ".new" file written by the save, the about box, the end of the program, and what
// the chosen file holds now, as its entry's tool tip and on a line of the window. It builds the
// controls, wires their events to the handlers of browse/, rating/ and rewrite/, and runs
// start-up before it is first shown.

#include "app/controls.h"
#include "browse/fileglance.h"
#include "rewrite/asteriskcounter.h"
#include "rewrite/savecore.h"

#include <QMainWindow>
#include <memory>

class DriveProvider;
struct SaveMessage;
class WindowServices;

class Form1 : public QMainWindow, private RatingSource, private SaveObserver
{
    Q_OBJECT

public:
    // What the window needs from outside; tests swap each part.
    struct Environment
    {
        std::shared_ptr<WindowServices> services;
        std::shared_ptr<DriveProvider> drives;
        QString startFolder; // shown by the folder list at start-up (pathopening.h)
        // A folder to show, or a file to show chosen, instead of the start folder: the
        // command line's argument. Empty: the start folder.
        QString startPath = {};

        static Environment desktop();
    };

    explicit Form1(Environment environment = Environment::desktop());
    ~Form1() override;

    const Controls &controls() const { return m_controls; }
    bool isSaving() const { return m_saving; }

    // Value conversions the window offers to other code; nothing in the program needs them.
    static qint32 CUint(qint16 intValue);
    static QString Dec2Bin(qint32 Dec);

protected:
    void closeEvent(QCloseEvent *event) override;
    // Activated after its folder changed (a file manager, another program), the window reads
    // its lists again.
    void changeEvent(QEvent *event) override;
    // A folder or file dropped on the window is shown as if it had been the argument.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    static qint32 Bin2Dec(const QString &text);

    void setInputTabOrder();
    void wireEvents();
    void startUp();
    void showStartFolder();

    // F5: the drive, folder and file lists read again; not while a save runs.
    void rereadLists();
    void btnspeichernClick();
    void MnuDateiItemClick(qint16 index);
    void MnuInfoItemClick(qint16 index);

    // What Save does: the folder list's path and the file list's selected name make the path,
    // the rating lists give the ratings, the progress label shows the asterisks, and a message
    // box tells how it went.
    void SaveStrengthFile();
    void showMessage(const SaveMessage &message);
    // What the chosen file holds now, for its entry's tool tip and description and for the
    // window's line, which another folder clears.
    void lookAtChosenFile();
    void describeChosenFile(const QString &folder, const QString &name, const QString &text,
                            const QString &line);
    void showAsterisks(int count);

    // The save reads the rating lists and reports its progress through these.
    int startRatingIndex() override;
    int maxRatingIndex() override;
    bool progressed(qint64 progress, qint64 length) override;
    qint64 reportInterval() const override;

    Environment m_environment;
    Controls m_controls;
    FileGlance m_glance;
    AsteriskCounter m_asterisks{0};
    int m_shownAsterisks = 0;
    bool m_saving = false;
    bool m_endRequested = false;
};
