// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/applicationsetup.h"
#include "app/controls.h"
#include "app/deferrediconstyle.h"
#include "app/form1.h"
#include "app/mainmenu.h"
#include "app/pathopening.h"
#include "app/startarguments.h"
#include "app/windowservices.h"
#include "browse/drivelist.h"
#include "browse/driveprovider.h"
#include "browse/filelist.h"
#include "browse/folderlist.h"
#include "platform/fontwarmup.h"
#include "rating/picture.h"
#include "rewrite/savemessages.h"
#include "tests/app/messageboxanswer.h"
#include "support/denyaccess.h"
#include "support/droppath.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <functional>
#include <utility>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// Answers message boxes and watches the pump and the program end instead of a desktop.
class ScriptedServices : public WindowServices
{
public:
    struct Message
    {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QString detail;
    };

    void showMessage(QWidget *, QMessageBox::Icon icon, const QString &title,
                     const QString &text, const QString &detail) override
    {
        messages.append({icon, title, text, detail});
    }
    qint64 saveReportInterval() const override { return 0; } // after every line
    void runPendingEvents() override
    {
        ++pumps;
        if (onPump)
            onPump(pumps);
    }
    void endProgram() override { ++ends; }

    QList<Message> messages;
    int pumps = 0;
    int ends = 0;
    std::function<void(int)> onPump;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString starPattern(const std::array<Picture *, 6> &row, const Controls &c)
{
    QString pattern;
    for (const Picture *p : row) {
        if (p->isHidden())
            pattern += u'-';
        else if (p->imageKey() == c.imgstarv->imageKey())
            pattern += u'F';
        else if (p->imageKey() == c.imgstarh->imageKey())
            pattern += u'H';
        else if (p->imageKey() == c.imgstarl->imageKey())
            pattern += u'E';
        else
            pattern += u'?';
    }
    return pattern;
}

// Where a style draws a push button's text and a closed rating list's entry.
QRect buttonTextRoom(const QPushButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
}

QRect listEntryRoom(const QComboBox *list)
{
    QStyleOptionComboBox option;
    option.initFrom(list);
    option.editable = false;
    // The entry is drawn one pixel in from either side of the edit field.
    return list->style()
        ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list)
        .adjusted(1, 0, -1, 0);
}

bool fits(const QFontMetrics &metrics, const QString &text, QRect room)
{
    return metrics.horizontalAdvance(text) <= room.width() && metrics.height() <= room.height();
}

} // namespace

class tst_Form1 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void controlGeometry_data();
    void controlGeometry();
    void captionsSizedToTheirText();
    void windowFrameAndClientArea();
    void textsColoursAndFonts();
    void textsFitTheirBoxes_data();
    void textsFitTheirBoxes();
    void initialStateBeforeStartUp();
    void startUpResult();
    void tabOrder();
    void templatesNeverShown();
    void menus_data();
    void menus();
    void overflowIconsAsTheStyleMakesThem_data();
    void overflowIconsAsTheStyleMakesThem();
    void menuAccessKeys_data();
    void menuAccessKeys();
    void aboutBoxThroughRealMessageBox();
    void folderThatDoesNotOpenIsExplained_data();
    void folderThatDoesNotOpenIsExplained();
    void chosenFileDescribed_data();
    void chosenFileDescribed();
    void saveThroughTheWindow();
    void saveWithNoFileChosen();
    void ratingChangedDuringSaveAppliesToLaterLines();
    void secondPressDuringSaveIsIgnored();
    void endingDuringSaveDiscardsOutput_data();
    void endingDuringSaveDiscardsOutput();
    void conversionsOfferedByTheWindow();
    void ctrlQEndsTheProgram();
    void f5AndActivationReadTheListsAgain();
    void screenReadersMeetEachControl_data();
    void screenReadersMeetEachControl();
    void starRowsForScreenReaders();
    void startPath_data();
    void startPath();
    void startFolderWithoutPath();
    void startArguments_data();
    void startArguments();
    void fontWarmUpEndsWithOrWithoutWaiting();

private:
    Form1 &makeWindow(const QString &startPath = {});

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_style;    // the application's, restored after each test
    QList<int> m_fonts; // added by a test, removed after it
    std::shared_ptr<ScriptedServices> m_services;
    std::unique_ptr<Form1> m_form;
};

void tst_Form1::initTestCase()
{
    m_style = QApplication::style()->name(); // the program's style wraps it and has no name
    setUpApplication();
}

void tst_Form1::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY2(m_dir->isValid(), qPrintable(m_dir->errorString()));
    QVERIFY(writeFile(m_dir->filePath(u"b_sp.cfg"_s), "01STx 1\r\n"));
    QVERIFY(writeFile(m_dir->filePath(u"a_sp2.cfg"_s), "01MAXyyyyyyy 2\r\n"));
    QVERIFY(writeFile(m_dir->filePath(u"other.cfg"_s), "x\r\n"));
    m_services = std::make_shared<ScriptedServices>();
}

void tst_Form1::cleanup()
{
    m_form.reset();
    for (int id : std::exchange(m_fonts, {}))
        QFontDatabase::removeApplicationFont(id);
    if (!qobject_cast<DeferredIconStyle *>(QApplication::style())) {
        QApplication::setStyle(m_style);
        deferOverflowIcons();
    }
    QTRY_VERIFY2(QApplication::topLevelWidgets().isEmpty(), "a window was left behind");
}

Form1 &tst_Form1::makeWindow(const QString &startPath)
{
    m_form = std::make_unique<Form1>(
        Form1::Environment{m_services, createSystemDriveProvider(), m_dir->path(), startPath});
    return *m_form;
}

void tst_Form1::controlGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("pixels");

    // Twips divided by 15, rounded: the places of the controls at 96 dpi.
    QTest::newRow("banner") << u"Picture1"_s << u"client"_s << QRect(0, 0, 404, 104);
    QTest::newRow("left frame") << u"frame1"_s << u"client"_s << QRect(3, 104, 200, 305);
    QTest::newRow("right frame") << u"Frame2"_s << u"client"_s << QRect(200, 104, 200, 305);
    QTest::newRow("drive list") << u"drvlaufwerk"_s << u"frame1"_s << QRect(8, 16, 185, 21);
    QTest::newRow("folder list") << u"Dirverzeichnis"_s << u"frame1"_s << QRect(8, 43, 185, 126);
    QTest::newRow("file list") << u"Fildatei"_s << u"frame1"_s << QRect(8, 176, 185, 123);
    QTest::newRow("start list") << u"cbostar(0)"_s << u"Frame2"_s << QRect(112, 32, 81, 21);
    QTest::newRow("maximum list") << u"cbostar(1)"_s << u"Frame2"_s << QRect(112, 160, 81, 21);
    QTest::newRow("save button") << u"btnspeichern"_s << u"Frame2"_s << QRect(8, 240, 89, 25);
    QTest::newRow("progress label") << u"lblprobar"_s << u"Frame2"_s << QRect(8, 272, 180, 29);
    QTest::newRow("full template") << u"imgstarv"_s << u"Frame2"_s << QRect(40, 96, 27, 25);
    QTest::newRow("half template") << u"imgstarh"_s << u"Frame2"_s << QRect(72, 96, 27, 25);
    QTest::newRow("empty template") << u"imgstarl"_s << u"Frame2"_s << QRect(104, 96, 27, 25);
    for (int i = 0; i < 6; ++i) {
        const QString start = u"imgstar(%1)"_s.arg(i);
        const QString maximum = u"imgstarm(%1)"_s.arg(i);
        QTest::newRow(qPrintable(start)) << start << u"Frame2"_s << QRect(8 + 32 * i, 64, 27, 25);
        QTest::newRow(qPrintable(maximum)) << maximum << u"Frame2"_s << QRect(8 + 32 * i, 192, 27, 25);
    }
}

void tst_Form1::controlGeometry()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, pixels);
    Form1 &form = makeWindow();
    auto *widget = form.findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(widget->geometry(), pixels);
}

void tst_Form1::captionsSizedToTheirText()
{
    const Controls &c = makeWindow().controls();
    for (QLabel *caption : {c.Label2, c.Label3}) {
        QCOMPARE(caption->pos(), caption == c.Label2 ? QPoint(8, 32) : QPoint(8, 160));
        QCOMPARE(caption->size(), caption->sizeHint());
    }
}

void tst_Form1::windowFrameAndClientArea()
{
    Form1 &form = makeWindow();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.windowTitle(), u"Kelvora Stärkeneditor"_s);
    QVERIFY(!form.windowIcon().isNull());
    QCOMPARE(form.centralWidget()->size(), QSize(403, 415));
    QCOMPARE(form.centralWidget()->palette().color(QPalette::Window), QColor(Qt::black));
    QVERIFY(form.menuBar()->isVisible());
    // Nothing reacts to a size change: the window keeps its size.
    const QSize before = form.size();
    form.resize(before + QSize(100, 100));
    QCOMPARE(form.size(), before);
    QCOMPARE(form.controls().btnspeichern->geometry(), QRect(8, 240, 89, 25));
}

void tst_Form1::textsColoursAndFonts()
{
    const Controls &c = makeWindow().controls();
    QCOMPARE(c.Label2->text(), u"Startsterne:"_s);
    QCOMPARE(c.Label3->text(), u"Max.-sterne:"_s);
    QCOMPARE(c.btnspeichern->text(), u"Speichern"_s);
    for (QWidget *w : std::initializer_list<QWidget *>{c.frame1, c.Frame2, c.Label2, c.Label3, c.lblprobar}) {
        QCOMPARE(w->palette().color(QPalette::Window), QColor(64, 64, 64));
        QCOMPARE(w->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    }
    // Drawn in the first installed of the families the layout was measured with.
    const QStringList layoutFamilies{u"MS Sans Serif"_s, u"Arial"_s, u"Liberation Sans"_s};
    for (QLabel *caption : {c.Label2, c.Label3}) {
        QVERIFY(layoutFamilies.contains(QFontInfo(caption->font()).family()));
        QCOMPARE(caption->font().pointSize(), 12);
        QVERIFY(caption->font().bold());
    }
    QVERIFY(layoutFamilies.mid(1).contains(QFontInfo(c.lblprobar->font()).family()));
    QCOMPARE(c.lblprobar->font().pointSize(), 18);
    QVERIFY(c.lblprobar->font().bold());
    QCOMPARE(c.Picture1->pixmap().size(), QSize(400, 100));
}

void tst_Form1::textsFitTheirBoxes_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("family");
    QTest::addColumn<qreal>("points");
    QTest::addColumn<QStringList>("fontFiles");

    // The dialog fonts the program gets: on Linux Liberation Sans 8 pt (the package depends on
    // it); on Windows the stock dialog font, MS Shell Dlg 8 pt (8.25 at 96 dpi), which is
    // Microsoft Sans Serif on Windows 10 and 11 and Tahoma under Wine. Wine's TrueType MS Sans
    // Serif and Tahoma stand in for Windows' own.
    const QString wine = QStringLiteral(KELVORA_WINE_FONTS);
    const QStringList wineFonts{wine + "/tahoma.ttf"_L1, wine + "/tahomabd.ttf"_L1,
                                wine + "/ms_sans_serif.ttf"_L1};
    QTest::newRow("Fusion, Liberation Sans 8") << u"Fusion"_s << u"Liberation Sans"_s << 8.0
                                               << QStringList();
    for (const QString &style : {u"Windows"_s, u"windowsvista"_s}) {
        for (const QString &family : {u"Tahoma"_s, u"MS Sans Serif"_s}) {
            const QString row = style + u", "_s + family + u" 8.25"_s;
            QTest::newRow(qPrintable(row)) << style << family << 8.25 << wineFonts;
        }
    }
}

// Every text of a fixed-size control shows whole: the button's, each rating entry closed and in
// the open list (all thirteen, no scrollbar), the captions before their lists, and a full row of
// progress asterisks.
void tst_Form1::textsFitTheirBoxes()
{
    QFETCH(QString, style);
    QFETCH(QString, family);
    QFETCH(qreal, points);
    QFETCH(QStringList, fontFiles);
    if (!QStyleFactory::keys().contains(style, Qt::CaseInsensitive))
        QSKIP("this Qt has no such style");
    for (const QString &file : fontFiles)
        m_fonts.append(QFontDatabase::addApplicationFont(file));
    if (m_fonts.contains(-1))
        QSKIP("Wine's fonts are missing (Debian package fonts-wine)");
    QFont font;
    font.setFamilies({family});
    font.setPointSizeF(points);
    if (QFontInfo(font).family() != family)
        QSKIP("the font is not installed");
    QApplication::setStyle(style);

    Form1 &form = makeWindow();
    form.centralWidget()->setFont(font);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const Controls &c = form.controls();
    QPushButton *save = c.btnspeichern;
    QVERIFY(fits(save->fontMetrics(), save->text(), buttonTextRoom(save)));
    for (QComboBox *list : c.cbostar) {
        for (int k = 0; k < list->count(); ++k)
            QVERIFY2(fits(list->fontMetrics(), list->itemText(k), listEntryRoom(list)),
                     qPrintable(list->itemText(k)));
        list->showPopup();
        QAbstractItemView *view = list->view();
        QVERIFY(QTest::qWaitForWindowExposed(view->window()));
        QVERIFY(!view->verticalScrollBar()->isVisible());
        // An entry's text with the margins an item view leaves either side fits its row.
        const int margins = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
        const QFontMetrics metrics = view->fontMetrics();
        for (int k = 0; k < list->count(); ++k) {
            const QRect row =
                view->visualRect(view->model()->index(k, 0)) & view->viewport()->rect();
            QVERIFY2(row.height() >= metrics.height()
                         && metrics.horizontalAdvance(list->itemText(k)) + margins <= row.width(),
                     qPrintable(list->itemText(k)));
        }
        list->hidePopup();
    }
    QVERIFY(c.Label2->geometry().right() < c.cbostar[0]->geometry().left());
    QVERIFY(c.Label3->geometry().right() < c.cbostar[1]->geometry().left());
    QVERIFY(fits(c.lblprobar->fontMetrics(), QString(20, u'*'), c.lblprobar->contentsRect()));
}

void tst_Form1::initialStateBeforeStartUp()
{
    QWidget client;
    const Controls c = createControls(&client, createSystemDriveProvider());
    QVERIFY(!c.btnspeichern->isEnabled());
    QCOMPARE(c.cbostar[0]->currentIndex(), -1);
    QCOMPARE(c.cbostar[1]->currentIndex(), -1);
    QVERIFY(c.lblprobar->text().isEmpty());
    for (const auto *row : {&c.imgstar, &c.imgstarm})
        for (const Picture *p : *row)
            QVERIFY(p->isHidden() && !p->hasImage());
    for (const Picture *t : {c.imgstarv, c.imgstarh, c.imgstarl}) {
        QVERIFY(t->isHidden());
        QCOMPARE(t->pixmap().size(), QSize(43, 41));
    }
    QCOMPARE(c.Fildatei->selectedIndex(), -1);
}

void tst_Form1::startUpResult()
{
    const Controls &c = makeWindow().controls();
    QCOMPARE(c.Dirverzeichnis->path(), QFileInfo(m_dir->path()).canonicalFilePath());
    QCOMPARE(c.Fildatei->count(), 2);
    QCOMPARE(c.Fildatei->item(0)->text(), u"a_sp2.cfg"_s);
    QCOMPARE(c.Fildatei->item(1)->text(), u"b_sp.cfg"_s);
    QCOMPARE(c.Fildatei->selectedIndex(), -1);
    QVERIFY(!c.btnspeichern->isEnabled());
    for (QComboBox *list : c.cbostar) {
        QCOMPARE(list->currentIndex(), 0);
        QCOMPARE(list->currentText(), u"0.0 Sterne"_s);
    }
    QCOMPARE(starPattern(c.imgstar, c), u"EEEEEE"_s);
    QCOMPARE(starPattern(c.imgstarm, c), u"EEEEEE"_s);
    QVERIFY(c.lblprobar->text().isEmpty());
}

void tst_Form1::tabOrder()
{
    Form1 &form = makeWindow();
    const Controls &c = form.controls();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    auto visit = [&](int steps) {
        QList<QWidget *> seen;
        c.drvlaufwerk->setFocus();
        for (int i = 0; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen.append(QApplication::focusWidget());
        }
        return seen;
    };
    const QList<QWidget *> disabled{c.Dirverzeichnis, c.Fildatei, c.cbostar[0], c.cbostar[1],
                                    static_cast<QWidget *>(c.drvlaufwerk)};
    QCOMPARE(visit(5), disabled);
    c.btnspeichern->setEnabled(true);
    const QList<QWidget *> enabled{c.Dirverzeichnis, c.Fildatei, c.cbostar[0], c.cbostar[1],
                                   c.btnspeichern, static_cast<QWidget *>(c.drvlaufwerk)};
    QCOMPARE(visit(6), enabled);
}

void tst_Form1::templatesNeverShown()
{
    Form1 &form = makeWindow();
    const Controls &c = form.controls();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (int k : {12, 3, 0, 7}) {
        c.cbostar[0]->setCurrentIndex(k);
        c.cbostar[1]->setCurrentIndex(12 - k);
        for (const Picture *t : {c.imgstarv, c.imgstarh, c.imgstarl})
            QVERIFY(!t->isVisible());
    }
    QVERIFY(c.imgstar[0]->isVisible());
}

void tst_Form1::menus_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("menuCaption");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("itemCaption");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<QString>("shortcutShown"); // German, whatever the system's language
    QTest::newRow("file") << u"MnuDatei"_s << u"&Datei"_s << u"MnuDateiItem"_s << u"&Ende"_s
                          << QKeySequence(Qt::CTRL | Qt::Key_Q) << u"Strg+Q"_s;
    QTest::newRow("info") << u"MnuInfo"_s << u"&Info"_s << u"MnuInfoItem"_s << u"&Info"_s
                          << QKeySequence(Qt::CTRL | Qt::Key_I) << u"Strg+I"_s;
}

void tst_Form1::menus()
{
    QFETCH(QString, menu);
    QFETCH(QString, menuCaption);
    QFETCH(QString, item);
    QFETCH(QString, itemCaption);
    QFETCH(QKeySequence, shortcut);
    QFETCH(QString, shortcutShown);
    Form1 &form = makeWindow();
    auto *menuControl = form.findChild<QMenu *>(menu);
    QVERIFY(menuControl);
    QCOMPARE(menuControl->title(), menuCaption);
    auto *action = form.findChild<QAction *>(item);
    QVERIFY(action);
    QCOMPARE(action->text(), itemCaption);
    QCOMPARE(action->shortcut(), shortcut);
    QCOMPARE(action->shortcut().toString(QKeySequence::NativeText), shortcutShown);
    QVERIFY(action->isEnabled() && action->isVisible() && !action->isChecked());
    QCOMPARE(form.menuBar()->actions().indexOf(menuControl->menuAction()), menu == u"MnuDatei"_s ? 0 : 1);
}

void tst_Form1::overflowIconsAsTheStyleMakesThem_data()
{
    QTest::addColumn<QStyle::StandardPixmap>("which");
    QTest::addColumn<qreal>("scale");
    QTest::newRow("menu bar's, 1x") << QStyle::SP_ToolBarHorizontalExtensionButton << 1.0;
    QTest::newRow("menu bar's, 2x") << QStyle::SP_ToolBarHorizontalExtensionButton << 2.0;
    QTest::newRow("vertical tool bar's, 2x") << QStyle::SP_ToolBarVerticalExtensionButton << 2.0;
}

// Made only when first drawn, the icon still has the style's own pixels at every scale.
void tst_Form1::overflowIconsAsTheStyleMakesThem()
{
    QFETCH(QStyle::StandardPixmap, which);
    QFETCH(qreal, scale);
    auto *deferring = qobject_cast<DeferredIconStyle *>(QApplication::style());
    QVERIFY(deferring);
    const QIcon deferred = deferring->standardIcon(which, nullptr, nullptr);
    const QIcon direct = deferring->baseStyle()->standardIcon(which, nullptr, nullptr);
    QVERIFY(!direct.isNull());
    QCOMPARE(deferred.availableSizes(), direct.availableSizes());
    const QPixmap shown = deferred.pixmap(QSize(16, 16), scale);
    QCOMPARE(shown.devicePixelRatio(), scale);
    QCOMPARE(shown.toImage(), direct.pixmap(QSize(16, 16), scale).toImage());
}

void tst_Form1::menuAccessKeys_data()
{
    QTest::addColumn<Qt::Key>("menuKey");
    QTest::addColumn<Qt::Key>("itemKey");
    QTest::addColumn<int>("ends");
    QTest::addColumn<int>("messages");
    QTest::newRow("Alt+D, E ends") << Qt::Key_D << Qt::Key_E << 1 << 0;
    QTest::newRow("Alt+I, I shows the about box") << Qt::Key_I << Qt::Key_I << 0 << 1;
}

void tst_Form1::menuAccessKeys()
{
    QFETCH(Qt::Key, menuKey);
    QFETCH(Qt::Key, itemKey);
    QFETCH(int, ends);
    QFETCH(int, messages);
    Form1 &form = makeWindow();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(QApplication::focusWidget(), menuKey, Qt::AltModifier);
    QTRY_VERIFY(QApplication::activePopupWidget());
    QTest::keyClick(QApplication::activePopupWidget(), itemKey);
    QTRY_COMPARE(m_services->ends, ends);
    QCOMPARE(m_services->messages.size(), messages);
    if (messages)
        QCOMPARE(m_services->messages[0].text, aboutText());
}

void tst_Form1::aboutBoxThroughRealMessageBox()
{
    m_services.reset();
    auto services = std::make_shared<WindowServices>();
    m_form = std::make_unique<Form1>(
        Form1::Environment{services, createSystemDriveProvider(), m_dir->path()});
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    MessageBoxAnswer answer;
    answer.armFor(m_form.get());
    QTest::keyClick(m_form.get(), Qt::Key_I, Qt::ControlModifier);
    QVERIFY(answer.answered);
    QCOMPARE(answer.text, aboutText());
    QCOMPARE(answer.text.toUtf8(), "Kelvora St\xc3\xa4rkeneditor v0.1\n"
                                   "Vom Kelvora\xe2\x80\x91" "Entwicklerteam.");
    QCOMPARE(answer.title, u"Info"_s);
    QCOMPARE(answer.icon, QMessageBox::Information);
    QCOMPARE(answer.buttons, 1);
    QCOMPARE(answer.shownAs, Qt::PlainText);
}

// A folder opened in the list that cannot be read: the list stays where it was, and a warning
// names the folder and the reason.
void tst_Form1::folderThatDoesNotOpenIsExplained_data()
{
    QTest::addColumn<bool>("removed"); // else nobody may read it
    QTest::addColumn<QString>("reason");

    QTest::newRow("removed since it was listed")
        << true << u"Datei oder Ordner wurde nicht gefunden."_s;
    QTest::newRow("nobody may read it") << false << u"Der Zugriff wurde verweigert."_s;
}

void tst_Form1::folderThatDoesNotOpenIsExplained()
{
    QFETCH(bool, removed);
    QFETCH(QString, reason);
    const QString sub = m_dir->filePath(u"sub"_s);
    QVERIFY(QDir(m_dir->path()).mkdir(u"sub"_s));
    const Controls &c = makeWindow().controls();
    const QString shown = c.Dirverzeichnis->path();
    QVERIFY(removed ? QDir(sub).removeRecursively() : denyEveryone(sub, true));
    const auto unlock = qScopeGuard([&] {
        if (!removed)
            denyEveryone(sub, false);
    });
    if (!removed && stillReadable(sub))
        QSKIP("this user reads every folder, whatever its rights say");

    c.Dirverzeichnis->setCurrentItem(
        c.Dirverzeichnis->findItems(u"sub"_s, Qt::MatchExactly | Qt::MatchRecursive).value(0));
    QTest::keyClick(c.Dirverzeichnis, Qt::Key_Return);
    QCOMPARE(c.Dirverzeichnis->path(), shown);
    QCOMPARE(m_services->messages.size(), 1);
    QCOMPARE(m_services->messages[0].icon, QMessageBox::Warning);
    const QString text = m_services->messages[0].text;
    QVERIFY2(text.startsWith(u"Der Ordner „%1“ konnte nicht gelesen werden.\n\n%2"_s.arg(
                 QDir::toNativeSeparators(sub), reason)),
             qPrintable(text));
}

// What the chosen file c_sp.cfg holds, read beside the window, becomes its entry's description
// and tool tip. A second pick at once (b_sp.cfg) stops the reading of the first.
void tst_Form1::chosenFileDescribed_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("size"); // made larger with zeros; -1: removed after it was listed
    QTest::addColumn<int>("last"); // the row picked last, after c_sp.cfg
    QTest::addColumn<QString>("described"); // the beginning
    QTest::addColumn<QString>("line"); // the window's line, its beginning

    const QByteArray lines = "01STRENGTH 3000\r\n02MAXSTRENGTH 5000\r\n03STRENGTH 3000\r\n";
    const QString rated = u"Startsterne: 1.5 Sterne.\nMax.-sterne: 2.5 Sterne.\n"_s;
    QTest::newRow("one rating each")
        << lines << 0ll << 2 << rated + u"Die Datei hat 2 Startzeilen und 1 Maximalzeile."_s
        << u"Start: 1.5 Sterne in 2 Zeilen.\nMax.: 2.5 Sterne in 1 Zeile."_s;
    QTest::newRow("mixed, and no rating")
        << "01STRENGTH 1000\r\n01STRENGTH 2000\r\n02MAXSTRENGTH 7500\r\n"_ba << 0ll << 2
        << u"Startsterne: gemischt.\nMax.-sterne: keine gültige Bewertung.\nDie Datei hat 2 "
           "Startzeilen und 1 Maximalzeile."_s
        << u"Start: gemischt in 2 Zeilen.\nMax.: ungültig in 1 Zeile."_s;
    QTest::newRow("no strength lines")
        << "; nur ein Kommentar\r\n"_ba << 0ll << 2
        << u"Die Datei hat keine Startzeile und keine Maximalzeile."_s
        << u"Die Datei hat keine Stärkezeilen."_s;
    QTest::newRow("too large to read whole")
        << lines << 40'000'000ll << 2
        << rated + u"Die Datei wurde nicht vollständig gelesen, nur die ersten "_s
        << u"Start: 1.5 Sterne in 2 Zeilen …\nMax.: 2.5 Sterne in 1 Zeile …"_s;
    QTest::newRow("removed since it was listed")
        << lines << -1ll << 2
        << u"Die Datei „PATH“ konnte nicht gelesen werden. Datei oder Ordner wurde nicht "
           "gefunden."_s
        << u"Die Datei ist nicht lesbar."_s;
    QTest::newRow("picked over") << lines << 40'000'000ll << 1
                                 << u"Startsterne: keine gültige Bewertung.\n"_s
                                 << u"Start: ungültig in "_s;
}

void tst_Form1::chosenFileDescribed()
{
    QFETCH(QByteArray, content);
    QFETCH(qint64, size);
    QFETCH(int, last);
    QFETCH(QString, described);
    QFETCH(QString, line);
    const QString path = m_dir->filePath(u"c_sp.cfg"_s);
    QVERIFY(writeFile(path, content) && (size <= 0 || QFile::resize(path, size)));
    const Controls &c = makeWindow().controls();
    QVERIFY(size >= 0 || QFile::remove(path));

    // The user's ratings stay as he set them, whatever the file holds.
    c.cbostar[0]->setCurrentIndex(3);
    c.cbostar[1]->setCurrentIndex(5);
    c.Fildatei->setCurrentRow(2);
    c.Fildatei->setCurrentRow(last);
    const auto description = [&](int row) {
        return c.Fildatei->item(row)->data(Qt::AccessibleDescriptionRole).toString();
    };
    QTRY_VERIFY(!description(last).isEmpty());
    described.replace(u"PATH"_s, QDir::toNativeSeparators(path));
    QVERIFY2(description(last).startsWith(described), qPrintable(description(last)));
    QCOMPARE(c.Fildatei->item(last)->toolTip(), Qt::convertFromPlainText(description(last)));
    QCOMPARE(description(2).isEmpty(), last != 2);
    QVERIFY2(c.chosenFileLine->text().startsWith(line), qPrintable(c.chosenFileLine->text()));
    QCOMPARE(c.cbostar[0]->currentIndex(), 3);
    QCOMPARE(c.cbostar[1]->currentIndex(), 5);
    // The window closed while a reading runs waits for it to stop.
    c.Fildatei->setCurrentRow(2);
    m_form.reset();
}

void tst_Form1::saveThroughTheWindow()
{
    Form1 &form = makeWindow();
    const Controls &c = form.controls();
    c.Fildatei->setCurrentRow(1);
    QVERIFY(c.btnspeichern->isEnabled());
    c.cbostar[0]->setCurrentIndex(7);
    c.cbostar[1]->setCurrentIndex(9);
    QTest::mouseClick(c.btnspeichern, Qt::LeftButton);
    QCOMPARE(readAll(m_dir->filePath(u"b_sp.cfg.new"_s)),
             QByteArray("01STx 1" + QByteArray(25, ' ') + " 7000 \r\n"));
    QCOMPARE(readAll(m_dir->filePath(u"b_sp.cfg"_s)), QByteArray("01STx 1\r\n"));
    QCOMPARE(m_services->messages.size(), 1);
    QCOMPARE(m_services->messages[0].text, u"Speichern erfolgreich"_s);
    QCOMPARE(m_services->messages[0].title, u"Speichern"_s);
    QCOMPARE(m_services->messages[0].icon, QMessageBox::Information);
    QVERIFY(c.lblprobar->text().isEmpty());
}

// Save stays enabled after the folder changed; pressed then, it says so and writes nothing.
void tst_Form1::saveWithNoFileChosen()
{
    Form1 &form = makeWindow();
    const Controls &c = form.controls();
    c.Fildatei->setCurrentRow(1);
    QVERIFY(QDir(m_dir->path()).mkdir(u"sub"_s));
    QVERIFY(!c.Dirverzeichnis->setPath(m_dir->filePath(u"sub"_s)).failed());
    QCOMPARE(c.Fildatei->selectedFileName(), QString());
    QTest::mouseClick(c.btnspeichern, Qt::LeftButton);
    QCOMPARE(m_services->messages.size(), 1);
    QCOMPARE(m_services->messages[0].icon, QMessageBox::Warning);
    QCOMPARE(m_services->messages[0].text, noFileChosenMessage().text());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).filter(u".new"_s),
             QStringList());
    QVERIFY(c.lblprobar->text().isEmpty());
}

void tst_Form1::ratingChangedDuringSaveAppliesToLaterLines()
{
    QByteArray input;
    for (int i = 0; i < 4; ++i)
        input += "00STRENGTH 0\r\n";
    QVERIFY(writeFile(m_dir->filePath(u"c_sp.cfg"_s), input));
    Form1 &form = makeWindow();
    const Controls &c = form.controls();
    c.Fildatei->setCurrentRow(2);
    QCOMPARE(c.Fildatei->selectedFileName(), u"c_sp.cfg"_s);
    QStringList labels;
    m_services->onPump = [&](int pump) {
        labels.append(c.lblprobar->text());
        if (pump == 2)
            c.cbostar[0]->setCurrentIndex(4);
    };
    QTest::mouseClick(c.btnspeichern, Qt::LeftButton);
    const QByteArray zero = "00STRENG" + QByteArray(25, ' ') + " 0 \r\n";
    const QByteArray four = "00STRENG" + QByteArray(25, ' ') + " 4000 \r\n";
    QCOMPARE(readAll(m_dir->filePath(u"c_sp.cfg.new"_s)), zero + four + four + four);
    // One offer after each line; any more come while the output is synced to disk.
    QVERIFY(labels.size() >= 4);
    QCOMPARE(labels.first(4),
             QStringList({u"*****"_s, QString(10, u'*'), QString(15, u'*'), QString(20, u'*')}));
    for (const QString &label : labels.mid(4))
        QCOMPARE(label, QString(20, u'*'));
}

void tst_Form1::secondPressDuringSaveIsIgnored()
{
    Form1 &form = makeWindow();
    const Controls &c = form.controls();
    c.Fildatei->setCurrentRow(1);
    m_services->onPump = [&](int) { QTest::mouseClick(c.btnspeichern, Qt::LeftButton); };
    QTest::mouseClick(c.btnspeichern, Qt::LeftButton);
    QVERIFY(m_services->pumps >= 1); // the press came during the save
    QCOMPARE(m_services->messages.size(), 1);
    QCOMPARE(m_services->messages[0].text, u"Speichern erfolgreich"_s);
    QVERIFY(!form.isSaving());
}

void tst_Form1::endingDuringSaveDiscardsOutput_data()
{
    QTest::addColumn<bool>("byClosingTheWindow");
    QTest::addColumn<int>("atPump"); // 100 lines, then the new file is put in place
    QTest::newRow("window closed") << true << 10;
    QTest::newRow("Ende chosen") << false << 10;
#ifdef Q_OS_WIN
    // The save waits for it, for about two seconds; the window still hears the user.
    QTest::newRow("Ende chosen while another program holds the .new") << false << 150;
#endif
}

void tst_Form1::endingDuringSaveDiscardsOutput()
{
    QFETCH(bool, byClosingTheWindow);
    QFETCH(int, atPump);
    const QByteArray input = QByteArray("01ST 1000\r\n").repeated(100);
    const QString path = m_dir->filePath(u"c_sp.cfg"_s);
    QVERIFY(writeFile(path, input));
    QVERIFY(writeFile(path + ".new"_L1, "earlier"));
#ifdef Q_OS_WIN
    const std::wstring held = QDir::toNativeSeparators(path + ".new"_L1).toStdWString();
    const HANDLE holder = atPump > 100 ? CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr,
                                                     OPEN_EXISTING, 0, nullptr)
                                       : INVALID_HANDLE_VALUE;
#endif
    Form1 &form = makeWindow();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.controls().Fildatei->setCurrentRow(2);
    m_services->onPump = [&](int pump) {
        if (pump != atPump)
            return;
        if (byClosingTheWindow)
            form.close();
        else
            form.findChild<QAction *>(u"MnuDateiItem"_s)->trigger();
        QCOMPARE(m_services->ends, 0); // not before the save has stopped
    };
    QTest::mouseClick(form.controls().btnspeichern, Qt::LeftButton);
#ifdef Q_OS_WIN
    CloseHandle(holder);
#endif
    QCOMPARE(m_services->pumps, atPump);
    QCOMPARE(m_services->ends, 1);
    QVERIFY(m_services->messages.isEmpty());
    QCOMPARE(readAll(path), input);
    QCOMPARE(readAll(path + ".new"_L1), QByteArray("earlier"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 5);
}

void tst_Form1::conversionsOfferedByTheWindow()
{
    QCOMPARE(Form1::CUint(-1), 65535);
    QCOMPARE(Form1::Dec2Bin(5), u"0000000000000101"_s);
}

void tst_Form1::ctrlQEndsTheProgram()
{
    m_services.reset();
    m_form = std::make_unique<Form1>(Form1::Environment{
        std::make_shared<WindowServices>(), createSystemDriveProvider(), m_dir->path()});
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    m_form->controls().Fildatei->setCurrentRow(0);
    QTimer::singleShot(0, m_form.get(), [this] {
        QTest::keyClick(m_form.get(), Qt::Key_Q, Qt::ControlModifier);
    });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(2); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!m_form->isVisible());
    QVERIFY(!QFile::exists(m_dir->filePath(u"a_sp2.cfg.new"_s)));
}

// The choice kept is the lists' own concern (tst_fileselection).
void tst_Form1::f5AndActivationReadTheListsAgain()
{
    makeWindow().show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    const FileList &files = *m_form->controls().Fildatei;
    QVERIFY(writeFile(m_dir->filePath(u"c_sp.cfg"_s), "x"));
    QTest::keyClick(m_form.get(), Qt::Key_F5);
    QCOMPARE(files.count(), 3);
    // Another window in front meanwhile, and a clock tick later, as the folder's time stamp moves.
    QWidget other;
    other.show();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QTest::qWait(20);
    QVERIFY(QFile::remove(m_dir->filePath(u"c_sp.cfg"_s)));
    m_form->activateWindow();
    QTRY_COMPARE(files.count(), 2);
}

void tst_Form1::screenReadersMeetEachControl_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QAccessible::Role>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value"); // null: not looked at

    QTest::newRow("drive list") << u"drvlaufwerk"_s << QAccessible::ComboBox << u"Laufwerk"_s
                                << QString();
    QTest::newRow("folder list") << u"Dirverzeichnis"_s << QAccessible::Tree << u"Ordner"_s
                                 << QString();
    QTest::newRow("start list") << u"cbostar(0)"_s << QAccessible::ComboBox << u"Startsterne"_s
                                << u"3.5 Sterne"_s;
    QTest::newRow("maximum list") << u"cbostar(1)"_s << QAccessible::ComboBox << u"Max.-sterne"_s
                                  << u"4.0 Sterne"_s;
    QTest::newRow("progress, half done") << u"lblprobar"_s << QAccessible::ProgressBar
                                         << u"Fortschritt"_s << u"50 %"_s;
}

// As UI Automation and AT-SPI take them from Qt.
void tst_Form1::screenReadersMeetEachControl()
{
    QFETCH(QString, control);
    QFETCH(QAccessible::Role, role);
    QFETCH(QString, name);
    QFETCH(QString, value);
    const Controls &c = makeWindow().controls();
    c.cbostar[0]->setCurrentIndex(7);
    c.cbostar[1]->setCurrentIndex(8);
    c.lblprobar->setText(QString(10, u'*'));
    auto *face = QAccessible::queryAccessibleInterface(m_form->findChild<QWidget *>(control));
    QVERIFY(face);
    QCOMPARE(face->role(), role);
    QCOMPARE(face->text(QAccessible::Name), name);
    if (!value.isNull())
        QCOMPARE(face->text(QAccessible::Value), value);
}

// Each star row is one picture named by its rating; no star picture or template is in sight.
void tst_Form1::starRowsForScreenReaders()
{
    const Controls &c = makeWindow().controls();
    c.cbostar[1]->setCurrentIndex(12);
    c.cbostar[0]->setCurrentIndex(7);
    QStringList rows;
    QAccessibleInterface *area = QAccessible::queryAccessibleInterface(c.Frame2);
    for (int i = 0; i < area->childCount(); ++i) {
        QAccessibleInterface *child = area->child(i);
        QVERIFY(!qobject_cast<Picture *>(child->object()) && area->indexOfChild(child) == i);
        if (child->role() == QAccessible::Graphic)
            rows << child->text(QAccessible::Description) + u": "_s
                    + child->text(QAccessible::Name);
    }
    QCOMPARE(rows, QStringList({u"Startsterne: 3,5 von 6 Sternen"_s,
                                u"Max.-sterne: 6 von 6 Sternen"_s}));
}

void tst_Form1::startPath_data()
{
    QTest::addColumn<QString>("path"); // in the test folder, which stands for the program's
    QTest::addColumn<QString>("folder"); // shown
    QTest::addColumn<QString>("file");   // chosen
    QTest::addColumn<QString>("words");  // of the message, none when empty

    QTest::newRow("a folder") << u"sub"_s << u"sub"_s << QString() << QString();
    QTest::newRow("a file elsewhere") << u"sub/c_sp.cfg"_s << u"sub"_s << u"c_sp.cfg"_s
                                      << QString();
    QTest::newRow("missing") << u"sub/fehlt_sp.cfg"_s << QString() << QString()
                             << u"fehlt_sp.cfg“ lässt sich nicht öffnen."_s;
    QTest::newRow("no strength file") << u"sub/notiz.txt"_s << QString() << QString()
                                      << u"ist keine Stärke-Konfigurationsdatei"_s;
#ifndef Q_OS_WIN
    QTest::newRow("a FIFO") << u"sub/pipe_sp.cfg"_s << QString() << QString()
                            << u"ist keine gewöhnliche Datei"_s;
#else
    // Taken as the companion takes them (DIR: the test folder, given as the argument only, as
    // no file manager drops these forms).
    QTest::newRow("the \\\\?\\ form, as it is") << u"\\\\?\\DIR\\sub\\c_sp.cfg"_s << u"sub"_s
                                         << u"c_sp.cfg"_s << QString();
    QTest::newRow("the \\\\.\\ form, normalised")
        << u"\\\\.\\DIR\\sub\\fehlt\\..\\c_sp.cfg"_s << u"sub"_s << u"c_sp.cfg"_s << QString();
    QTest::newRow("a trailing dot typed, as Windows takes it")
        << u"sub./c_sp.cfg"_s << u"sub"_s << u"c_sp.cfg"_s << QString();
    QTest::newRow("a device") << u"\\\\.\\aux"_s << QString() << QString()
                              << u"ist unter Windows der Name eines Geräts"_s;
#endif
}

// What cannot be shown leaves the start as without a path, a drop the folder as it was, and a
// message says why.
void tst_Form1::startPath()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QFETCH(QString, words);
    QVERIFY(QDir(m_dir->path()).mkdir(u"sub"_s));
    QVERIFY(writeFile(m_dir->filePath(u"sub/c_sp.cfg"_s), "x")
            && writeFile(m_dir->filePath(u"sub/notiz.txt"_s), "x"));
#ifndef Q_OS_WIN
    QCOMPARE(::mkfifo(qPrintable(m_dir->filePath(u"sub/pipe_sp.cfg"_s)), 0600), 0);
#endif
    const QString given = path.startsWith(u'\\')
        ? QString(path).replace(u"DIR"_s, QDir::toNativeSeparators(m_dir->path()))
        : m_dir->filePath(path);
    // Given as the argument, then dropped on a window that shows its own folder.
    for (const bool dropped : {false, true}) {
        if (dropped && given != m_dir->filePath(path))
            break;
        m_services->messages.clear();
        const Controls &c = makeWindow(dropped ? QString() : given).controls();
        if (dropped)
            dropPath(m_form.get(), given);
        QCoreApplication::processEvents();
        QCOMPARE(c.Dirverzeichnis->path(), QDir::cleanPath(m_dir->filePath(folder)));
        QCOMPARE(c.Fildatei->selectedFileName(), file);
        QCOMPARE(c.btnspeichern->isEnabled(), !file.isEmpty());
        QCOMPARE(m_services->messages.size(), words.isEmpty() ? 0 : 1);
        if (!words.isEmpty())
            QVERIFY2(m_services->messages[0].text.contains(words),
                     qPrintable(m_services->messages[0].text));
    }
}

// Without a path: the program's folder when it holds a strength file, else the user's, if known.
void tst_Form1::startFolderWithoutPath()
{
    const QString program = m_dir->filePath(u"programm"_s);
    QVERIFY(QDir().mkpath(program + u"/ordner_sp.cfg"_s) && writeFile(program + u"/a.txt"_s, "x"));
    QCOMPARE(startFolder(program, m_dir->path()), m_dir->path()); // a folder is no strength file
    QCOMPARE(startFolder(program, QString()), program);
    QVERIFY(writeFile(program + u"/Liga_SP1.CFG"_s, "x"));
    QCOMPARE(startFolder(program, m_dir->path()), program);
}

void tst_Form1::startArguments_data()
{
    using Task = StartArguments::Task;
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("task");
    QTest::addColumn<QString>("path");
    QTest::newRow("none") << QStringList() << int(Task::Window) << QString();
    QTest::newRow("a file") << QStringList{u"a_sp.cfg"_s} << int(Task::Window) << u"a_sp.cfg"_s;
    QTest::newRow("a name like an option, after --") << QStringList{u"--"_s, u"-x_sp.cfg"_s}
                                                     << int(Task::Window) << u"-x_sp.cfg"_s;
    QTest::newRow("--help") << QStringList{u"--help"_s} << int(Task::Help) << QString();
    QTest::newRow("/? as Windows asks, as the companion takes it")
        << QStringList{u"/?"_s} << int(Task::Help) << QString();
    QTest::newRow("--version") << QStringList{u"--version"_s} << int(Task::Version) << QString();
    QTest::newRow("Qt's own option") << QStringList{u"-style"_s, u"fusion"_s}
                                     << int(Task::WrongUsage) << QString();
}

void tst_Form1::startArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, task);
    QFETCH(QString, path);
    const StartArguments parsed = parseStartArguments(arguments);
    QCOMPARE(int(parsed.task), task);
    QCOMPARE(parsed.path, path);
    QCOMPARE(parsed.problem.isEmpty(), task != int(StartArguments::Task::WrongUsage));
}

// main() waits for the font read once; a display that fails ends the program without the wait.
// Neither a second wait nor none at all may end the program, and the toolkit's fonts work after.
void tst_Form1::fontWarmUpEndsWithOrWithoutWaiting()
{
    {
        FontWarmUp fonts;
        fonts.finish();
        fonts.finish();
    }
    { const FontWarmUp unwaited; }
    QVERIFY(QFontDatabase::families().contains(u"Liberation Sans"_s));
}

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
