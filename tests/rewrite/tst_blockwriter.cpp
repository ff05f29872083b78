// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/blockwriter.h"

#include "support/memorystreams.h"

#include <QTest>

#include <cstring>
#include <utility>

namespace {

// Distinct bytes for every piece, so a piece written twice, dropped or moved shows.
QByteArray piece(int number, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char('A' + (number * 7 + i) % 53);
    return bytes;
}

} // namespace

class tst_BlockWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesEveryByteInOrder_data();
    void writesEveryByteInOrder();

    void onlyWhatWasFilledIsWritten();
};

void tst_BlockWriter::writesEveryByteInOrder_data()
{
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<QList<int>>("pieceSizes");
    QTest::addColumn<int>("handOverEvery");

    const QList<int> small{1, 2, 3, 0, 5, 8, 13, 21, 300, 200, 1000, 7};
    const int block = int(BlockWriter::DefaultBlockSize);
    QTest::newRow("short pieces, small blocks") << 7 << small << 2;
    QTest::newRow("pieces larger than a block") << 4 << QList<int>{9, 1, 17, 4, 4, 3, 500} << 3;
    QTest::newRow("short lines, default block") << block << QList<int>(60000, 41) << 5000;
    // Lent runs (every third piece) copied below the limit and lent from it on.
    QTest::newRow("lent runs either side of the copy limit")
        << 1000 << QList<int>{10, 20, 4095, 5, 6, 4096, 7, 8, 4097, 9, 10, 8000} << 4;
    // Beyond a block, its own block has to grow and keep what is pending.
    QTest::newRow("pieces longer than a block, default block")
        << block << QList<int>{100, 3 << 20, 50, 1 << 20, 7, 2 << 20} << 1;
}

// Pieces made in room(), appended or lent in turn come out whole and in order, and a lent
// piece is read no later than the hand-over after it was lent: it is scribbled over then, as
// the reader reads into its buffer again.
void tst_BlockWriter::writesEveryByteInOrder()
{
    QFETCH(int, blockSize);
    QFETCH(QList<int>, pieceSizes);
    QFETCH(int, handOverEvery);

    MemorySink sink;
    BlockWriter writer(sink, blockSize);
    QByteArray expected;
    QList<QByteArray> lentNow;
    for (int number = 0; number < pieceSizes.size(); ++number) {
        const QByteArray bytes = piece(number, pieceSizes.at(number));
        if (number % 3 == 0) {
            char *room = writer.room(bytes.size());
            std::memcpy(room, bytes.constData(), size_t(bytes.size()));
            writer.added(room + bytes.size());
        } else if (number % 3 == 1) {
            writer.append(bytes);
        } else { // in two halves, which make one run
            lentNow.append(bytes);
            const QByteArrayView lent = lentNow.last();
            writer.lend(lent.first(lent.size() / 2));
            writer.lend(lent.sliced(lent.size() / 2));
        }
        expected += bytes;
        if ((number + 1) % handOverEvery == 0) {
            QVERIFY(writer.handOver());
            for (QByteArray &earlier : lentNow)
                earlier.fill('#');
            lentNow.clear();
        }
    }
    QVERIFY(writer.finish());
    QVERIFY(!writer.failed());
    QVERIFY(sink.data == expected);
}

// A request larger than the block is met after what is pending has been handed on.
void tst_BlockWriter::onlyWhatWasFilledIsWritten()
{
    MemorySink sink;
    BlockWriter writer(sink, 16);
    char *room = writer.room(40);
    std::memcpy(room, "abc", 3);
    writer.added(room + 3);
    room = writer.room(100000);
    std::memcpy(room, "de", 2);
    writer.added(room + 2);
    QVERIFY(writer.finish());
    QCOMPARE(sink.data, QByteArray("abcde"));
}

QTEST_APPLESS_MAIN(tst_BlockWriter)
#include "tst_blockwriter.moc"
