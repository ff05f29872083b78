// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzzinput.h"
#include "productsave.h"
#include "referencemodel.h"
#include "support/bytetext.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QFileInfoList corpusFiles()
{
    return QDir(QStringLiteral(KELVORA_FUZZ_CORPUS)).entryInfoList(QDir::Files, QDir::Name);
}

} // namespace

// The fuzz target's check, run over the seed corpus at fixed block sizes, so that the model and
// the product are compared in every build, not only where clang and libFuzzer are.
class ReferenceModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void modelFollowsLineRules_data();
    void modelFollowsLineRules();
    void corpusIsThere();
    void productMatchesModel_data();
    void productMatchesModel();
};

// The model is only a check if it is right itself: a few records worked out by hand.
void ReferenceModelTest::modelFollowsLineRules_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QList<int>>("asterisks");

    const QByteArray startPadding(25 + 1, ' ');
    const QByteArray maximumPadding(21 + 1, ' ');

    QTest::newRow("empty file has no lines") << QByteArray() << QByteArray() << QList<int>{};
    QTest::newRow("CR, LF and CR LF each end one line")
        << bytes("a\rb\nc\r\n") << bytes("a\r\nb\r\nc\r\n") << QList<int>{9, 17, 26};
    QTest::newRow("LF CR is two terminators")
        << bytes("\n\r") << bytes("\r\n\r\n") << QList<int>{20, 40};
    QTest::newRow("last line may end at the end")
        << bytes("x\ny") << bytes("x\r\ny\r\n") << QList<int>{20, 40};
    // 5 of 8 bytes is 12.5 asterisks, 3 of 8 is 7.5: both go to the even neighbour.
    QTest::newRow("half an asterisk rounds down to even")
        << bytes("abc\nxyz\n") << bytes("abc\r\nxyz\r\n") << QList<int>{12, 25};
    QTest::newRow("half an asterisk rounds up to even")
        << bytes("a\nbcdef\n") << bytes("a\r\nbcdef\r\n") << QList<int>{8, 25};
    QTest::newRow("start line keeps eight bytes")
        << bytes("01ST_ENGTH  3000 tail\r\n") << "01ST_ENG" + startPadding + "3000 \r\n"
        << QList<int>{20};
    QTest::newRow("maximum line keeps twelve bytes")
        << bytes("01MAXSTRENGTH 8000\n") << "01MAXSTRENGT" + maximumPadding + "5000 \r\n"
        << QList<int>{21};
    QTest::newRow("short start line padded all the same")
        << bytes("..ST") << "..ST" + startPadding + "3000 \r\n" << QList<int>{30};
    QTest::newRow("lowercase and shifted markers untouched")
        << bytes("..st\r\n.MAX\r\n") << bytes("..st\r\n.MAX\r\n") << QList<int>{10, 20};
}

void ReferenceModelTest::modelFollowsLineRules()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, output);
    QFETCH(QList<int>, asterisks);

    const SaveRecord record = referenceSave(data, 3, 5);

    QCOMPARE(record.output, output);
    QCOMPARE(record.lineCount, asterisks.size());
    QCOMPARE(record.asterisks, asterisks);
}

void ReferenceModelTest::corpusIsThere()
{
    QVERIFY2(corpusFiles().size() >= 12, qPrintable(u"seed corpus missing in "_s
                                                    + QStringLiteral(KELVORA_FUZZ_CORPUS)));
}

void ReferenceModelTest::productMatchesModel_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<qsizetype>("blockSize");

    const qsizetype blockSizes[] = {1, 2, 3, 7, FuzzInput::DefaultBlockSize};
    for (const QFileInfo &file : corpusFiles()) {
        QFile in(file.filePath());
        QVERIFY2(in.open(QIODevice::ReadOnly), qPrintable(in.errorString()));
        const QByteArray input = in.readAll();
        for (const qsizetype blockSize : blockSizes) {
            const QString size = blockSize == FuzzInput::DefaultBlockSize
                ? u"default"_s
                : QString::number(blockSize);
            QTest::addRow("%s, block size %s", qPrintable(file.fileName()), qPrintable(size))
                << input << blockSize;
        }
    }
}

// The file's own ratings at the row's block size, with whole reads and with short reads.
void ReferenceModelTest::productMatchesModel()
{
    QFETCH(QByteArray, input);
    QFETCH(qsizetype, blockSize);

    FuzzInput decoded = FuzzInput::decode(input);
    decoded.blockSize = blockSize;
    const SaveRecord model = referenceSave(decoded.data, decoded.startIndex, decoded.maxIndex);
    for (const QList<qint64> &reads : {QList<qint64>{}, QList<qint64>{1, 5, 2}}) {
        decoded.readSizes = reads;
        const QString difference = describeDifference(productSave(decoded), model);
        QVERIFY2(difference.isEmpty(),
                 qPrintable((reads.isEmpty() ? u"whole reads: "_s
                                             : u"short reads: "_s)
                            + difference));
    }
}

QTEST_GUILESS_MAIN(ReferenceModelTest)

#include "tst_referencemodel.moc"
