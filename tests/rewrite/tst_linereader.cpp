// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/lineend.h"
#include "rewrite/linereader.h"
#include "support/memorystreams.h"
#include "support/bytetext.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

using Lines = QList<QByteArray>;

// Lines put together from the reader's pieces. Every piece must fit what the reader holds (a
// block and a line's head), and a line's first piece must hold its head.
Lines readAll(LineReader &reader, qsizetype blockSize = LineReader::DefaultBlockSize)
{
    Lines lines;
    QByteArray line;
    bool open = false;
    qsizetype firstPiece = 0;
    while (const auto piece = reader.next()) {
        if (piece->startsLine == open || piece->bytes.size() > blockSize + LineReader::HeadSize)
            return {"piece out of order or too large"};
        if (piece->startsLine)
            firstPiece = piece->bytes.size();
        line += piece->bytes.toByteArray();
        open = !piece->endsLine;
        if (open)
            continue;
        if (firstPiece < std::min(line.size(), LineReader::HeadSize))
            return {"head of a line split: " + line};
        lines.append(line);
        line.clear();
    }
    return lines;
}

const int BlockSizes[] = {1, 2, 3, 7, int(LineReader::DefaultBlockSize)};

// The line rules spelled out byte by byte, to check the block reader against.
Lines splitByteByByte(const QByteArray &input)
{
    Lines lines;
    QByteArray line;
    for (qsizetype i = 0; i < input.size(); ++i) {
        const char byte = input.at(i);
        if (byte != '\r' && byte != '\n') {
            line += byte;
            continue;
        }
        lines.append(line);
        line.clear();
        if (byte == '\r' && i + 1 < input.size() && input.at(i + 1) == '\n')
            ++i;
    }
    if (!line.isEmpty())
        lines.append(line);
    return lines;
}

// Lines of 0 to maxLength bytes from `alphabet`, each ended by a terminator from `terminators`.
QByteArray randomLines(quint32 seed, int count, int maxLength, const QByteArray &alphabet,
                       const QList<QByteArray> &terminators)
{
    QRandomGenerator random(seed);
    QByteArray input;
    for (int line = 0; line < count; ++line) {
        const int length = random.bounded(maxLength + 1);
        for (int i = 0; i < length; ++i)
            input += alphabet.at(random.bounded(int(alphabet.size())));
        input += terminators.at(random.bounded(int(terminators.size())));
    }
    return input;
}

// Every byte value but CR and LF, the ones next to them and their high-bit twins included.
QByteArray allButTerminators()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value) {
        if (value != '\r' && value != '\n')
            bytes += char(value);
    }
    return bytes;
}

} // namespace

class tst_LineReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splitsLines_data();
    void splitsLines();

    void staysAtEndAfterLastLine();

    void lineEndBits_data();
    void lineEndBits();

    void linesAtEveryBlockBoundary_data();
    void linesAtEveryBlockBoundary();

    void readErrorEndsWithoutBogusLine_data();
    void readErrorEndsWithoutBogusLine();
};

void tst_LineReader::splitsLines_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<Lines>("expected");
    QTest::addColumn<int>("blockSize");

    const QByteArray longLine(5000, 'x');
    const QByteArray longHighLine = QByteArray(3001, '\xe4') + bytes("\x00") + QByteArray(999, 'z');

    const struct {
        const char *name;
        QByteArray input;
        Lines expected;
    } rows[] = {
        {"empty input yields no line", QByteArray(), {}},
        {"single CR LF is one empty line", "\r\n", {""}},
        {"single CR is one empty line", "\r", {""}},
        {"single LF is one empty line", "\n", {""}},
        {"CR LF lines", "a\r\nbc\r\n", {"a", "bc"}},
        {"CR lines", "a\rbc\r", {"a", "bc"}},
        {"LF lines", "a\nbc\n", {"a", "bc"}},
        {"mixed terminators", "a\r\nb\rc\nd\r\n", {"a", "b", "c", "d"}},
        {"last line without terminator", "a\r\nbc", {"a", "bc"}},
        {"single line without terminator", "abc", {"abc"}},
        {"LF CR is two terminators", "a\n\rb", {"a", "", "b"}},
        {"CR CR LF is an empty line in between", "a\r\r\nb", {"a", "", "b"}},
        {"CR LF LF is an empty line in between", "a\r\n\nb", {"a", "", "b"}},
        {"CR LF CR ends with one empty line", "a\r\n\r", {"a", ""}},
        {"CR CR ends with one empty line", "a\r\r", {"a", ""}},
        {"LF LF ends with one empty line", "a\n\n", {"a", ""}},
        {"empty CR LF lines", "\r\n\r\n", {"", ""}},
        {"leading empty line", "\r\nx", {"", "x"}},
        {"NUL and high bytes belong to the line",
         bytes("\x00\x80\r\n\xff\xfe\x00\r\x7f\x80\x81"),
         {bytes("\x00\x80"), bytes("\xff\xfe\x00"), bytes("\x7f\x80\x81")}},
        {"long line spanning many blocks", longLine + "\r\nend\r\n", {longLine, "end"}},
        {"long line at end without terminator", "first\n" + longLine, {"first", longLine}},
        {"long line with high bytes and NUL", longHighLine + "\r" + longHighLine,
         {longHighLine, longHighLine}},
    };
    for (const int blockSize : BlockSizes) {
        for (const auto &row : rows) {
            QTest::addRow("%s, block %d", row.name, blockSize)
                << row.input << row.expected << blockSize;
        }
    }
}

void tst_LineReader::splitsLines()
{
    QFETCH(QByteArray, input);
    QFETCH(Lines, expected);
    QFETCH(int, blockSize);

    MemorySource source(input);
    LineReader reader(source, blockSize);
    QCOMPARE(readAll(reader, blockSize), expected);
    QVERIFY(!reader.failed());
}

void tst_LineReader::staysAtEndAfterLastLine()
{
    MemorySource source("a\r\nb\r");
    LineReader reader(source, 2);
    QCOMPARE(readAll(reader), Lines({"a", "b"}));
    QVERIFY(!reader.next());
    QVERIFY(!reader.next());
    QVERIFY(!reader.failed());
}

void tst_LineReader::lineEndBits_data()
{
    QTest::addColumn<QByteArray>("filler");
    QTest::addColumn<char>("terminator");

    QTest::newRow("CR among letters") << QByteArray("abcdefghijklmnopq") << '\r';
    QTest::newRow("LF among letters") << QByteArray("abcdefghijklmnopq") << '\n';
    QTest::newRow("CR among every other byte value") << allButTerminators() << '\r';
    QTest::newRow("LF among every other byte value") << allButTerminators() << '\n';
    QTest::newRow("CR among near misses") << bytes("\x0b\x0c\x0e\x8a\x8d\x00\xff\x09") << '\r';
    QTest::newRow("LF among near misses") << bytes("\x0b\x0c\x0e\x8a\x8d\x00\xff\x09") << '\n';
}

// At every alignment, for every position of a terminator among 64 bytes, with terminators just
// before and after the word that must not count: exactly its bit is set.
void tst_LineReader::lineEndBits()
{
    QFETCH(QByteArray, filler);
    QFETCH(char, terminator);

    for (int offset = 0; offset < 32; ++offset) {
        QByteArray buffer(offset + 64 + 16, terminator);
        for (int i = 0; i < 64; ++i)
            buffer[offset + i] = filler.at((i * 7 + offset) % filler.size());
        const char *word = buffer.constData() + offset;
        QVERIFY2(::lineEndBits(word) == 0, qPrintable(u"offset %1, no terminator"_s.arg(offset)));
        for (int at = 0; at < 64; ++at) {
            const char kept = buffer.at(offset + at);
            buffer[offset + at] = terminator;
            const quint64 bits = ::lineEndBits(word);
            QVERIFY2(bits == quint64(1) << at,
                     qPrintable(u"offset %1, terminator at %2: bits %3"_s.arg(offset).arg(at).arg(
                         bits, 16, 16, QLatin1Char('0'))));
            buffer[offset + at] = kept;
        }
        for (int at = 0; at < 64; at += 3)
            buffer[offset + at] = at % 2 ? '\r' : '\n';
        quint64 expected = 0;
        for (int at = 0; at < 64; at += 3)
            expected |= quint64(1) << at;
        QCOMPARE(::lineEndBits(word), expected);
    }
}

void tst_LineReader::linesAtEveryBlockBoundary_data()
{
    QTest::addColumn<QByteArray>("input");

    const QByteArray letters("abcdefghijKLMNOPQRST0123456789 ;=");
    QTest::newRow("CR LF lines") << randomLines(1, 300, 40, letters, {"\r\n"});
    QTest::newRow("lone CR lines") << randomLines(2, 300, 40, letters, {"\r"});
    QTest::newRow("LF lines") << randomLines(3, 300, 40, letters, {"\n"});
    QTest::newRow("mixed terminators, many empty lines")
        << randomLines(4, 600, 3, letters, {"\r\n", "\r", "\n", "\n\r", "\r\r\n"});
    QTest::newRow("every byte value, mixed terminators")
        << randomLines(5, 300, 70, allButTerminators(), {"\r\n", "\r", "\n"});
    QTest::newRow("unterminated last line")
        << randomLines(6, 200, 40, letters, {"\r\n", "\r"}) + "tail";
    QTest::newRow("ends with a lone CR") << randomLines(7, 200, 40, letters, {"\r\n"}) + "x\r";
}

// Each block size puts the block ends, and so the CR LF pairs split between blocks, elsewhere.
void tst_LineReader::linesAtEveryBlockBoundary()
{
    QFETCH(QByteArray, input);

    const Lines expected = splitByteByByte(input);
    for (int blockSize = 1; blockSize <= 100; ++blockSize) {
        // Short reads too, as a network file system may give them.
        MemorySource source(input, blockSize % 3 == 0 ? QList<qint64>{1, 5, 2} : QList<qint64>{});
        LineReader reader(source, blockSize);
        const Lines lines = readAll(reader, blockSize);
        QVERIFY2(lines == expected, qPrintable(u"block size %1"_s.arg(blockSize)));
        QVERIFY(!reader.failed());
    }
}

void tst_LineReader::readErrorEndsWithoutBogusLine_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<int>("failingRead");
    QTest::addColumn<Lines>("expected");

    // Blocks of 4: "abc\r" "\ndef" "ghij" "\r\nk"
    const QByteArray input("abc\r\ndefghij\r\nk");
    QTest::newRow("first read fails") << input << 4 << 1 << Lines{};
    QTest::newRow("fails while looking for the LF after a CR") << input << 4 << 2 << Lines{"abc"};
    QTest::newRow("fails in the middle of a line") << input << 4 << 3 << Lines{"abc"};
    QTest::newRow("fails just before a line's terminator") << input << 4 << 4 << Lines{"abc"};
    QTest::newRow("fails before the end of an unterminated last line")
        << input << 4 << 5 << Lines{"abc", "defghij"};
    QTest::newRow("fails at end of input after an unterminated last line")
        << QByteArray("abc") << 4 << 2 << Lines{};
    QTest::newRow("fails at end of input after a CR") << QByteArray("abc\r") << 4 << 2
                                                      << Lines{"abc"};
    QTest::newRow("fails at end of input after a complete line")
        << QByteArray("abc\r\n") << 8 << 2 << Lines{"abc"};
    QTest::newRow("fails within a long line") << QByteArray(100, 'x') + "\r\n" << 7 << 5 << Lines{};
}

// A failed read must not pass off the part read so far as a complete last line.
void tst_LineReader::readErrorEndsWithoutBogusLine()
{
    QFETCH(QByteArray, input);
    QFETCH(int, blockSize);
    QFETCH(int, failingRead);
    QFETCH(Lines, expected);

    MemorySource source(input, {}, failingRead);
    LineReader reader(source, blockSize);
    QCOMPARE(readAll(reader, blockSize), expected);
    QVERIFY(reader.failed());
    QCOMPARE(source.reads(), failingRead);
    QVERIFY(!reader.next());
    QVERIFY(reader.failed());
}

QTEST_APPLESS_MAIN(tst_LineReader)
#include "tst_linereader.moc"
