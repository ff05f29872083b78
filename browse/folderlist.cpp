// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/folderlist.h"

#include "browse/entryannouncement.h"

#include "platform/desktop.h"
#include "platform/filenames.h"
#include "platform/folders.h"
#include "platform/namematching.h"
#include "platform/paths.h"
#include "resources/images.h"

#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <cerrno>

namespace {

// The rows show readable names; these roles keep the exact ones.
constexpr int FolderPathRole = Qt::UserRole; // the drive root and the open folders above
constexpr int FolderNameRole = Qt::UserRole + 1; // the current folder's subfolders

QString rootOfFolder(const QString &folder, const QList<Drive> &drives)
{
    const qsizetype drive = driveIndexForPath(drives, folder);
    return drive >= 0 ? cleanFolderPath(drives.at(drive).rootPath) : rootOf(folder);
}

// The system's own folder icons, or, where the style would search for them at length, our own
// pictures compiled in.
QIcon folderIcon(const QWidget *list, QStyle::StandardPixmap which)
{
    if (systemFolderIconsWanted())
        return list->style()->standardIcon(which, nullptr, list);
    return which == QStyle::SP_DirOpenIcon ? Images::openFolderIcon() : Images::closedFolderIcon();
}

} // namespace

FolderList::FolderList(std::shared_ptr<const DriveProvider> provider, QWidget *parent)
    : QTreeWidget(parent),
      m_provider(std::move(provider)),
      m_openIcon(folderIcon(this, QStyle::SP_DirOpenIcon)),
      m_closedIcon(folderIcon(this, QStyle::SP_DirClosedIcon))
{
    setHeaderHidden(true);
    setColumnCount(1);
    setHeaderLabels({QStringLiteral("Ordner")}); // hidden, but screen readers still name the column
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true); // keeps a folder with thousands of subfolders quick to lay out
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIndentation(fontMetrics().averageCharWidth() * 2);
}

QString FolderList::path() const
{
    return m_path;
}

const QStringList &FolderList::files() const
{
    return m_files;
}

SystemError FolderList::setPath(const QString &folderOrDrive)
{
    const QString target = cleanFolderPath(folderOrDrive);
    if (target.isEmpty())
        return SystemError::ofErrno(ENOENT);
    const QList<Drive> drives = m_provider->drives();
    const auto drive = std::find_if(drives.cbegin(), drives.cend(), [&](const Drive &d) {
        return QString::compare(cleanFolderPath(d.rootPath), target, FileNameCase) == 0;
    });
    if (drive == drives.cend())
        return showFolder(target, drives);

    const QString root = cleanFolderPath(drive->rootPath);
    const QString lastShown = m_lastFolderOfDrive.value(root);
    if (!lastShown.isEmpty() && lastShown != root && !showFolder(lastShown, drives).failed())
        return {};
    return showFolder(root, drives);
}

SystemError FolderList::showFolder(const QString &folder, const QList<Drive> &drives)
{
    // Looked at first, so that a change during the read shows as one afterwards.
    PathFacts facts = lookAt(folder);
    FolderEntries entries = readFolder(folder);
    if (entries.error.failed())
        return entries.error;
    m_readFacts = std::move(facts);
    const QString root = rootOfFolder(folder, drives);
    sortByName(entries.folders);
    rebuild(root, folder, entries.folders);
    m_files = std::move(entries.files);
    m_lastFolderOfDrive.insert(root, folder);
    if (folder == m_path)
        return {};
    m_path = folder;
    Q_EMIT pathChanged();
    return {};
}

// One chain of open folders from the root down, the subfolders hanging below the last one.
// The items are built off the view and inserted in one go, so the view lays out once.
void FolderList::rebuild(const QString &root, const QString &folder, const QStringList &subfolders)
{
    setUpdatesEnabled(false);
    clear();

    auto *rootItem = new QTreeWidgetItem(QStringList{shownPath(root)});
    rootItem->setIcon(0, m_openIcon);
    rootItem->setData(0, FolderPathRole, root);
    QList<QTreeWidgetItem *> chain{rootItem};
    QString path = root;
    const QStringList below = folder.mid(root.size()).split(u'/', Qt::SkipEmptyParts);
    for (const QString &name : below) {
        path = joinPath(path, name);
        auto *item = new QTreeWidgetItem(chain.last(), QStringList{readableFileName(name)});
        item->setIcon(0, m_openIcon);
        item->setData(0, FolderPathRole, path);
        chain.append(item);
    }

    QList<QTreeWidgetItem *> children;
    children.reserve(subfolders.size());
    for (const QString &name : subfolders) {
        auto *item = new QTreeWidgetItem(QStringList{readableFileName(name)});
        item->setData(0, FolderNameRole, name);
        item->setIcon(0, m_closedIcon);
        children.append(item);
    }
    QTreeWidgetItem *currentFolderItem = chain.last();
    currentFolderItem->addChildren(children);

    addTopLevelItem(rootItem);
    for (QTreeWidgetItem *item : std::as_const(chain))
        item->setExpanded(true);
    setCurrentItem(currentFolderItem);
    scrollToItem(currentFolderItem);
    setUpdatesEnabled(true);
}

SystemError FolderList::reread()
{
    if (m_path.isEmpty())
        return SystemError::ofErrno(ENOENT);
    const QString current = currentItem() ? folderOfItem(currentItem()) : QString();
    const QList<Drive> drives = m_provider->drives();
    QString folder = m_path;
    SystemError error = showFolder(folder, drives);
    for (QString above = splitPath(folder).folder; error.failed() && above != folder;
         above = splitPath(folder).folder) {
        folder = above;
        error = showFolder(folder, drives);
    }
    if (!error.failed() && folder == m_path)
        makeFolderCurrent(current);
    return error;
}

bool FolderList::changedSinceRead() const
{
    if (m_path.isEmpty())
        return false;
    const PathFacts now = lookAt(m_path);
    return now.error.failed() || now.identity != m_readFacts.identity
        || now.modified != m_readFacts.modified;
}

// A row of the chain or a subfolder; none of that folder leaves the current row as it is.
void FolderList::makeFolderCurrent(const QString &folder)
{
    for (QTreeWidgetItemIterator row(this); *row; ++row) {
        if (folderOfItem(*row) == folder) {
            setCurrentItem(*row);
            scrollToItem(*row);
            return;
        }
    }
}

// Subfolder rows carry only their name, which keeps filling a large folder cheap.
QString FolderList::folderOfItem(const QTreeWidgetItem *item) const
{
    const QVariant stored = item->data(0, FolderPathRole);
    return stored.isValid() ? stored.toString()
                            : joinPath(m_path, item->data(0, FolderNameRole).toString());
}

void FolderList::open(const QTreeWidgetItem *item)
{
    const QList<Drive> drives = m_provider->drives();
    // A folder removed since the list was filled cannot be opened; re-reading the current
    // one drops it from the list.
    const QString folder = folderOfItem(item);
    if (const SystemError error = showFolder(folder, drives); error.failed()) {
        (void)showFolder(m_path, drives);
        Q_EMIT folderRefused(folder, error);
    }
}

void FolderList::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Opening rebuilds every item, so the base class must not see the event afterwards.
    const QTreeWidgetItem *item = itemAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !item) {
        QTreeWidget::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
    open(item);
}

void FolderList::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || !currentItem()) {
        QTreeWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    open(currentItem());
}

void FolderList::focusInEvent(QFocusEvent *event)
{
    QTreeWidget::focusInEvent(event);
    announceCurrentEntryAfterFocus(this, [this] { currentChanged(currentIndex(), {}); });
}
