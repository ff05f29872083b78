// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <memory>

#include "rating/ratingselectors.h"

class DriveList;
class DriveProvider;
class FileList;
class FolderList;
class Picture;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QWidget;

// Every control of the main window by its name, owned by the window's client area.
struct Controls
{
    QLabel *Picture1 = nullptr;
    QFrame *frame1 = nullptr;
    QFrame *Frame2 = nullptr;

    DriveList *drvlaufwerk = nullptr;
    FolderList *Dirverzeichnis = nullptr;
    FileList *Fildatei = nullptr;

    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *lblprobar = nullptr;
    QLabel *chosenFileLine = nullptr; // what the chosen file carries now
    QPushButton *btnspeichern = nullptr;
    std::array<QComboBox *, 2> cbostar{};
    std::array<Picture *, 6> imgstar{};
    std::array<Picture *, 6> imgstarm{};
    Picture *imgstarv = nullptr;
    Picture *imgstarh = nullptr;
    Picture *imgstarl = nullptr;

    StarControls starControls() const;
};

// Builds every control into `client` at its place, in its initial state: Save disabled, star
// pictures hidden, both rating lists without a selection, nothing wired yet.
Controls createControls(QWidget *client, const std::shared_ptr<DriveProvider> &drives);
