// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/fileselection.h"

#include "browse/drivelist.h"
#include "browse/filelist.h"
#include "browse/folderlist.h"

#include <QPushButton>

void drvlaufwerkChange(DriveList &drvlaufwerk, FolderList &Dirverzeichnis)
{
    // A drive that cannot be read fails with an error; Windows errors that have no errno value
    // carry a negative number, so any number but 0 counts.
    if (Dirverzeichnis.setPath(drvlaufwerk.drive()).failed()) {
        // The folder list kept its folder; putting the drive list back on that folder's drive
        // raises this handler again, nested. There the drive list already holds that drive,
        // so a second failure restores an unchanged drive, raises nothing, and the nesting
        // ends with the lists on the last folder that could be read.
        drvlaufwerk.setDrive(Dirverzeichnis.path());
    }
}

void DirverzeichnisChange(FolderList &Dirverzeichnis, FileList &Fildatei)
{
    // The folder list has just read the folder; the file list takes its files from that read.
    Fildatei.setFolder(Dirverzeichnis.path(), Dirverzeichnis.files());
}

void refreshLists(DriveList &drvlaufwerk, FolderList &Dirverzeichnis, FileList &Fildatei)
{
    drvlaufwerk.reloadDrives();
    const QString shown = Dirverzeichnis.path();
    (void)Dirverzeichnis.reread(); // a folder that cannot be read at all leaves the lists
    if (Dirverzeichnis.path() == shown)
        Fildatei.refresh(Dirverzeichnis.files());
}

void driveListFollows(DriveList &drvlaufwerk, const FolderList &Dirverzeichnis)
{
    drvlaufwerk.followPath(Dirverzeichnis.path());
}

void FildateiClick(FileList &Fildatei, QPushButton &btnspeichern)
{
    if (Fildatei.selectedIndex() != -1)
        btnspeichern.setEnabled(true);
}

void connectFileSelection(DriveList &drvlaufwerk, FolderList &Dirverzeichnis, FileList &Fildatei,
                          QPushButton &btnspeichern, QObject *context)
{
    QObject::connect(&drvlaufwerk, &DriveList::driveChanged, context,
                     [&drvlaufwerk, &Dirverzeichnis] { drvlaufwerkChange(drvlaufwerk, Dirverzeichnis); });
    QObject::connect(&Dirverzeichnis, &FolderList::pathChanged, context,
                     [&Dirverzeichnis, &Fildatei] { DirverzeichnisChange(Dirverzeichnis, Fildatei); });
    QObject::connect(&Dirverzeichnis, &FolderList::pathChanged, context,
                     [&drvlaufwerk, &Dirverzeichnis] { driveListFollows(drvlaufwerk, Dirverzeichnis); });
    QObject::connect(&Fildatei, &FileList::fileClicked, context,
                     [&Fildatei, &btnspeichern] { FildateiClick(Fildatei, btnspeichern); });
}
