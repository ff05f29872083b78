// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/blockwriter.h"

#include "support/memorystreams.h"

#include <QTest>

#include <cstring>

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

    QTest::newRow("short pieces, small blocks") << 7 << QList<int>{1, 2, 3, 0, 5, 8, 13, 21};
    QTest::newRow("pieces larger than a block") << 4 << QList<int>{9, 1, 17, 4, 4, 3};
    QTest::newRow("short lines, default block")
        << int(BlockWriter::DefaultBlockSize) << QList<int>(60000, 41);
    // Beyond the room kept past a block, the storage has to grow and keep what is pending.
    QTest::newRow("a piece longer than block and spare room together")
        << int(BlockWriter::DefaultBlockSize) << QList<int>{100, 3 << 20, 50, 1 << 20, 7};
    QTest::newRow("long piece right after a nearly full block")
        << int(BlockWriter::DefaultBlockSize)
        << QList<int>{int(BlockWriter::DefaultBlockSize) - 1, 200000, 1};
}

// Pieces written through room() and added() or through append() in turn, flushed whenever a
// block is full, come out whole and in order; a block is only written once it is full.
void tst_BlockWriter::writesEveryByteInOrder()
{
    QFETCH(int, blockSize);
    QFETCH(QList<int>, pieceSizes);

    MemorySink sink;
    BlockWriter writer(sink, blockSize);
    QByteArray expected;
    for (int number = 0; number < pieceSizes.size(); ++number) {
        const QByteArray bytes = piece(number, pieceSizes.at(number));
        if (number % 2 == 0) {
            char *room = writer.room(bytes.size());
            if (!bytes.isEmpty())
                std::memcpy(room, bytes.constData(), size_t(bytes.size()));
            writer.added(room + bytes.size());
            QVERIFY(writer.flushIfFull());
        } else {
            QVERIFY(writer.append(bytes));
        }
        expected += bytes;
        QCOMPARE(sink.data.size() + writer.pending(), expected.size());
        QVERIFY(writer.pending() < blockSize);
    }
    QVERIFY(writer.flush());
    QCOMPARE(writer.pending(), 0);
    QVERIFY(!writer.failed());
    QVERIFY(sink.data == expected);
}

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
    QCOMPARE(writer.pending(), 5);
    QVERIFY(writer.flushIfFull());
    QCOMPARE(sink.data, QByteArray());
    QVERIFY(writer.flush());
    QCOMPARE(sink.data, QByteArray("abcde"));
}

QTEST_APPLESS_MAIN(tst_BlockWriter)
#include "tst_blockwriter.moc"
