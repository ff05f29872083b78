#include "browse/filelist.h"

#include "browse/folderpaths.h"

#include <QDir>
#include <QDirIterator>
#include <QKeyEvent>

namespace {

QStringList matchingFileNames(const QString &folder, const QString &pattern)
{
    QStringList names;
    if (folder.isEmpty())
        return names; // an empty path would list the current folder
    // Without QDir::CaseSensitive the name filter ignores case. Symlinks to files are files;
    // hidden files are listed too, the pattern alone decides.
    QDirIterator it(folder, QStringList{pattern}, QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        it.next();
        names.append(it.fileName());
    }
    sortByName(names);
    return names;
}

} // namespace

FileList::FileList(const QString &pattern, QWidget *parent)
    : QListWidget(parent), m_pattern(pattern)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemSelectionChanged, this, &FileList::onSelectionChanged);
    setFolder(QDir::currentPath());
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
    m_refilling = true;
    m_folder = cleanFolderPath(folder);
    clear();
    addItems(matchingFileNames(m_folder, m_pattern));
    setCurrentRow(-1);
    m_refilling = false;
}

int FileList::selectedIndex() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QString FileList::selectedFileName() const
{
    const int row = selectedIndex();
    return row >= 0 ? item(row)->text() : QString();
}

// Tabbing into the list marks the first entry as current without selecting it, so the first
// arrow key would skip it. With nothing selected, an arrow key selects the current entry.
void FileList::keyPressEvent(QKeyEvent *event)
{
    const bool arrow = event->key() == Qt::Key_Down || event->key() == Qt::Key_Up;
    if (arrow && selectedIndex() == -1 && currentItem()) {
        currentItem()->setSelected(true);
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FileList::onSelectionChanged()
{
    if (!m_refilling)
        Q_EMIT fileClicked();
}
