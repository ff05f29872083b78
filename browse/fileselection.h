// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Config file selection. In: the drives from a DriveProvider and the user's picks in the drive,
// folder and file lists. Out: the folder list's path and the file list's selected file name,
// which the save reads when Save is pressed, and `btnspeichern` enabled once a file is chosen.
// The lists keep all the state; the handlers below only pass it along.

#include "platform/namematching.h" // StrengthFilePattern

class DriveList;
class FileList;
class FolderList;
class QObject;
class QPushButton;

// `drvlaufwerk` change: moves the folder list to the chosen drive. A drive that cannot be read
// is undone silently: the drive list goes back to the folder list's drive, which raises this
// handler once more (nested) for that drive. Should that drive have become unreadable too,
// the lists stay on the last folder that could be read.
void drvlaufwerkChange(DriveList &drvlaufwerk, FolderList &Dirverzeichnis);

// `Dirverzeichnis` change: the file list follows the folder list.
void DirverzeichnisChange(FolderList &Dirverzeichnis, FileList &Fildatei);

// The drive list shows the folder list's drive, wherever its path came from: a drive picked, a
// folder opened, a path given at the start or dropped on the window.
void driveListFollows(DriveList &drvlaufwerk, const FolderList &Dirverzeichnis);

// `Fildatei` click: a selected file enables Save, for good; nothing here disables it.
void FildateiClick(FileList &Fildatei, QPushButton &btnspeichern);

// F5, or the window activated after its folder changed: the drives, the folder and its files
// read again, each list's choice kept where it still exists. A folder gone meanwhile gives way
// to the nearest one above it, whose files the file list shows then, nothing chosen.
void refreshLists(DriveList &drvlaufwerk, FolderList &Dirverzeichnis, FileList &Fildatei);

// Wires the three handlers to their controls' notifications, for as long as `context` lives.
void connectFileSelection(DriveList &drvlaufwerk, FolderList &Dirverzeichnis, FileList &Fildatei,
                          QPushButton &btnspeichern, QObject *context);
