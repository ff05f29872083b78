// SPDX-License-Identifier: GPL-3.0-or-later
#include "rewrite/rewriteline.h"
#include "support/bytetext.h"

#include <QTest>

#include <climits>

using namespace Qt::StringLiterals;

class tst_RewriteLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rewriteLine_data();
    void rewriteLine();

    void valueTextAndLength_data();
    void valueTextAndLength();

    void shortStartLineMovesValueLeft();

    void classifyLine_data();
    void classifyLine();

    void appendRewrittenLineKeepsWhatIsAlreadyThere();

    void valueTextOfAnyIndex_data();
    void valueTextOfAnyIndex();

    void writeStaysWithinItsRoom();
};

void tst_RewriteLine::rewriteLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("startIndex");
    QTest::addColumn<int>("maxIndex");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("worked example, start line")
        << QByteArray("01STabcdXYZ 3000") << 7 << 9
        << QByteArray("01STabcd                          7000 ");
    QTest::newRow("worked example, maximum line")
        << QByteArray("01MAXabcdefgXYZ 8000") << 7 << 9
        << QByteArray("01MAXabcdefg                      9000 ");
    QTest::newRow("worked example, other line") << QByteArray("01XYabc") << 7 << 9
                                                << QByteArray("01XYabc");

    QTest::newRow("start line of exactly four keeps all four")
        << QByteArray("xxST") << 7 << 9 << QByteArray("xxST") + spaces(25) + " 7000 ";
    QTest::newRow("start line shorter than eight is not padded")
        << QByteArray("01STab") << 3 << 9 << QByteArray("01STab") + spaces(25) + " 3000 ";
    QTest::newRow("start line of exactly eight")
        << QByteArray("01STabcd") << 3 << 9 << QByteArray("01STabcd") + spaces(25) + " 3000 ";
    QTest::newRow("start line drops old value and trailing text")
        << QByteArray("01STRENGTH  3000   ; old comment") << 12 << 0
        << QByteArray("01STRENG") + spaces(25) + " 12000 ";
    QTest::newRow("ST followed by a longer word counts")
        << QByteArray("01STRENGTH  3000") << 7 << 9
        << QByteArray("01STRENG") + spaces(25) + " 7000 ";
    QTest::newRow("ST followed by a space counts")
        << QByteArray("01ST 3000") << 1 << 9 << QByteArray("01ST 300") + spaces(25) + " 1000 ";

    QTest::newRow("maximum line of exactly five")
        << QByteArray("xxMAX") << 7 << 9 << QByteArray("xxMAX") + spaces(21) + " 9000 ";
    QTest::newRow("maximum line shorter than twelve is not padded")
        << QByteArray("01MAXab") << 7 << 4 << QByteArray("01MAXab") + spaces(21) + " 4000 ";
    QTest::newRow("maximum line of exactly twelve")
        << QByteArray("01MAXSTRENGT") << 7 << 4
        << QByteArray("01MAXSTRENGT") + spaces(21) + " 4000 ";
    QTest::newRow("MAX followed by a longer word counts")
        << QByteArray("01MAXSTRENGTH   8000") << 7 << 11
        << QByteArray("01MAXSTRENGT") + spaces(21) + " 11000 ";

    QTest::newRow("index 0 writes space zero space")
        << QByteArray("01STRENGTH  3000") << 0 << 12
        << QByteArray("01STRENG") + spaces(25) + " 0 ";
    QTest::newRow("maximum index 0 writes space zero space")
        << QByteArray("01MAXSTRENGTH   8000") << 12 << 0
        << QByteArray("01MAXSTRENGT") + spaces(21) + " 0 ";
    QTest::newRow("index 12 writes 12000")
        << QByteArray("01STRENGTH  3000") << 12 << 0
        << QByteArray("01STRENG") + spaces(25) + " 12000 ";
    QTest::newRow("start index only for start lines, maximum index only for maximum lines")
        << QByteArray("01MAXSTRENGTH   8000") << 2 << 10
        << QByteArray("01MAXSTRENGT") + spaces(21) + " 10000 ";

    QTest::newRow("lowercase st untouched") << QByteArray("01strength  3000") << 7 << 9
                                            << QByteArray("01strength  3000");
    QTest::newRow("mixed case St untouched") << QByteArray("01Strength  3000") << 7 << 9
                                             << QByteArray("01Strength  3000");
    QTest::newRow("mixed case sT untouched") << QByteArray("01sTRENGTH  3000") << 7 << 9
                                             << QByteArray("01sTRENGTH  3000");
    QTest::newRow("mixed case Max untouched") << QByteArray("01MaxStrength   8000") << 7 << 9
                                              << QByteArray("01MaxStrength   8000");
    QTest::newRow("mixed case MAx untouched") << QByteArray("01MAxStrength   8000") << 7 << 9
                                              << QByteArray("01MAxStrength   8000");
    QTest::newRow("lowercase max untouched") << QByteArray("01maxstrength   8000") << 7 << 9
                                             << QByteArray("01maxstrength   8000");

    QTest::newRow("ST in column 1 untouched") << QByteArray("STRENGTH  3000") << 7 << 9
                                              << QByteArray("STRENGTH  3000");
    QTest::newRow("ST in column 2 untouched") << QByteArray("0STRENGTH  3000") << 7 << 9
                                              << QByteArray("0STRENGTH  3000");
    QTest::newRow("ST in column 4 untouched") << QByteArray("012STRENGTH 3000") << 7 << 9
                                              << QByteArray("012STRENGTH 3000");
    QTest::newRow("leading space not trimmed") << QByteArray(" 01STRENGTH 3000") << 7 << 9
                                               << QByteArray(" 01STRENGTH 3000");
    QTest::newRow("MAX in column 2 untouched") << QByteArray("0MAXSTRENGTH 8000") << 7 << 9
                                               << QByteArray("0MAXSTRENGTH 8000");
    QTest::newRow("MAX in column 4 untouched") << QByteArray("012MAXSTRENGTH 8000") << 7 << 9
                                               << QByteArray("012MAXSTRENGTH 8000");
    QTest::newRow("MA without X untouched") << QByteArray("01MAYBE 8000") << 7 << 9
                                            << QByteArray("01MAYBE 8000");

    QTest::newRow("empty line") << QByteArray() << 7 << 9 << QByteArray();
    QTest::newRow("one character") << QByteArray("S") << 7 << 9 << QByteArray("S");
    QTest::newRow("two characters ST") << QByteArray("ST") << 7 << 9 << QByteArray("ST");
    QTest::newRow("three characters ending in S") << QByteArray("01S") << 7 << 9
                                                  << QByteArray("01S");
    QTest::newRow("four characters ending in MA") << QByteArray("01MA") << 7 << 9
                                                  << QByteArray("01MA");

    QTest::newRow("NUL and high bytes kept in the start prefix")
        << bytes("\x80\xffST\x00\xe4\xfe\x01old value") << 5 << 9
        << bytes("\x80\xffST\x00\xe4\xfe\x01") + spaces(25) + " 5000 ";
    QTest::newRow("NUL and high bytes kept in the maximum prefix")
        << bytes("\x00\x00MAX\xa0\xb1\xc2\xd3\xe4\xf5\x80tail") << 5 << 9
        << bytes("\x00\x00MAX\xa0\xb1\xc2\xd3\xe4\xf5\x80") + spaces(21) + " 9000 ";
    QTest::newRow("NUL and high bytes in other lines pass unchanged")
        << bytes("\xff\xfe\x00; Kommentar St\xe4rke \x80\x00") << 7 << 9
        << bytes("\xff\xfe\x00; Kommentar St\xe4rke \x80\x00");
    QTest::newRow("line of only a NUL") << bytes("\x00") << 7 << 9 << bytes("\x00");
}

void tst_RewriteLine::rewriteLine()
{
    QFETCH(QByteArray, line);
    QFETCH(int, startIndex);
    QFETCH(int, maxIndex);
    QFETCH(QByteArray, expected);

    QCOMPARE(RewriteLine(line, startIndex, maxIndex), expected);
}

void tst_RewriteLine::valueTextAndLength_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("digits");
    QTest::addColumn<int>("length");

    QTest::newRow("index 0") << 0 << QByteArray("0") << 36;
    QTest::newRow("index 1") << 1 << QByteArray("1000") << 39;
    QTest::newRow("index 2") << 2 << QByteArray("2000") << 39;
    QTest::newRow("index 3") << 3 << QByteArray("3000") << 39;
    QTest::newRow("index 4") << 4 << QByteArray("4000") << 39;
    QTest::newRow("index 5") << 5 << QByteArray("5000") << 39;
    QTest::newRow("index 6") << 6 << QByteArray("6000") << 39;
    QTest::newRow("index 7") << 7 << QByteArray("7000") << 39;
    QTest::newRow("index 8") << 8 << QByteArray("8000") << 39;
    QTest::newRow("index 9") << 9 << QByteArray("9000") << 39;
    QTest::newRow("index 10") << 10 << QByteArray("10000") << 40;
    QTest::newRow("index 11") << 11 << QByteArray("11000") << 40;
    QTest::newRow("index 12") << 12 << QByteArray("12000") << 40;
}

// With a full-length prefix the value text starts in column 34 and its digits in column 35,
// whichever kind of line it is.
void tst_RewriteLine::valueTextAndLength()
{
    QFETCH(int, index);
    QFETCH(QByteArray, digits);
    QFETCH(int, length);

    const struct {
        QByteArray out;
        qsizetype kept;
    } lines[] = {{RewriteLine("01STRENGTH  3000", index, 0), 8},
                 {RewriteLine("01MAXSTRENGTH   8000", 0, index), 12}};
    for (const auto &line : lines) {
        QCOMPARE(line.out.size(), length);
        QCOMPARE(line.out.mid(line.kept, 33 - line.kept), spaces(33 - line.kept));
        QCOMPARE(line.out.mid(33), ' ' + digits + ' ');
    }
}

void tst_RewriteLine::shortStartLineMovesValueLeft()
{
    const QByteArray out = RewriteLine("xxST", 7, 9);
    QCOMPARE(out.size(), 4 + 25 + 6);
    // Column 30 (index 29) holds the leading space of the value text.
    QCOMPARE(out.indexOf(" 7000 "), 29);
}

void tst_RewriteLine::classifyLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<StrengthLine>("kind");

    QTest::newRow("start") << QByteArray("01STRENGTH  3000") << StrengthLine::Start;
    QTest::newRow("start of four") << QByteArray("xxST") << StrengthLine::Start;
    QTest::newRow("maximum") << QByteArray("01MAXSTRENGTH   8000") << StrengthLine::Maximum;
    QTest::newRow("maximum of five") << QByteArray("xxMAX") << StrengthLine::Maximum;
    QTest::newRow("maximum cut short") << QByteArray("xxMA") << StrengthLine::Other;
    QTest::newRow("start cut short") << QByteArray("xxS") << StrengthLine::Other;
    QTest::newRow("empty") << QByteArray() << StrengthLine::Other;
    QTest::newRow("lowercase") << QByteArray("01st") << StrengthLine::Other;
}

void tst_RewriteLine::classifyLine()
{
    QFETCH(QByteArray, line);
    QFETCH(StrengthLine, kind);
    QCOMPARE(::classifyLine(line), kind);
}

// The save appends many lines into one buffer; a rewrite must not disturb earlier lines.
void tst_RewriteLine::appendRewrittenLineKeepsWhatIsAlreadyThere()
{
    QByteArray out("earlier line\r\n");
    appendRewrittenLine(out, "01STRENGTH  3000", StrengthLine::Start, 4);
    appendRewrittenLine(out, "plain", StrengthLine::Other, 4);
    appendRewrittenLine(out, "01MAXSTRENGTH   8000", StrengthLine::Maximum, 9);
    QCOMPARE(out, QByteArray("earlier line\r\n") + "01STRENG" + spaces(25) + " 4000 " + "plain"
                      + "01MAXSTRENGT" + spaces(21) + " 9000 ");
}

void tst_RewriteLine::valueTextOfAnyIndex_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("digits");

    // The product is a 16-bit signed integer, wrapping like one.
    QTest::newRow("one above the selectors") << 13 << QByteArray("13000");
    QTest::newRow("largest that fits") << 32 << QByteArray("32000");
    QTest::newRow("first that wraps") << 33 << QByteArray("-32536");
    QTest::newRow("wraps to the smallest value") << 4096 << QByteArray("-32768");
    QTest::newRow("wraps to zero") << 65536 << QByteArray("0");
    QTest::newRow("minus one") << -1 << QByteArray("-1000");
    QTest::newRow("negative that wraps") << -33 << QByteArray("32536");
    QTest::newRow("largest int") << INT_MAX << QByteArray("-1000");
    QTest::newRow("smallest int") << INT_MIN << QByteArray("0");
}

// The selectors only hold 0 to 12, but the rule gives the same text for any index it is passed.
void tst_RewriteLine::valueTextOfAnyIndex()
{
    QFETCH(int, index);
    QFETCH(QByteArray, digits);

    QCOMPARE(RewriteLine("01STRENGTH  3000", index, 0),
             "01STRENG" + spaces(25) + ' ' + digits + ' ');
    QCOMPARE(RewriteLine("01MAXSTRENGTH   8000", 0, index),
             "01MAXSTRENGT" + spaces(21) + ' ' + digits + ' ');
}

// The save writes each line straight into its output buffer after reserving
// maxRewrittenLineSize(line) bytes: no kind, length or index may write beyond them.
void tst_RewriteLine::writeStaysWithinItsRoom()
{
    QList<QByteArray> lines;
    for (int length = 0; length <= 50; ++length) {
        lines << QByteArray("01STRENGTH  3000  ; old value and a comment after it, long").left(length)
              << QByteArray("01MAXSTRENGTH   8000 ; old value and a comment after it").left(length)
              << QByteArray(length, 'x');
    }
    const int indexes[] = {0, 1, 9, 10, 12, 13, 33, 4096, -1, INT_MAX, INT_MIN};
    constexpr char Guard = '\x5a';
    for (const QByteArray &line : std::as_const(lines)) {
        const StrengthLine kind = ::classifyLine(line);
        for (const int index : indexes) {
            const qsizetype room = maxRewrittenLineSize(line);
            QByteArray buffer(room + 16, Guard);
            const char *end = writeRewrittenLine(buffer.data(), line, kind, index);
            const QByteArray expected = RewriteLine(line, index, index);
            const QString where = u"line \"%1\", index %2"_s.arg(QString::fromLatin1(line)).arg(index);
            QVERIFY2(end - buffer.constData() == expected.size(), qPrintable(where));
            QVERIFY2(buffer.first(expected.size()) == expected, qPrintable(where));
            QVERIFY2(buffer.sliced(room) == QByteArray(16, Guard), qPrintable(where));
        }
    }
}

QTEST_APPLESS_MAIN(tst_RewriteLine)
#include "tst_rewriteline.moc"
