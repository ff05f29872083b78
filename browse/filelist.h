// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>

// The file list `Fildatei`: the regular files of one folder (after following links) whose names
// match a wildcard pattern fixed at creation, ignoring case as Windows does, sorted by name.
// Folders, FIFOs, devices, sockets and links to them never appear, even when their names match.
// Each row shows the name readably (filenames.h) and keeps the exact name behind it. Assigning
// the folder refills the list at once with nothing selected. Selecting an entry, by mouse or by
// keyboard, raises fileClicked(); the refill does not, and nothing but another entry clears the
// choice: a click on empty space or a Ctrl+click on the chosen entry leaves it chosen.
class FileList : public QListWidget
{
    Q_OBJECT

public:
    // Starts empty, on no folder.
    explicit FileList(const QString &pattern, QWidget *parent = nullptr);

    QString pattern() const;
    QString folder() const;
    // Reads the folder; one that cannot be read leaves the list empty.
    void setFolder(const QString &folder);
    // The same with the folder's regular files as a read just gave them (FolderEntries::files),
    // so that the folder list and the file list share one read of the folder.
    void setFolder(const QString &folder, const QStringList &regularFiles);

    // The same folder's files as a new read gave them, the selected entry selected again where
    // it is still listed: as a click would, so that what it carries is looked at again.
    void refresh(const QStringList &regularFiles);

    // The selected entry's row, -1 for none.
    int selectedIndex() const;
    // The selected entry's exact bare file name, empty for none.
    QString selectedFileName() const;
    // Selects the entry with this exact name (any case on Windows), as a click would, and
    // scrolls to it; false when the list has no such entry.
    bool selectFileName(const QString &name);

    // Gives the entry of that exact name `text` as its tool tip and accessible description,
    // shown as plain text; no entry of that name, nothing.
    void describeFile(const QString &name, const QString &text);

Q_SIGNALS:
    void fileClicked();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // Screen readers hear the chosen file when the list takes the focus.
    void focusInEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override;

private:
    void onSelectionChanged();

    QString m_pattern;
    QString m_folder;
    QStringList m_exactNames; // row by row
    bool m_refilling = false;
};
