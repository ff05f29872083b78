#pragma once

#include <QListWidget>

// The file list `Fildatei`: the files of one folder whose names match a wildcard pattern fixed
// at creation, ignoring case as Windows does, sorted by name. Folders never appear, even when
// their names match. Assigning the folder refills the list at once with nothing selected.
// Selecting an entry, by mouse or by keyboard, raises fileClicked(); the refill does not.
class FileList : public QListWidget
{
    Q_OBJECT

public:
    // Starts on the current folder.
    explicit FileList(const QString &pattern, QWidget *parent = nullptr);

    QString pattern() const;
    QString folder() const;
    // A folder that cannot be read leaves the list empty.
    void setFolder(const QString &folder);

    // The selected entry's row, -1 for none.
    int selectedIndex() const;
    // The selected entry's bare file name, empty for none.
    QString selectedFileName() const;

Q_SIGNALS:
    void fileClicked();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void onSelectionChanged();

    QString m_pattern;
    QString m_folder;
    bool m_refilling = false;
};
