// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "browse/driveprovider.h"
#include "platform/folders.h"
#include "platform/systemerror.h"

#include <QHash>
#include <QIcon>
#include <QTreeWidget>

#include <memory>

// The folder list `Dirverzeichnis`: the folders from the drive's root down to the current
// folder, each one deeper and open, then the current folder's subfolders, closed and sorted by
// name. Only folders appear, links to folders among them; a link to a device or FIFO is no
// folder. Hidden folders are listed like any other on Linux (a Wine prefix, where strength files
// of a Windows program tend to live, is one); on Windows those marked hidden or system are not.
// Rows show names readably (filenames.h); the exact path stays behind each row, so a folder
// whose name is not valid text opens like any other. A
// double-click or Enter opens a folder. Every change of path, by the user or by setPath(),
// raises pathChanged() before returning. Filled synchronously from the disk by one read of the
// folder, whose regular files the file list takes over; nothing is watched in the background
// (F5 and the window's activation read it again: reread(), changedSinceRead()).
// It starts empty, on no folder, until a path is assigned: the window's start-up assigns the
// program's folder, and so reads it once.
class FolderList : public QTreeWidget
{
    Q_OBJECT

public:
    // The provider says where each drive's root is.
    explicit FolderList(std::shared_ptr<const DriveProvider> provider, QWidget *parent = nullptr);

    // The current folder, clean, absolute and exact ("/home/anna/cfg", "/", "C:/Spiele").
    QString path() const;

    // The regular files that the read showing the current folder found (FolderEntries::files),
    // unsorted and unfiltered, so that the file list need not read the folder again.
    const QStringList &files() const;

    // A drive's text (exactly its root path, as DriveList::drive() gives it) shows the folder
    // last shown on that drive, first its root; should that folder be gone, the root. Any other
    // path shows that folder. A folder that cannot be read fails with its error (ENOENT,
    // ENOTDIR, EACCES, ...) and leaves the list and its path as they were, raising nothing.
    // Assigning the current path again re-reads it and raises nothing.
    [[nodiscard]] SystemError setPath(const QString &folderOrDrive);

    // Reads the current folder again, keeping the current row where its folder is still
    // listed. A folder gone meanwhile gives way to the nearest one above it that can be read,
    // which raises pathChanged(); fails only when none can.
    SystemError reread();
    // Whether the current folder is another one or its entries changed since it was read: one
    // look at it, without reading it. A change within the clock tick of the read goes unseen.
    bool changedSinceRead() const;

Q_SIGNALS:
    void pathChanged();
    // The user opened a folder that cannot be read; the list stays on the folder it had.
    void folderRefused(const QString &folder, const SystemError &error);

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // Screen readers hear the current folder when the list takes the focus.
    void focusInEvent(QFocusEvent *event) override;

private:
    SystemError showFolder(const QString &folder, const QList<Drive> &drives);
    void rebuild(const QString &root, const QString &folder, const QStringList &subfolders);
    QString folderOfItem(const QTreeWidgetItem *item) const;
    void open(const QTreeWidgetItem *item);
    void makeFolderCurrent(const QString &folder);

    std::shared_ptr<const DriveProvider> m_provider;
    QString m_path;
    QStringList m_files; // of m_path
    PathFacts m_readFacts; // of m_path, looked at just before it was read
    QHash<QString, QString> m_lastFolderOfDrive; // by drive root
    QIcon m_openIcon;
    QIcon m_closedIcon;
};
