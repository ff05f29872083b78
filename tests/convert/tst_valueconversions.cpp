// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/valueconversions.h"

#include <QTest>

#include <limits>
#include <stdexcept>

using namespace Qt::StringLiterals;
using namespace ValueConversions;

namespace {

QString ones(qsizetype count)
{
    return QString(count, u'1');
}

} // namespace

class tst_ValueConversions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cuint_data();
    void cuint();
    void cuintIsTheUnsignedReadingOfEveryValue();

    void dec2bin_data();
    void dec2bin();
    void dec2binRejectsValuesOutsideSixteenBits_data();
    void dec2binRejectsValuesOutsideSixteenBits();
    void dec2binRejectionNamesTheValue();

    void bin2dec_data();
    void bin2dec();
    void bin2decOverflow_data();
    void bin2decOverflow();

    void roundTripOverAllSixteenBitValues();
};

void tst_ValueConversions::cuint_data()
{
    QTest::addColumn<qint16>("value");
    QTest::addColumn<qint32>("expected");

    QTest::newRow("zero unchanged") << qint16(0) << 0;
    QTest::newRow("largest positive unchanged") << qint16(32767) << 32767;
    QTest::newRow("minus one is all bits set") << qint16(-1) << 65535;
    QTest::newRow("most negative is the top bit alone") << qint16(-32768) << 32768;
    QTest::newRow("minus two") << qint16(-2) << 65534;
}

void tst_ValueConversions::cuint()
{
    QFETCH(qint16, value);
    QFETCH(qint32, expected);
    QCOMPARE(CUint(value), expected);
}

void tst_ValueConversions::cuintIsTheUnsignedReadingOfEveryValue()
{
    for (int v = std::numeric_limits<qint16>::min(); v <= std::numeric_limits<qint16>::max(); ++v) {
        const auto value = static_cast<qint16>(v);
        const qint32 expected = static_cast<quint16>(value);
        if (CUint(value) != expected)
            QFAIL(qPrintable(u"CUint(%1) gave %2, expected %3"_s.arg(v).arg(CUint(value)).arg(expected)));
    }
}

void tst_ValueConversions::dec2bin_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero is sixteen zeros") << 0 << u"0000000000000000"_s;
    QTest::newRow("one is fifteen zeros then one") << 1 << u"0000000000000001"_s;
    QTest::newRow("five") << 5 << u"0000000000000101"_s;
    QTest::newRow("top bit alone") << 32768 << u"1000000000000000"_s;
    QTest::newRow("largest sixteen-bit value is sixteen ones") << 65535 << u"1111111111111111"_s;
}

void tst_ValueConversions::dec2bin()
{
    QFETCH(qint32, value);
    QFETCH(QString, expected);
    QCOMPARE(Dec2Bin(value), expected);
}

void tst_ValueConversions::dec2binRejectsValuesOutsideSixteenBits_data()
{
    QTest::addColumn<qint32>("value");

    QTest::newRow("one past sixteen bits") << 65536;
    QTest::newRow("minus one") << -1;
    QTest::newRow("largest 32-bit value") << std::numeric_limits<qint32>::max();
    QTest::newRow("smallest 32-bit value") << std::numeric_limits<qint32>::min();
}

void tst_ValueConversions::dec2binRejectsValuesOutsideSixteenBits()
{
    QFETCH(qint32, value);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, Dec2Bin(value));
}

void tst_ValueConversions::dec2binRejectionNamesTheValue()
{
    try {
        Dec2Bin(65536);
        QFAIL("Dec2Bin(65536) returned instead of throwing");
    } catch (const std::invalid_argument &error) {
        const QString message = QString::fromUtf8(error.what());
        QVERIFY2(message.contains(u"65536"_s), qPrintable(message));
        QVERIFY2(message.contains(u"0..65535"_s), qPrintable(message));
    }
}

void tst_ValueConversions::bin2dec_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint32>("expected");

    QTest::newRow("sixteen digits for five") << u"0000000000000101"_s << 5;
    QTest::newRow("short text for five") << u"101"_s << 5;
    QTest::newRow("sixteen ones") << ones(16) << 65535;
    QTest::newRow("empty text is zero") << QString() << 0;
    QTest::newRow("letter counts nothing but keeps its place") << u"1x1"_s << 5;
    QTest::newRow("blank counts nothing but keeps its place") << u"1 1"_s << 5;
    QTest::newRow("digit two counts nothing") << u"2"_s << 0;
    QTest::newRow("minus sign counts nothing") << u"-1"_s << 1;
    QTest::newRow("fullwidth one is not a one") << u"\uFF11"_s << 0;
    QTest::newRow("leading zeros beyond 32 places are harmless")
        << QString(40, u'0') + u"1"_s << 1;
    QTest::newRow("thirty-one ones is the largest 32-bit value")
        << ones(31) << std::numeric_limits<qint32>::max();
}

void tst_ValueConversions::bin2dec()
{
    QFETCH(QString, text);
    QFETCH(qint32, expected);
    QCOMPARE(Bin2Dec(text), expected);
}

void tst_ValueConversions::bin2decOverflow_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("thirty-two ones") << ones(32);
    QTest::newRow("exactly two to the 31") << u"1"_s + QString(31, u'0');
    QTest::newRow("a one far beyond 64 places") << u"1"_s + QString(1100, u'0');
}

void tst_ValueConversions::bin2decOverflow()
{
    QFETCH(QString, text);
    QVERIFY_THROWS_EXCEPTION(std::overflow_error, Bin2Dec(text));
}

void tst_ValueConversions::roundTripOverAllSixteenBitValues()
{
    for (qint32 value = 0; value <= 65535; ++value) {
        const QString text = Dec2Bin(value);
        if (text.size() != 16)
            QFAIL(qPrintable(u"Dec2Bin(%1) gave \"%2\", not sixteen characters"_s.arg(value).arg(text)));
        if (Bin2Dec(text) != value)
            QFAIL(qPrintable(u"Bin2Dec(Dec2Bin(%1)) gave %2"_s.arg(value).arg(Bin2Dec(text))));
    }
}

QTEST_APPLESS_MAIN(tst_ValueConversions)
#include "tst_valueconversions.moc"
