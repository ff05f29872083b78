// SPDX-License-Identifier: GPL-3.0-or-later
#include "rating/picture.h"
#include "rating/ratinglists.h"
#include "rating/ratingselectors.h"

#include <QComboBox>
#include <QImage>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Rows for rating index 0..12, pictures 0 to 5 from left to right.
const std::array<QString, 13> ExpectedRows = {
    u"EEEEEE"_s, u"HEEEEE"_s, u"FEEEEE"_s, u"FHEEEE"_s, u"FFEEEE"_s, u"FFHEEE"_s, u"FFFEEE"_s,
    u"FFFHEE"_s, u"FFFFEE"_s, u"FFFFHE"_s, u"FFFFFE"_s, u"FFFFFH"_s, u"FFFFFF"_s,
};

QString expectedRow(int k)
{
    return ExpectedRows.at(static_cast<std::size_t>(k));
}

QPixmap solidPixmap(const QColor &colour)
{
    QPixmap pixmap(43, 41);
    pixmap.fill(colour);
    return pixmap;
}

// The rating area as the window lays it out, with solid-colour templates so that full, half
// and empty stars can be told apart.
class RatingArea
{
public:
    RatingArea()
        : fullImage(solidPixmap(QColor(239, 203, 74)).toImage())
        , halfImage(solidPixmap(QColor(40, 90, 200)).toImage())
        , emptyImage(solidPixmap(QColor(0, 0, 0)).toImage())
    {
        window.resize(200, 300);
        for (auto &list : controls.cbostar) {
            list = new QComboBox(&window);
            fillRatingList(*list);
        }
        for (auto *row : {&controls.imgstar, &controls.imgstarm}) {
            for (auto &picture : *row)
                picture = new Picture(&window);
        }
        controls.imgstarv = makeTemplate(fullImage);
        controls.imgstarh = makeTemplate(halfImage);
        controls.imgstarl = makeTemplate(emptyImage);
        connectRatingSelectors(controls, &window);
        window.show();
    }

    // One letter per picture: F, H, E for the template images, N for none, X for anything
    // else; upper case when the picture is visible, lower case when hidden.
    QString row(const std::array<Picture *, 6> &pictures) const
    {
        QString letters;
        for (const Picture *picture : pictures)
            letters += letterFor(*picture);
        return letters;
    }
    QString startRow() const { return row(controls.imgstar); }
    QString maximumRow() const { return row(controls.imgstarm); }

    int start() const { return controls.cbostar[0]->currentIndex(); }
    int maximum() const { return controls.cbostar[1]->currentIndex(); }
    void pickStart(int k) { controls.cbostar[0]->setCurrentIndex(k); }
    void pickMaximum(int k) { controls.cbostar[1]->setCurrentIndex(k); }

    // The state start-up leaves, then both lists moved to the given indexes by ordinary picks.
    void reach(int startIndex, int maximumIndex)
    {
        pickStart(0);
        pickMaximum(maximumIndex);
        pickStart(startIndex);
    }

    // Empty when the templates are as created: hidden, holding their own images.
    QString templateProblem() const
    {
        const std::array<std::pair<const Picture *, const QImage *>, 3> templates = {{
            {controls.imgstarv, &fullImage},
            {controls.imgstarh, &halfImage},
            {controls.imgstarl, &emptyImage},
        }};
        for (const auto &[picture, image] : templates) {
            if (!picture->isHidden())
                return u"a template is shown"_s;
            if (picture->pixmap().toImage() != *image)
                return u"a template's image changed"_s;
        }
        return {};
    }

    QWidget window;
    StarControls controls{};
    const QImage fullImage;
    const QImage halfImage;
    const QImage emptyImage;

private:
    Picture *makeTemplate(const QImage &image)
    {
        auto *picture = new Picture(&window);
        picture->setPixmap(QPixmap::fromImage(image));
        return picture;
    }

    QChar letterFor(const Picture &picture) const
    {
        char letter = 'X';
        const QImage image = picture.pixmap().toImage();
        if (!picture.hasImage())
            letter = 'N';
        else if (image == fullImage)
            letter = 'F';
        else if (image == halfImage)
            letter = 'H';
        else if (image == emptyImage)
            letter = 'E';
        const QChar result = QLatin1Char(letter);
        return picture.isVisible() ? result : result.toLower();
    }
};

} // namespace

class tst_RatingSelectors : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void pictureTakesImageOfAnother();
    void entries_data();
    void entries();
    void fillingRaisesNoNotification_data();
    void fillingRaisesNoNotification();
    void createdWithoutSelectionOrStars();
    void firstStartPickDrawsBothRows_data();
    void firstStartPickDrawsBothRows();
    void maximumRowDrawnBeforeStartRow();
    void maximumPickBelowStartByKeyboardDoesNotHold();
    void pickingCurrentEntryChangesNothing_data();
    void pickingCurrentEntryChangesNothing();
    void handlerOnListsWithoutSelection();
    void maximumNeverBelowStartAfterAnyPick();

private:
    std::unique_ptr<RatingArea> m_area;
};

void tst_RatingSelectors::init()
{
    m_area = std::make_unique<RatingArea>();
}

void tst_RatingSelectors::cleanup()
{
    const QString problem = m_area->templateProblem();
    m_area.reset();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void tst_RatingSelectors::pictureTakesImageOfAnother()
{
    QWidget parent;
    Picture source(&parent);
    Picture target(&parent);
    parent.show();

    QVERIFY(target.isHidden());
    QVERIFY(!target.hasImage());
    QCOMPARE(target.imageKey(), 0);
    QVERIFY(target.hasScaledContents());

    source.setPixmap(solidPixmap(Qt::red));
    target.setImageFrom(source);
    QVERIFY(target.hasImage());
    QCOMPARE(target.imageKey(), source.imageKey());
    QCOMPARE(target.pixmap().toImage(), source.pixmap().toImage());
    QVERIFY2(target.isHidden(), "taking an image must not show the picture");

    Picture other(&parent);
    other.setPixmap(solidPixmap(Qt::green));
    QVERIFY(other.imageKey() != source.imageKey());
}

void tst_RatingSelectors::entries_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    const std::array<QString, 13> texts = {
        u"0.0 Sterne"_s, u"0.5 Sterne"_s, u"1.0 Sterne"_s, u"1.5 Sterne"_s, u"2.0 Sterne"_s,
        u"2.5 Sterne"_s, u"3.0 Sterne"_s, u"3.5 Sterne"_s, u"4.0 Sterne"_s, u"4.5 Sterne"_s,
        u"5.0 Sterne"_s, u"5.5 Sterne"_s, u"6.0 Sterne"_s,
    };
    for (int k = 0; k < 13; ++k) {
        const QString &text = texts.at(static_cast<std::size_t>(k));
        QTest::addRow("%s", qPrintable(text)) << k << text;
    }
}

void tst_RatingSelectors::entries()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    for (const QComboBox *list : m_area->controls.cbostar) {
        QCOMPARE(list->count(), 13);
        QVERIFY2(!list->isEditable(), "a rating list is list-only");
        QCOMPARE(list->itemText(index), text);
        const QVariant data = list->itemData(index);
        QVERIFY2(data.isValid(), "every entry carries item data");
        QCOMPARE(data.toInt(), 0);
    }
}

void tst_RatingSelectors::fillingRaisesNoNotification_data()
{
    QTest::addColumn<bool>("filledBefore");
    QTest::addRow("empty list") << false;
    QTest::addRow("refilled list with a selection") << true;
}

void tst_RatingSelectors::fillingRaisesNoNotification()
{
    QFETCH(bool, filledBefore);
    QComboBox list;
    if (filledBefore) {
        fillRatingList(list);
        list.setCurrentIndex(7);
    }
    const QSignalSpy indexSpy(&list, &QComboBox::currentIndexChanged);
    const QSignalSpy textSpy(&list, &QComboBox::currentTextChanged);
    QVERIFY(indexSpy.isValid());
    QVERIFY(textSpy.isValid());

    fillRatingList(list);

    QCOMPARE(list.count(), 13);
    QCOMPARE(list.currentIndex(), -1);
    QCOMPARE(list.currentText(), QString());
    QCOMPARE(indexSpy.count(), 0);
    QCOMPARE(textSpy.count(), 0);
    QVERIFY2(!list.signalsBlocked(), "filling must leave the list's signals working");
}

void tst_RatingSelectors::createdWithoutSelectionOrStars()
{
    QCOMPARE(m_area->start(), -1);
    QCOMPARE(m_area->maximum(), -1);
    QCOMPARE(m_area->startRow(), u"nnnnnn"_s);
    QCOMPARE(m_area->maximumRow(), u"nnnnnn"_s);
}

void tst_RatingSelectors::firstStartPickDrawsBothRows_data()
{
    QTest::addColumn<int>("k");
    QTest::addColumn<QString>("row");
    QTest::addRow("0.0 six empty stars") << 0 << expectedRow(0);
    QTest::addRow("0.5 half star in picture 0") << 1 << expectedRow(1);
    QTest::addRow("1.0 one full star, picture 1 empty") << 2 << expectedRow(2);
    QTest::addRow("1.5") << 3 << expectedRow(3);
    QTest::addRow("2.0") << 4 << expectedRow(4);
    QTest::addRow("2.5") << 5 << expectedRow(5);
    QTest::addRow("3.0") << 6 << expectedRow(6);
    QTest::addRow("3.5") << 7 << expectedRow(7);
    QTest::addRow("4.0") << 8 << expectedRow(8);
    QTest::addRow("4.5") << 9 << expectedRow(9);
    QTest::addRow("5.0") << 10 << expectedRow(10);
    QTest::addRow("5.5 half star in the last picture") << 11 << expectedRow(11);
    QTest::addRow("6.0 six full stars") << 12 << expectedRow(12);
}

// The first start pick finds the maximum without a selection and lifts it to the start.
void tst_RatingSelectors::firstStartPickDrawsBothRows()
{
    QFETCH(int, k);
    QFETCH(QString, row);
    m_area->pickStart(k);
    QCOMPARE(m_area->start(), k);
    QCOMPARE(m_area->maximum(), k);
    QCOMPARE(m_area->startRow(), row);
    QCOMPARE(m_area->maximumRow(), row);
}

// A slot connected after the handler runs once the nested run for the maximum has finished
// and before the outer run goes on, so it sees what was drawn first.
void tst_RatingSelectors::maximumRowDrawnBeforeStartRow()
{
    m_area->reach(6, 7);
    QCOMPARE(m_area->startRow(), u"FFFEEE"_s);
    QCOMPARE(m_area->maximumRow(), u"FFFHEE"_s);

    QStringList seen;
    QObject::connect(m_area->controls.cbostar[1], &QComboBox::currentIndexChanged, &m_area->window,
                     [&seen, area = m_area.get()](int index) {
                         seen << u"maximum %1 start row %2 maximum row %3"_s.arg(index).arg(
                             area->startRow(), area->maximumRow());
                     });

    m_area->pickStart(8);

    QCOMPARE(seen, QStringList{u"maximum 8 start row FFFEEE maximum row FFFFEE"_s});
    QCOMPARE(m_area->controls.cbostar[1]->currentText(), u"4.0 Sterne"_s);
    QCOMPARE(m_area->startRow(), u"FFFFEE"_s);
    QCOMPARE(m_area->maximumRow(), u"FFFFEE"_s);
}

void tst_RatingSelectors::maximumPickBelowStartByKeyboardDoesNotHold()
{
    m_area->reach(8, 8);
    QComboBox *maximumList = m_area->controls.cbostar[1];
    QTest::keyClick(maximumList, Qt::Key_Up);
    QCOMPARE(m_area->maximum(), 8);
    QCOMPARE(maximumList->currentText(), u"4.0 Sterne"_s);
    QCOMPARE(m_area->maximumRow(), u"FFFFEE"_s);

    QTest::keyClick(maximumList, Qt::Key_Down);
    QCOMPARE(m_area->maximum(), 9);
    QCOMPARE(m_area->maximumRow(), u"FFFFHE"_s);
    QCOMPARE(m_area->start(), 8);
}

void tst_RatingSelectors::pickingCurrentEntryChangesNothing_data()
{
    QTest::addColumn<int>("member");
    QTest::addRow("start list") << 0;
    QTest::addRow("maximum list") << 1;
}

void tst_RatingSelectors::pickingCurrentEntryChangesNothing()
{
    QFETCH(int, member);
    m_area->reach(8, 8);

    auto snapshot = [this] {
        QStringList state{m_area->startRow(), m_area->maximumRow(),
                          QString::number(m_area->start()), QString::number(m_area->maximum())};
        for (auto *row : {&m_area->controls.imgstar, &m_area->controls.imgstarm}) {
            for (const Picture *picture : *row)
                state << QString::number(picture->imageKey());
        }
        return state;
    };
    const QStringList before = snapshot();
    const QSignalSpy otherListSpy(m_area->controls.cbostar[member == 0 ? 1 : 0],
                                  &QComboBox::currentIndexChanged);

    m_area->controls.cbostar[static_cast<std::size_t>(member)]->setCurrentIndex(8);
    QCOMPARE(snapshot(), before);
    // Whether or not the list raises the handler again, a run changes nothing.
    cbostarClick(m_area->controls, static_cast<qint16>(member));
    QCOMPARE(snapshot(), before);
    QCOMPARE(otherListSpy.count(), 0);
}

// Not reachable from the window (a list never loses its selection), but defined: the lists
// stay untouched, m = -1 div 2 = 0 and -1 is odd, so picture 0 takes the half star.
void tst_RatingSelectors::handlerOnListsWithoutSelection()
{
    cbostarClick(m_area->controls, 1);
    QCOMPARE(m_area->start(), -1);
    QCOMPARE(m_area->maximum(), -1);
    QCOMPARE(m_area->maximumRow(), u"HEEEEE"_s);
    QCOMPARE(m_area->startRow(), u"nnnnnn"_s);
}

// Every pick of every entry of either list from every reachable state.
void tst_RatingSelectors::maximumNeverBelowStartAfterAnyPick()
{
    RatingArea &area = *m_area;
    auto consistent = [&area](int startIndex, int maximumIndex) {
        return area.start() == startIndex && area.maximum() == maximumIndex
            && area.startRow() == expectedRow(startIndex)
            && area.maximumRow() == expectedRow(maximumIndex) && area.templateProblem().isEmpty();
    };
    int picks = 0;
    for (int s = 0; s <= 12; ++s) {
        for (int x = s; x <= 12; ++x) {
            for (int member = 0; member < 2; ++member) {
                for (int k = 0; k <= 12; ++k) {
                    area.reach(s, x);
                    QVERIFY2(consistent(s, x), qPrintable(u"reaching %1/%2"_s.arg(s).arg(x)));
                    const int startAfter = member == 0 ? k : s;
                    const int maximumAfter = member == 0 ? std::max(x, k) : std::max(k, s);
                    if (member == 0)
                        area.pickStart(k);
                    else
                        area.pickMaximum(k);
                    ++picks;
                    QVERIFY2(area.maximum() >= area.start(),
                             qPrintable(u"%1/%2, list %3 picked %4"_s.arg(s).arg(x).arg(member).arg(k)));
                    QVERIFY2(consistent(startAfter, maximumAfter),
                             qPrintable(u"%1/%2, list %3 picked %4: got %5/%6 rows %7 %8"_s.arg(s)
                                            .arg(x)
                                            .arg(member)
                                            .arg(k)
                                            .arg(area.start())
                                            .arg(area.maximum())
                                            .arg(area.startRow(), area.maximumRow())));
                }
            }
        }
    }
    QCOMPARE(picks, 91 * 2 * 13);
}

QTEST_MAIN(tst_RatingSelectors)
#include "tst_ratingselectors.moc"
