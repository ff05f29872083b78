// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/images.h"

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <QtEndian>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// An image file in resources/, which the build turns into the program's pixels.
QString imageFile(const QString &name)
{
    return QStringLiteral(KELVORA_IMAGE_FOLDER) + u'/' + name;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

quint16 le16(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

quint32 le32(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

bool isBlack(QRgb pixel)
{
    return qRed(pixel) == 0 && qGreen(pixel) == 0 && qBlue(pixel) == 0;
}

bool isNear(QRgb pixel, QRgb wanted, int tolerance)
{
    return qAbs(qRed(pixel) - qRed(wanted)) <= tolerance
        && qAbs(qGreen(pixel) - qGreen(wanted)) <= tolerance
        && qAbs(qBlue(pixel) - qBlue(wanted)) <= tolerance;
}

// The image of the given size among the icon file's entries.
QImage iconEntry(QSize size)
{
    QImageReader reader(imageFile("icon.ico"_L1));
    do {
        const QImage image = reader.read();
        if (image.size() == size)
            return image.convertToFormat(QImage::Format_ARGB32);
    } while (reader.jumpToNextImage());
    return {};
}

const QRgb gold = qRgb(239, 203, 74);
// Centre of the 43 x 41 star: column 21, row 22.
const QPoint starCentre(21, 22);

} // namespace

class tst_Resources : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsInItsFormatAndSize_data();
    void readsInItsFormatAndSize();
    void programShowsThePixelsOfItsFiles_data();
    void programShowsThePixelsOfItsFiles();
    void starBitmapsAreUncompressed24Bit_data();
    void starBitmapsAreUncompressed24Bit();
    void bannerIsSingleFrameGif89aWith256ColourPalette();
    void iconEntryHasSixteenColoursAndTransparentCorners_data();
    void iconEntryHasSixteenColoursAndTransparentCorners();
    void iconOffersBothSizes();
    void programIconHoldsEverySizeInTrueColour();
    void fullStarIsGoldWithSoftenedEdgesOnBlack();
    void halfStarIsLeftHalfOfFullStar();
    void emptyStarIsAllBlack();
    void starKeepsGoldCentreAtRowSize();
};

void tst_Resources::readsInItsFormatAndSize_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("imageCount");
    QTest::newRow("icon holds two images")
        << imageFile("icon.ico"_L1) << "ico"_ba << QSize(32, 32) << 2;
    QTest::newRow("banner is one frame")
        << imageFile("banner.gif"_L1) << "gif"_ba << QSize(400, 100) << 1;
    QTest::newRow("full star") << imageFile("imgstarv.bmp"_L1) << "bmp"_ba << QSize(43, 41) << 1;
    QTest::newRow("half star") << imageFile("imgstarh.bmp"_L1) << "bmp"_ba << QSize(43, 41) << 1;
    QTest::newRow("empty star") << imageFile("imgstarl.bmp"_L1) << "bmp"_ba << QSize(43, 41) << 1;
}

// The files as a Windows program, an installer or an image viewer reads them.
void tst_Resources::readsInItsFormatAndSize()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(int, imageCount);

    QImageReader reader(path);
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.imageCount(), imageCount);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
}

void tst_Resources::programShowsThePixelsOfItsFiles_data()
{
    QTest::addColumn<QImage>("shown");
    QTest::addColumn<QImage>("decoded"); // by Qt's reader for the file's format

    const QIcon icon = Images::windowIcon();
    QTest::newRow("icon, 32 x 32") << icon.pixmap(32, 32).toImage() << iconEntry(QSize(32, 32));
    QTest::newRow("icon, 16 x 16") << icon.pixmap(16, 16).toImage() << iconEntry(QSize(16, 16));
    QTest::newRow("banner") << Images::banner() << QImage(imageFile("banner.gif"_L1));
    QTest::newRow("full star") << Images::fullStar() << QImage(imageFile("imgstarv.bmp"_L1));
    QTest::newRow("half star") << Images::halfStar() << QImage(imageFile("imgstarh.bmp"_L1));
    QTest::newRow("empty star") << Images::emptyStar() << QImage(imageFile("imgstarl.bmp"_L1));
    for (const int size : {16, 32}) {
        QTest::addRow("open folder, %d x %d", size, size)
            << Images::openFolderIcon().pixmap(size, size).toImage()
            << QImage(imageFile(u"folder-open-%1.png"_s.arg(size)));
        QTest::addRow("closed folder, %d x %d", size, size)
            << Images::closedFolderIcon().pixmap(size, size).toImage()
            << QImage(imageFile(u"folder-closed-%1.png"_s.arg(size)));
    }
}

// Every pixel as the file holds it, transparent ones included.
void tst_Resources::programShowsThePixelsOfItsFiles()
{
    QFETCH(QImage, shown);
    QFETCH(QImage, decoded);
    QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied),
             decoded.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

void tst_Resources::starBitmapsAreUncompressed24Bit_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("full star") << imageFile("imgstarv.bmp"_L1);
    QTest::newRow("half star") << imageFile("imgstarh.bmp"_L1);
    QTest::newRow("empty star") << imageFile("imgstarl.bmp"_L1);
}

void tst_Resources::starBitmapsAreUncompressed24Bit()
{
    QFETCH(QString, path);
    const QByteArray bytes = fileBytes(path);
    QVERIFY2(bytes.size() >= 54, "shorter than a bitmap header");
    QCOMPARE(bytes.left(2), "BM"_ba);
    QCOMPARE(le32(bytes, 14), 40u);          // BITMAPINFOHEADER
    QCOMPARE(le32(bytes, 18), 43u);          // width
    QCOMPARE(le32(bytes, 22), 41u);          // height, bottom-up
    QCOMPARE(le16(bytes, 28), quint16(24));  // bits per pixel
    QCOMPARE(le32(bytes, 30), 0u);           // BI_RGB
    // Rows of 43 * 3 bytes padded to 132, no palette in between.
    QCOMPARE(le32(bytes, 10), 54u);
    QCOMPARE(bytes.size(), 54 + 132 * 41);
}

void tst_Resources::bannerIsSingleFrameGif89aWith256ColourPalette()
{
    const QByteArray gif = fileBytes(imageFile("banner.gif"_L1));
    QVERIFY2(gif.size() > 13 + 3 * 256, "shorter than a header and palette");
    QCOMPARE(gif.left(6), "GIF89a"_ba);
    QCOMPARE(le16(gif, 6), quint16(400));
    QCOMPARE(le16(gif, 8), quint16(100));
    const auto flags = quint8(gif.at(10));
    QVERIFY2(flags & 0x80, "no global palette");
    QCOMPARE(2 << (flags & 7), 256);

    // Walk the blocks: exactly one image, and no graphic control block marks a colour
    // transparent.
    qsizetype pos = 13 + 3 * 256;
    int frames = 0;
    while (pos < gif.size() && quint8(gif.at(pos)) != 0x3B) {
        const auto introducer = quint8(gif.at(pos));
        if (introducer == 0x21) {
            const auto label = quint8(gif.at(pos + 1));
            pos += 2;
            if (label == 0xF9)
                QVERIFY2(!(quint8(gif.at(pos + 1)) & 1), "transparent colour set");
        } else {
            QCOMPARE(introducer, quint8(0x2C));
            ++frames;
            const auto imageFlags = quint8(gif.at(pos + 9));
            pos += 10 + ((imageFlags & 0x80) ? 3 * (2 << (imageFlags & 7)) : 0) + 1;
        }
        while (pos < gif.size() && gif.at(pos) != 0)
            pos += quint8(gif.at(pos)) + 1;
        ++pos;
    }
    QVERIFY2(pos < gif.size(), "no trailer");
    QCOMPARE(frames, 1);
    QVERIFY(!Images::banner().hasAlphaChannel());
}

void tst_Resources::iconEntryHasSixteenColoursAndTransparentCorners_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("32 x 32") << QSize(32, 32);
    QTest::newRow("16 x 16") << QSize(16, 16);
}

void tst_Resources::iconEntryHasSixteenColoursAndTransparentCorners()
{
    QFETCH(QSize, size);
    const QImage image = iconEntry(size);
    QVERIFY2(!image.isNull(), "no entry of this size");

    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            QVERIFY2(qAlpha(pixel) == 0 || qAlpha(pixel) == 255, "alpha beyond a 1-bit mask");
            if (qAlpha(pixel) == 255)
                colours.insert(pixel);
        }
    }
    QVERIFY2(colours.size() <= 16, qPrintable(u"%1 colours"_s.arg(colours.size())));
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(size.width() - 1, size.height() - 1)), 0);
    // The star fills the middle: warm and opaque.
    const QRgb centre = image.pixel(size.width() / 2, size.height() / 2);
    QCOMPARE(qAlpha(centre), 255);
    QVERIFY(qRed(centre) > 150 && qRed(centre) > qBlue(centre) + 60);
}

void tst_Resources::iconOffersBothSizes()
{
    const QIcon icon = Images::windowIcon();
    QVERIFY(!icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    QVERIFY(sizes.contains(QSize(32, 32)));
    QVERIFY(sizes.contains(QSize(16, 16)));
}

// The program files' and the installer's icon: the window's two 16-colour images, then the
// picture at every size Windows asks for in 32-bit colour, 256 pixels as PNG; each one a star
// on a square with transparent corners, as Qt's own reader reads it.
void tst_Resources::programIconHoldsEverySizeInTrueColour()
{
    const QString path = QStringLiteral(KELVORA_PROGRAM_ICON);
    const QByteArray ico = fileBytes(path);
    QVERIFY2(ico.size() > 6 && le16(ico, 2) == 1, "no icon file");
    QList<QPair<int, int>> entries; // edge, bits per pixel
    for (int i = 0; i < le16(ico, 4); ++i) {
        const int at = 6 + 16 * i;
        const int edge = quint8(ico.at(at)) == 0 ? 256 : quint8(ico.at(at));
        entries.append({edge, le16(ico, at + 6)});
        if (edge == 256)
            QVERIFY(ico.mid(le32(ico, at + 12), 8) == "\x89PNG\r\n\x1a\n"_ba);
    }
    QCOMPARE(entries, (QList<QPair<int, int>>{{32, 4}, {16, 4}, {16, 32}, {20, 32}, {24, 32},
                                              {32, 32}, {40, 32}, {48, 32}, {64, 32}, {256, 32}}));
    QImageReader reader(path);
    QCOMPARE(reader.imageCount(), entries.size());
    for (const auto &[edge, bits] : std::as_const(entries)) {
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(edge, edge));
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        const QRgb centre = image.pixel(edge / 2, edge / 2);
        QCOMPARE(qAlpha(centre), 255);
        QVERIFY(qRed(centre) > 150 && qRed(centre) > qBlue(centre) + 60);
        reader.jumpToNextImage();
    }
}

void tst_Resources::fullStarIsGoldWithSoftenedEdgesOnBlack()
{
    const QImage star = Images::fullStar();
    QVERIFY(isNear(star.pixel(starCentre), gold, 3));
    for (const QPoint corner : {QPoint(0, 0), QPoint(42, 0), QPoint(0, 40), QPoint(42, 40)})
        QVERIFY(isBlack(star.pixel(corner)));

    int goldPixels = 0;
    int edgePixels = 0;
    for (int y = 0; y < star.height(); ++y) {
        for (int x = 0; x < star.width(); ++x) {
            const QRgb pixel = star.pixel(x, y);
            if (isNear(pixel, gold, 3))
                ++goldPixels;
            else if (!isBlack(pixel))
                ++edgePixels;
        }
    }
    // A star covers roughly a third of its box; the outline is antialiased, not stepped.
    QVERIFY2(goldPixels > 43 * 41 / 5, qPrintable(QString::number(goldPixels)));
    QVERIFY2(edgePixels > 40, qPrintable(QString::number(edgePixels)));
}

void tst_Resources::halfStarIsLeftHalfOfFullStar()
{
    const QImage full = Images::fullStar();
    const QImage half = Images::halfStar();
    for (int y = 0; y < half.height(); ++y) {
        for (int x = 0; x < half.width(); ++x) {
            const QRgb pixel = half.pixel(x, y);
            if (x < starCentre.x())
                QCOMPARE(pixel, full.pixel(x, y));
            else if (x > starCentre.x())
                QVERIFY2(isBlack(pixel), qPrintable(u"lit at %1,%2"_s.arg(x).arg(y)));
            else
                QVERIFY(qRed(pixel) <= qRed(full.pixel(x, y)));
        }
    }
    // The cut runs through the middle of column 21: half lit there, not gone, not full.
    const QRgb cut = half.pixel(starCentre);
    QVERIFY2(qRed(cut) > 80 && qRed(cut) < 200, qPrintable(QString::number(qRed(cut))));
}

void tst_Resources::emptyStarIsAllBlack()
{
    const QImage empty = Images::emptyStar();
    QCOMPARE(empty.size(), QSize(43, 41));
    for (int y = 0; y < empty.height(); ++y) {
        for (int x = 0; x < empty.width(); ++x)
            QVERIFY2(isBlack(empty.pixel(x, y)), qPrintable(u"lit at %1,%2"_s.arg(x).arg(y)));
    }
}

// The rows show the templates at 27 x 25; the star must not wash out there.
void tst_Resources::starKeepsGoldCentreAtRowSize()
{
    const QImage scaled = Images::fullStar()
                              .scaled(27, 25, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QVERIFY(isNear(scaled.pixel(13, 13), gold, 6));
    QVERIFY(isBlack(scaled.pixel(0, 0)));
}

QTEST_MAIN(tst_Resources)
#include "tst_resources.moc"
