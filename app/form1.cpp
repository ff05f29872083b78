// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/form1.h"

#include "app/accessibility.h"
#include "app/controltable.h"
#include "app/focusmark.h"
#include "app/mainmenu.h"
#include "app/noticelabelaccessible.h"
#include "app/pathopening.h"
#include "app/progresslabelaccessible.h"
#include "app/windowservices.h"
#include "browse/drivelist.h"
#include "browse/driveprovider.h"
#include "browse/fileselection.h"
#include "browse/filelist.h"
#include "browse/folderlist.h"
#include "convert/valueconversions.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "rewrite/savemessages.h"

#include "resources/images.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

using namespace Qt::StringLiterals;

// The program's folder comes from the platform seam, exact: Qt's own answer loses a folder
// whose name is not valid text.
Form1::Environment Form1::Environment::desktop()
{
    return {std::make_shared<WindowServices>(), createSystemDriveProvider(),
            ::startFolder(programFolder(), userFilesFolder())};
}

Form1::Form1(Environment environment) : m_environment(std::move(environment))
{
    setWindowTitle(u"Kelvora Stärkeneditor"_s);
    setWindowIcon(Images::windowIcon());

    auto *client = new QWidget(this);
    client->setObjectName(u"client"_s);
    client->setFixedSize(ControlTable::ClientArea.toPixels().size());
    QPalette black = client->palette();
    black.setColor(QPalette::Window, Qt::black);
    client->setPalette(black);
    client->setAutoFillBackground(true);
    setCentralWidget(client);
    // Nothing reacts to a size change, so the window keeps the size of its client area.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    useWindowAccessibility();
    m_controls = createControls(client, m_environment.drives);
    exposeStarRows(m_controls);
    markKeyboardFocus(client);
    setAcceptDrops(true);
    createMainMenu(*this, [this](qint16 index) { MnuDateiItemClick(index); },
                   [this](qint16 index) { MnuInfoItemClick(index); });
    setInputTabOrder();
    wireEvents();
    announceListEntries(m_controls, this);
    startUp();
}

// The handlers hold pointers to sibling controls; no control torn down after its sibling may
// still reach one through them.
Form1::~Form1()
{
    const Controls &c = m_controls;
    for (QObject *control : std::initializer_list<QObject *>{
             c.drvlaufwerk, c.Dirverzeichnis, c.Fildatei, c.cbostar[0], c.cbostar[1],
             c.btnspeichern})
        control->disconnect(this);
}

void Form1::setInputTabOrder()
{
    const Controls &c = m_controls;
    const std::array<QWidget *, 6> order{c.drvlaufwerk, c.Dirverzeichnis, c.Fildatei,
                                         c.cbostar[0], c.cbostar[1], c.btnspeichern};
    for (size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void Form1::wireEvents()
{
    const Controls &c = m_controls;
    connectFileSelection(*c.drvlaufwerk, *c.Dirverzeichnis, *c.Fildatei, *c.btnspeichern, this);
    connectRatingSelectors(c.starControls(), this);
    connect(c.btnspeichern, &QPushButton::clicked, this, &Form1::btnspeichernClick);
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this,
            &Form1::rereadLists);
    connect(c.Fildatei, &FileList::fileClicked, this, &Form1::lookAtChosenFile);
    connect(&m_glance, &FileGlance::seen, this, &Form1::describeChosenFile);
    connect(c.Dirverzeichnis, &FolderList::pathChanged, this,
            [this] { NoticeLabelAccessible::show(m_controls.chosenFileLine, {}); });
    // The user opened a folder and sees it not open: he is told why.
    connect(c.Dirverzeichnis, &FolderList::folderRefused, this,
            [this](const QString &folder, const SystemError &error) {
                showMessage({SaveMessage::Icon::Warning, u"Ordner"_s,
                             folderUnreadableWords(folder, error)});
            });
}

// Runs once, before the window is first shown. Each assignment raises its control's handler.
// The lists are made empty, so this one read of the folder shown fills both. A start path that
// cannot be shown leaves the start as without one, and a message says why once the window is
// there to stand over.
void Form1::startUp()
{
    const QString &path = m_environment.startPath;
    const QStringList problem = path.isEmpty()
        ? QStringList()
        : openInLists(path, *m_controls.Dirverzeichnis, *m_controls.Fildatei);
    if (path.isEmpty() || !problem.isEmpty())
        showStartFolder();
    if (!problem.isEmpty())
        QTimer::singleShot(0, this, [this, problem] {
            const QString instead = u"Das Fenster zeigt stattdessen den Ordner „%1“."_s.arg(
                shownPath(m_controls.Dirverzeichnis->path()));
            showMessage({SaveMessage::Icon::Warning, u"Öffnen"_s, problem + QStringList{instead}});
        });
    m_controls.cbostar[0]->setCurrentIndex(0);
    m_controls.cbostar[1]->setCurrentIndex(0);
}

// A start folder the list cannot show leaves start-up on the current folder instead, and
// failing that on the root.
void Form1::showStartFolder()
{
    FolderList &folders = *m_controls.Dirverzeichnis;
    if (folders.setPath(m_environment.startFolder).failed()
        && folders.setPath(currentFolder()).failed())
        (void)folders.setPath(QDir::rootPath());
}

namespace {

// One local file or folder: what a file manager's drop gives. Several at once are refused, as
// the window shows one file.
QString droppedPath(const QMimeData *data)
{
    const QList<QUrl> urls = data ? data->urls() : QList<QUrl>();
    return urls.size() == 1 ? localPathOfUrl(urls.first()) : QString();
}

} // namespace

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedPath(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

// A drop that cannot be shown leaves the folder list where it was.
void Form1::dropEvent(QDropEvent *event)
{
    const QString path = droppedPath(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    const QString before = m_controls.Dirverzeichnis->path();
    const QStringList problem = openInLists(path, *m_controls.Dirverzeichnis, *m_controls.Fildatei);
    if (problem.isEmpty())
        return;
    if (m_controls.Dirverzeichnis->path() != before)
        (void)m_controls.Dirverzeichnis->setPath(before);
    showMessage({SaveMessage::Icon::Warning, u"Öffnen"_s, problem});
}

void Form1::rereadLists()
{
    if (!m_saving)
        refreshLists(*m_controls.drvlaufwerk, *m_controls.Dirverzeichnis, *m_controls.Fildatei);
}

void Form1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()
        && m_controls.Dirverzeichnis->changedSinceRead())
        rereadLists();
}

void Form1::btnspeichernClick()
{
    // The save runs pending events after every line, so the button can be pressed again.
    if (m_saving)
        return;
    m_saving = true;
    SaveStrengthFile();
    m_saving = false;
    if (m_endRequested)
        m_environment.services->endProgram();
}

void Form1::MnuDateiItemClick(qint16)
{
    // During a save, end once the save has stopped and discarded its unfinished output.
    if (m_saving)
        m_endRequested = true;
    else
        m_environment.services->endProgram();
}

void Form1::MnuInfoItemClick(qint16)
{
    m_environment.services->showMessage(this, QMessageBox::Information, u"Info"_s, aboutText());
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_saving) {
        // The save notices at its next line, discards its output, and then the program ends.
        m_endRequested = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

qint32 Form1::CUint(qint16 intValue)
{
    return ValueConversions::CUint(intValue);
}

QString Form1::Dec2Bin(qint32 Dec)
{
    return ValueConversions::Dec2Bin(Dec);
}

qint32 Form1::Bin2Dec(const QString &text)
{
    return ValueConversions::Bin2Dec(text);
}

void Form1::SaveStrengthFile()
{
    const QString folder = m_controls.Dirverzeichnis->path();
    const QString fileName = m_controls.Fildatei->selectedFileName();
    if (fileName.isEmpty())
        return showMessage(noFileChosenMessage());
    const SaveOutcome outcome = saveRewrittenCopy({folder, fileName}, *this, *this);
    if (outcome.end != SaveOutcome::End::Stopped)
        showMessage(saveMessage(outcome, MessagePlace::Window));
    showAsterisks(0);
}

void Form1::showMessage(const SaveMessage &message)
{
    const auto icon = message.icon == SaveMessage::Icon::Information ? QMessageBox::Information
                                                                      : QMessageBox::Warning;
    m_environment.services->showMessage(this, icon, message.title, message.text(),
                                        message.detail);
}

void Form1::lookAtChosenFile()
{
    const QString name = m_controls.Fildatei->selectedFileName();
    if (!name.isEmpty())
        m_glance.look({m_controls.Fildatei->folder(), name});
}

// The list may show another folder by now; the words belong to that file only.
void Form1::describeChosenFile(const QString &folder, const QString &name, const QString &text,
                               const QString &line)
{
    if (folder != m_controls.Fildatei->folder())
        return;
    m_controls.Fildatei->describeFile(name, text);
    NoticeLabelAccessible::show(m_controls.chosenFileLine, line);
}

void Form1::showAsterisks(int count)
{
    // The same count means the same text: skip rebuilding it.
    if (count == m_shownAsterisks)
        return;
    m_shownAsterisks = count;
    m_controls.lblprobar->setText(QString(count, u'*'));
    ProgressLabelAccessible::announce(m_controls.lblprobar);
}

int Form1::startRatingIndex()
{
    return m_controls.cbostar[0]->currentIndex();
}

int Form1::maxRatingIndex()
{
    return m_controls.cbostar[1]->currentIndex();
}

// The row shows the progress reached before the window gets its events: only then is it drawn.
bool Form1::progressed(qint64 progress, qint64 length)
{
    if (m_asterisks.length() != length)
        m_asterisks = AsteriskCounter(length);
    showAsterisks(m_asterisks.count(progress));
    m_environment.services->runPendingEvents();
    return !m_endRequested; // only a handler run just now can have asked to end
}

qint64 Form1::reportInterval() const
{
    return m_environment.services->saveReportInterval();
}
