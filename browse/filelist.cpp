#include "browse/filelist.h"

#include "browse/folderpaths.h"
#include "platform/filenames.h"
#include "platform/folders.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace {

constexpr int ExactNameRole = Qt::UserRole;

// Case folding for comparing names; names are mostly ASCII, which needs no table.
char16_t folded(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u >= u'A' && u <= u'Z' ? char16_t(u + (u'a' - u'A')) : u;
    return c.toCaseFolded().unicode();
}

QString foldedPattern(QStringView pattern)
{
    QString folding(pattern.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < pattern.size(); ++i)
        folding[i] = QChar(folded(pattern.at(i)));
    return folding;
}

// "*" stands for any run of characters, "?" for any one; the rest compares ignoring case, the
// pattern folded beforehand. On a mismatch the last "*" takes one character more, which keeps
// the match quick for patterns like ours with few stars.
bool matchesWildcard(QStringView name, QStringView pattern)
{
    qsizetype n = 0;
    qsizetype p = 0;
    qsizetype afterStar = -1; // pattern position after the last "*" met
    qsizetype starTakesUpTo = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern.at(p) == u'*') {
            afterStar = ++p;
            starTakesUpTo = n;
        } else if (p < pattern.size()
                   && (pattern.at(p) == u'?' || pattern.at(p) == QChar(folded(name.at(n))))) {
            ++p;
            ++n;
        } else if (afterStar >= 0) {
            p = afterStar;
            n = ++starTakesUpTo;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern.at(p) == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace

FileList::FileList(const QString &pattern, QWidget *parent)
    : QListWidget(parent), m_pattern(pattern)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemSelectionChanged, this, &FileList::onSelectionChanged);
    setFolder(currentFolder());
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
    setFolder(clean, readFolder(clean).files);
}

void FileList::setFolder(const QString &folder, const QStringList &regularFiles)
{
    const QString pattern = foldedPattern(m_pattern);
    QStringList names;
    for (const QString &name : regularFiles) {
        if (matchesWildcard(name, pattern))
            names.append(name);
    }
    sortByName(names);

    m_refilling = true;
    m_folder = cleanFolderPath(folder);
    clear();
    for (const QString &name : std::as_const(names)) {
        auto *item = new QListWidgetItem(readableFileName(name), this);
        item->setData(ExactNameRole, name);
    }
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
    return row >= 0 ? item(row)->data(ExactNameRole).toString() : QString();
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
