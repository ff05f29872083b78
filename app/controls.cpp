// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/controls.h"

#include "app/controltable.h"
#include "app/fontfamilies.h"
#include "browse/drivelist.h"
#include "browse/fileselection.h"
#include "browse/filelist.h"
#include "browse/folderlist.h"
#include "platform/desktop.h"
#include "rating/picture.h"
#include "rating/ratinglists.h"
#include "resources/images.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <type_traits>

using namespace Qt::StringLiterals;

namespace {

const QColor FrameGrey(64, 64, 64);

template <typename Widget, typename... Args>
Widget *place(QWidget *container, const QString &name, TwipsRect at, Args &&...args)
{
    auto *widget = new Widget(std::forward<Args>(args)..., container);
    widget->setObjectName(name);
    widget->setGeometry(at.toPixels());
    // Labels never read their text as markup (lists and drop-down lists never do).
    if constexpr (std::is_base_of_v<QLabel, Widget>)
        widget->setTextFormat(Qt::PlainText);
    return widget;
}

QString member(const QString &group, int index)
{
    return u"%1(%2)"_s.arg(group).arg(index);
}

void paintGreyWithWhiteText(QWidget *widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, FrameGrey);
    palette.setColor(QPalette::WindowText, Qt::white);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QFrame *createFrame(QWidget *client, const QString &name, TwipsRect at)
{
    auto *frame = place<QFrame>(client, name, at);
    frame->setFrameStyle(QFrame::StyledPanel | QFrame::Plain);
    paintGreyWithWhiteText(frame);
    return frame;
}

QLabel *createBanner(QWidget *client)
{
    auto *banner = place<QLabel>(client, u"Picture1"_s, ControlTable::Picture1);
    banner->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    banner->setLineWidth(2);
    banner->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    banner->setPixmap(QPixmap::fromImage(Images::banner()));
    return banner;
}

QFont boldFont(const QStringList &families, int points)
{
    QFont font;
    // Where a family is missing, its metric-compatible stand-in from fonts-liberation is next.
    font.setFamilies(installedFamilies(families));
    font.setPointSize(points);
    font.setBold(true);
    return font;
}

// Every control without a font of its own inherits the system's dialog font from the client area.
void useDialogFont(QWidget *client)
{
    const DialogFont dialog = dialogFont();
    QFont font = client->font();
    if (!dialog.families.isEmpty())
        font.setFamilies(installedFamilies(dialog.families));
    font.setPointSizeF(dialog.pointSize);
    client->setFont(font);
}

// A caption beside a rating list, sized to its text.
QLabel *createCaption(QWidget *frame, const QString &name, TwipsRect at, const QString &text)
{
    auto *caption = place<QLabel>(frame, name, at, text);
    caption->setFont(boldFont({u"MS Sans Serif"_s, u"Arial"_s, u"Liberation Sans"_s}, 12));
    paintGreyWithWhiteText(caption);
    caption->adjustSize();
    return caption;
}

QLabel *createProgressLabel(QWidget *frame)
{
    auto *label = place<QLabel>(frame, u"lblprobar"_s, ControlTable::lblprobar);
    QFont font = boldFont({u"Arial"_s, u"Liberation Sans"_s}, 18);
    font.setHintingPreference(QFont::PreferFullHinting);
    label->setFont(font);
    paintGreyWithWhiteText(label);
    return label;
}

QComboBox *createRatingList(QWidget *frame, int index, TwipsRect at)
{
    auto *list = place<QComboBox>(frame, member(u"cbostar"_s, index), at);
    fillRatingList(*list);
    return list;
}

QLabel *createChosenFileLine(QWidget *frame)
{
    auto *line = place<QLabel>(frame, u"chosenFileLine"_s, ControlTable::chosenFileLine);
    line->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    paintGreyWithWhiteText(line);
    return line;
}

std::array<Picture *, 6> createStarRow(QWidget *frame, const QString &group, int top)
{
    std::array<Picture *, 6> row{};
    // Created right to left, so the leftmost member lies on top where boxes touch.
    for (int i = 5; i >= 0; --i)
        row[i] = place<Picture>(frame, member(group, i), ControlTable::starRowMember(top, i));
    return row;
}

Picture *createTemplate(QWidget *frame, const QString &name, TwipsRect at, const QImage &image)
{
    auto *picture = place<Picture>(frame, name, at);
    picture->setPixmap(QPixmap::fromImage(image));
    return picture;
}

void createSelectionControls(Controls &c, const std::shared_ptr<DriveProvider> &drives)
{
    c.Fildatei = place<FileList>(c.frame1, u"Fildatei"_s, ControlTable::Fildatei,
                                  StrengthFilePattern.toString());
    c.Dirverzeichnis = place<FolderList>(c.frame1, u"Dirverzeichnis"_s, ControlTable::Dirverzeichnis, drives);
    c.drvlaufwerk = place<DriveList>(c.frame1, u"drvlaufwerk"_s, ControlTable::drvlaufwerk, drives);
}

// The three lists have no captions on screen; screen readers get their purpose as their names,
// in the words the messages use ("Ordner"). Each rating list is labelled by its caption and
// named by it without the colon.
void nameForScreenReaders(const Controls &c)
{
    c.drvlaufwerk->setAccessibleName(u"Laufwerk"_s);
    c.Dirverzeichnis->setAccessibleName(u"Ordner"_s);
    c.Fildatei->setAccessibleName(u"Datei"_s);
    c.Label2->setBuddy(c.cbostar[0]);
    c.Label3->setBuddy(c.cbostar[1]);
    c.cbostar[0]->setAccessibleName(u"Startsterne"_s);
    c.cbostar[1]->setAccessibleName(u"Max.-sterne"_s);
    c.lblprobar->setAccessibleName(u"Fortschritt"_s);
    c.Picture1->setAccessibleName(u"Kelvora Stärkeneditor"_s);
}

void createRatingControls(Controls &c)
{
    QWidget *f = c.Frame2;
    c.btnspeichern = place<QPushButton>(f, u"btnspeichern"_s, ControlTable::btnspeichern,
                                        u"Speichern"_s);
    c.btnspeichern->setEnabled(false);
    // Enter and the keypad's Enter press it when it has the focus, as on Windows.
    c.btnspeichern->setAutoDefault(true);
    c.cbostar[1] = createRatingList(f, 1, ControlTable::cbostar1);
    c.cbostar[0] = createRatingList(f, 0, ControlTable::cbostar0);
    c.lblprobar = createProgressLabel(f);
    c.chosenFileLine = createChosenFileLine(f);
    c.Label3 = createCaption(f, u"Label3"_s, ControlTable::Label3, u"Max.-sterne:"_s);
    c.imgstarm = createStarRow(f, u"imgstarm"_s, ControlTable::StarRowTopMaximum);
    c.imgstarv = createTemplate(f, u"imgstarv"_s, ControlTable::imgstarv, Images::fullStar());
    c.imgstarl = createTemplate(f, u"imgstarl"_s, ControlTable::imgstarl, Images::emptyStar());
    c.imgstarh = createTemplate(f, u"imgstarh"_s, ControlTable::imgstarh, Images::halfStar());
    c.Label2 = createCaption(f, u"Label2"_s, ControlTable::Label2, u"Startsterne:"_s);
    c.imgstar = createStarRow(f, u"imgstar"_s, ControlTable::StarRowTopStart);
}

} // namespace

StarControls Controls::starControls() const
{
    return {cbostar, imgstar, imgstarm, imgstarv, imgstarh, imgstarl};
}

Controls createControls(QWidget *client, const std::shared_ptr<DriveProvider> &drives)
{
    useDialogFont(client);
    Controls c;
    c.frame1 = createFrame(client, u"frame1"_s, ControlTable::frame1);
    c.Picture1 = createBanner(client);
    c.Frame2 = createFrame(client, u"Frame2"_s, ControlTable::Frame2);
    createSelectionControls(c, drives);
    createRatingControls(c);
    nameForScreenReaders(c);
    return c;
}
