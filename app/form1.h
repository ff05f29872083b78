// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window. In: the user's picks in the lists and rating selectors, Save, the menus.
// Out: the ".new" file written by the save, the about box, the end of the program. It builds
// the controls, wires their events to the handlers of browse/, rating/ and rewrite/, and runs
// start-up before it is first shown.

#include "app/controls.h"
#include "rewrite/saveservices.h"

#include <QMainWindow>
#include <memory>

class DriveProvider;
class WindowServices;

class Form1 : public QMainWindow, private SaveServices
{
    Q_OBJECT

public:
    // What the window needs from outside; tests swap each part.
    struct Environment
    {
        std::shared_ptr<WindowServices> services;
        std::shared_ptr<DriveProvider> drives;
        QString programFolder; // shown by the folder list at start-up

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

private:
    static qint32 Bin2Dec(const QString &text);

    void setInputTabOrder();
    void wireEvents();
    void startUp();

    void btnspeichernClick();
    void MnuDateiItemClick(qint16 index);
    void MnuInfoItemClick(qint16 index);

    // What the save reads and shows through the window.
    QString folderPath() override;
    QString selectedFileName() override;
    int startRatingIndex() override;
    int maxRatingIndex() override;
    void showProgress(int asterisks) override;
    bool runPendingEvents() override;
    qint64 bytesBetweenEventOffers() const override;
    void showMessage(MessageIcon icon, const QString &title, const QString &text) override;

    Environment m_environment;
    Controls m_controls;
    int m_shownAsterisks = 0;
    bool m_saving = false;
    bool m_endRequested = false;
};
