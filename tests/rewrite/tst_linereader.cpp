#include "rewrite/linereader.h"

#include <QBuffer>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

template <qsizetype N>
QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

using Lines = QList<QByteArray>;

// Serves its data in reads of whatever size is asked for, and fails the read with the given
// number (counting from 1) the way a file on a failing disk does.
class FailingDevice : public QIODevice
{
public:
    FailingDevice(QByteArray data, int failingRead)
        : m_data(std::move(data)), m_failingRead(failingRead)
    {
    }

    bool isSequential() const override { return true; }
    int reads() const { return m_reads; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (++m_reads >= m_failingRead) {
            setErrorString(u"Input/output error"_s);
            return -1;
        }
        const qint64 count = std::min<qint64>(maxSize, m_data.size() - m_pos);
        std::memcpy(data, m_data.constData() + m_pos, static_cast<size_t>(count));
        m_pos += count;
        return count;
    }

    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_pos = 0;
    int m_reads = 0;
    int m_failingRead;
};

Lines readAll(LineReader &reader)
{
    Lines lines;
    while (const auto line = reader.next())
        lines.append(line->toByteArray());
    return lines;
}

const int BlockSizes[] = {1, 2, 3, 7, int(LineReader::DefaultBlockSize)};

} // namespace

class tst_LineReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splitsLines_data();
    void splitsLines();

    void staysAtEndAfterLastLine();

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

    QBuffer device(&input);
    QVERIFY(device.open(QIODevice::ReadOnly));
    LineReader reader(device, blockSize);
    QCOMPARE(readAll(reader), expected);
    QVERIFY(!reader.failed());
}

void tst_LineReader::staysAtEndAfterLastLine()
{
    QByteArray input("a\r\nb\r");
    QBuffer device(&input);
    QVERIFY(device.open(QIODevice::ReadOnly));
    LineReader reader(device, 2);
    QCOMPARE(readAll(reader), Lines({"a", "b"}));
    QVERIFY(!reader.next());
    QVERIFY(!reader.next());
    QVERIFY(!reader.failed());
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

    FailingDevice device(input, failingRead);
    QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    LineReader reader(device, blockSize);
    QCOMPARE(readAll(reader), expected);
    QVERIFY(reader.failed());
    QCOMPARE(device.reads(), failingRead);
    QVERIFY(!reader.next());
    QVERIFY(reader.failed());
}

QTEST_APPLESS_MAIN(tst_LineReader)
#include "tst_linereader.moc"
