// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/filelist.h"

#include "browse/entryannouncement.h"

#include "platform/filenames.h"
#include "platform/folders.h"
#include "platform/namematching.h"
#include "platform/paths.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTextDocument>

FileList::FileList(const QString &pattern, QWidget *parent)
    : QListWidget(parent), m_pattern(pattern)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemSelectionChanged, this, &FileList::onSelectionChanged);
}

QString FileList::pattern() const
{
    return m_pattern;
}

QString FileList::folder() const
{
    return m_folder;
}

void FileList::setFolder(const QString &folder)
{
    const QString clean = cleanFolderPath(folder);
    // Hidden files are read too: the pattern alone decides.
    setFolder(clean, readFolder(clean, m_pattern).files);
}

// The rows go in with one insertion. An item made with the list as its parent is looked for
// among all rows before it is inserted, which makes a refill of thousands of rows quadratic;
// the exact names are kept beside the rows rather than in them, which saves a value per row.
void FileList::setFolder(const QString &folder, const QStringList &regularFiles)
{
    m_exactNames = sortedMatchingNames(regularFiles, m_pattern);
    QStringList rows;
    rows.reserve(m_exactNames.size());
    for (const QString &name : std::as_const(m_exactNames))
        rows.append(readableFileName(name));
    m_refilling = true;
    m_folder = cleanFolderPath(folder);
    clear();
    insertItems(0, rows);
    setCurrentRow(-1);
    m_refilling = false;
}

void FileList::refresh(const QStringList &regularFiles)
{
    const QString chosen = selectedFileName();
    setFolder(m_folder, regularFiles);
    if (!chosen.isEmpty())
        selectFileName(chosen);
}

int FileList::selectedIndex() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QString FileList::selectedFileName() const
{
    const int row = selectedIndex();
    return row >= 0 ? m_exactNames.at(row) : QString();
}

void FileList::describeFile(const QString &name, const QString &text)
{
    const qsizetype row = m_exactNames.indexOf(name);
    if (row < 0)
        return;
    QListWidgetItem *entry = item(int(row));
    // A tool tip that looks like markup is shown as markup; this one holds a file's path.
    entry->setToolTip(Qt::convertFromPlainText(text));
    entry->setData(Qt::AccessibleDescriptionRole, text);
}

bool FileList::selectFileName(const QString &name)
{
    for (int row = 0; row < count(); ++row) {
        if (QString::compare(m_exactNames.at(row), name, FileNameCase) == 0) {
            setCurrentRow(row);
            scrollToItem(item(row));
            return true;
        }
    }
    return false;
}

// Tabbing into the list marks the first entry as current without selecting it, so the first
// arrow key would skip it. With nothing selected, an arrow key chooses the current entry, made
// current anew as a click would, so that screen readers hear the move to it.
void FileList::keyPressEvent(QKeyEvent *event)
{
    const bool arrow = event->key() == Qt::Key_Down || event->key() == Qt::Key_Up;
    if (arrow && selectedIndex() == -1 && currentItem()) {
        const int row = currentRow();
        selectionModel()->clearCurrentIndex();
        setCurrentRow(row);
        return;
    }
    QListWidget::keyPressEvent(event);
}

// An entry that is only current, not chosen, is not announced: it would sound chosen.
void FileList::focusInEvent(QFocusEvent *event)
{
    QListWidget::focusInEvent(event);
    announceCurrentEntryAfterFocus(this, [this] {
        if (selectedIndex() != -1)
            currentChanged(currentIndex(), {});
    });
}

// Save stays enabled once a file was chosen, so clearing the choice would leave Save pressable
// with no file. A press below the entries does nothing at all.
void FileList::mousePressEvent(QMouseEvent *event)
{
    if (!indexAt(event->position().toPoint()).isValid()) {
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
}

// For the same reason Ctrl+click and Ctrl+Space on the chosen entry leave it chosen instead of
// taking it off.
QItemSelectionModel::SelectionFlags FileList::selectionCommand(const QModelIndex &index,
                                                               const QEvent *event) const
{
    const QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
    if (command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        return QItemSelectionModel::NoUpdate;
    return command;
}

void FileList::onSelectionChanged()
{
    if (!m_refilling)
        Q_EMIT fileClicked();
}
