// SPDX-License-Identifier: GPL-3.0-or-later
#include "mountguard.h"
#include "savetesthelpers.h"
#include "support/removetree.h"
#include "support/bytetext.h"

#include "rewrite/asteriskcounter.h"
#include "rewrite/savecore.h"
#include "rewrite/savemessages.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>
#include <limits>
#include <optional>

#ifndef Q_OS_WIN
#include "support/testusers.h"

#include <grp.h>
#include <sys/xattr.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// Start-strength lines of 18 bytes that grow to 41 when rewritten.
QByteArray growingContent(int lines)
{
    QByteArray content;
    for (int i = 0; i < lines; ++i)
        content += QByteArray::number(10 + i % 90) + "STRENGTH  3000\r\n";
    return content;
}

// growingContent() after the save, with the start value given.
QByteArray rewrittenGrowingContent(int lines, const QByteArray &value)
{
    QByteArray content;
    for (int i = 0; i < lines; ++i)
        content += QByteArray::number(10 + i % 90) + "STRENG" + spaces(25) + ' ' + value + " \r\n";
    return content;
}

const QByteArray EarlierOutput("an earlier save\r\nwith two lines\r\n");

} // namespace

class tst_SaveStrengthFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void savesRewrittenCopy_data();
    void savesRewrittenCopy();

    void asterisks_data();
    void asterisks();
    void asteriskCounterMatchesFormula_data();
    void asteriskCounterMatchesFormula();

    void callOrder();
    void ratingChangedDuringSaveAppliesFromCurrentLine();
    void outputCompleteWhenSaved();
    void replacesEarlierOutput();
    void emptyInputGivesEmptyOutput();
    void folderPathEndingInSeparator();
    void crLfAcrossBlockBoundaryAndLinesLongerThanABlock();

    void outputPermissions_data();
    void outputPermissions();
    void unusualNamesAndPaths_data();
    void unusualNamesAndPaths();
    void failures_data();
    void failures();
    void readOnlyFileSystem_data();
    void readOnlyFileSystem();
    void diskFull();
    void childProcess_data();
    void childProcess();

    void stopRequested_data();
    void stopRequested();
};

// ---------------------------------------------------------------------------------------------
// Successful saves

void tst_SaveStrengthFile::savesRewrittenCopy_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("startIndex");
    QTest::addColumn<int>("maxIndex");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("lastAsterisks");

    const QByteArray start7 = spaces(25) + " 7000 ";
    const QByteArray max9 = spaces(21) + " 9000 ";

    QTest::newRow("mixed file rewritten byte for byte")
        << QByteArray("; Staerken\r\n"
                      "01STRENGTH  3000\r\n"
                      "01MAXSTRENGTH   8000\r\n"
                      "\r\n"
                      "01strength  3000\r\n"
                      "xxST\r\n"
                      "xxMAX\r\n"
                      "02NAME  Kelvora\r\n")
        << 7 << 9
        << "; Staerken\r\n"
           "01STRENG" + start7 + "\r\n"
           "01MAXSTRENGT" + max9 + "\r\n"
           "\r\n"
           "01strength  3000\r\n"
           "xxST" + start7 + "\r\n"
           "xxMAX" + max9 + "\r\n"
           "02NAME  Kelvora\r\n"
        << 20;
    QTest::newRow("CR LF file keeps its line count and ends on twenty")
        << QByteArray("a\r\nbb\r\n\r\nccc\r\n") << 0 << 0 << QByteArray("a\r\nbb\r\n\r\nccc\r\n")
        << 20;
    QTest::newRow("last line without terminator gains CR LF")
        << QByteArray("one\r\n01STRENGTH  3000") << 7 << 9
        << "one\r\n01STRENG" + start7 + "\r\n" << 22;
    QTest::newRow("lone CR becomes CR LF")
        << QByteArray("a\rb\r01MAXSTRENGTH 8000\r") << 7 << 9
        << "a\r\nb\r\n01MAXSTRENGT" + max9 + "\r\n" << 23;
    QTest::newRow("LF only file rewrites each line on its own")
        << QByteArray("01STRENGTH  3000\n01MAXSTRENGTH   8000\nplain\n") << 7 << 9
        << "01STRENG" + start7 + "\r\n01MAXSTRENGT" + max9 + "\r\nplain\r\n" << 21;
    QTest::newRow("LF CR is two line ends")
        << QByteArray("a\n\rb") << 0 << 0 << QByteArray("a\r\n\r\nb\r\n") << 40;
    QTest::newRow("file without strength lines copied unchanged")
        << QByteArray("[section]\r\nkey=value\r\n  01STRENGTH\r\n") << 7 << 9
        << QByteArray("[section]\r\nkey=value\r\n  01STRENGTH\r\n") << 20;
    QTest::newRow("NUL and high bytes kept")
        << bytes("\x00\xe4\xf6\xfc\r\n\x80\x81ST\x00\xff\xfe\xfd old\r\n") << 2 << 9
        << bytes("\x00\xe4\xf6\xfc\r\n\x80\x81ST\x00\xff\xfe\xfd") + spaces(25) + " 2000 \r\n"
        << 20;
    QTest::newRow("extreme indexes")
        << QByteArray("01STRENGTH  3000\r\n01MAXSTRENGTH   8000\r\n") << 0 << 12
        << "01STRENG" + spaces(25) + " 0 \r\n01MAXSTRENGT" + spaces(21) + " 12000 \r\n" << 20;
}

void tst_SaveStrengthFile::savesRewrittenCopy()
{
    QFETCH(QByteArray, input);
    QFETCH(int, startIndex);
    QFETCH(int, maxIndex);
    QFETCH(QByteArray, expected);
    QFETCH(int, lastAsterisks);

    ScratchFolder folder(u"kelvora_sp1.cfg"_s);
    QVERIFY(folder.holds(input));
    RecordingCaller &caller = folder.caller;
    caller.startIndex = startIndex;
    caller.maxIndex = maxIndex;
    const QString problem = successProblem(caller.save());
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    QCOMPARE(readFile(folder.outputPath), expected);
    QCOMPARE(readFile(folder.inputPath), input);
    QCOMPARE(listing(folder.dir.path()),
             QStringList({u"kelvora_sp1.cfg"_s, u"kelvora_sp1.cfg.new"_s}));
    // One report per line read.
    QCOMPARE(caller.progress.size(), expected.count("\r\n"));
    QCOMPARE(caller.progress.last(), lastAsterisks);
}

void tst_SaveStrengthFile::asterisks_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("3 of 40 bytes is 2.5 and shows 2")
        << "abc\r\n" + QByteArray(33, 'x') + "\r\n" << QList<int>{2, 20};
    QTest::newRow("5 of 40 bytes is 3.5 and shows 4")
        << "abcde\r\n" + QByteArray(31, 'x') + "\r\n" << QList<int>{4, 20};
    QTest::newRow("30 bytes without terminator show 21") << QByteArray(30, 'x') << QList<int>{21};
    QTest::newRow("8 bytes without terminator show 25") << QByteArray(8, 'x') << QList<int>{25};
    QTest::newRow("LF counts as two bytes") << QByteArray("ab\ncd\n") << QList<int>{13, 27};
    QTest::newRow("row set for every line even when unchanged")
        << QByteArray(100, '\r') << [] {
               QList<int> rows;
               for (int line = 1; line <= 100; ++line)
                   rows << qRound(line * 2 * 20 / 100.0);
               return rows;
           }();
}

void tst_SaveStrengthFile::asterisks()
{
    QFETCH(QByteArray, input);
    QFETCH(QList<int>, expected);

    ScratchFolder folder;
    QVERIFY(folder.holds(input));
    QCOMPARE(folder.caller.save().end, SaveOutcome::End::Saved);
    QCOMPARE(folder.caller.progress, expected);
}

void tst_SaveStrengthFile::asteriskCounterMatchesFormula_data()
{
    QTest::addColumn<qint64>("length");
    // Where the count is known: at this progress (-1: nowhere in particular).
    QTest::addColumn<qint64>("progress");
    QTest::addColumn<int>("count");

    constexpr qint64 Largest = std::numeric_limits<qint64>::max();
    const qint64 none = -1;
    QTest::newRow("one byte") << qint64(1) << none << 0;
    QTest::newRow("seven bytes") << qint64(7) << none << 0;
    QTest::newRow("nothing of forty yet") << qint64(40) << qint64(0) << 0;
    QTest::newRow("exact half of forty rounds down to even") << qint64(40) << qint64(5) << 2;
    QTest::newRow("exact half of forty rounds up to even") << qint64(40) << qint64(7) << 4;
    QTest::newRow("whole file is twenty") << qint64(40) << qint64(40) << 20;
    QTest::newRow("997 bytes") << qint64(997) << none << 0;
    QTest::newRow("a megabyte") << qint64(1'048'611) << none << 0;
    QTest::newRow("just below 2 GiB") << qint64(0x7fff'ffff) << none << 0;
    QTest::newRow("2 GiB") << qint64(0x8000'0000) << none << 0;
    QTest::newRow("just above 2 GiB") << qint64(0x8000'0001) << none << 0;
    QTest::newRow("half of 6 GB") << qint64(6'000'000'000) << qint64(3'000'000'000) << 10;
    QTest::newRow("above 4 GiB, whole") << qint64(5'000'000'000) << qint64(5'000'000'000) << 20;
    QTest::newRow("above 4 GiB, exact half")
        << qint64(5'000'000'000) << qint64(5'000'000'000) / 40 * 5 << 2;
    QTest::newRow("above 4 GiB, odd") << qint64(5'000'000'003) << none << 0;
    QTest::newRow("just below 2^53") << (qint64(1) << 53) - 1 << none << 0;
    QTest::newRow("2^53, where doubles stop holding every integer")
        << (qint64(1) << 53) << none << 0;
    QTest::newRow("just above 2^53") << (qint64(1) << 53) + 1 << none << 0;
    QTest::newRow("above 2^62") << (qint64(1) << 62) + 12345 << none << 0;
    QTest::newRow("largest qint64") << Largest << none << 0;
    QTest::newRow("zero length") << qint64(0) << none << 0;
    QTest::newRow("negative length") << qint64(-5) << none << 0;
}

// The save counts asterisks without dividing per line; the counts must be those of the formula
// for every progress, and change exactly where the formula's do.
void tst_SaveStrengthFile::asteriskCounterMatchesFormula()
{
    QFETCH(qint64, length);
    QFETCH(qint64, progress);
    QFETCH(int, count);
    if (progress >= 0) {
        QCOMPARE(asteriskCount(progress, length), count);
        QCOMPARE(AsteriskCounter(length).count(progress), count);
    }
    constexpr qint64 Largest = std::numeric_limits<qint64>::max();
    constexpr qint64 Smallest = std::numeric_limits<qint64>::min();
    auto differs = [length](AsteriskCounter &counter, qint64 at) {
        const int expected = asteriskCount(at, length);
        const int counted = counter.count(at);
        if (counted == expected)
            return QString();
        return u"progress %1: counted %2, formula %3"_s.arg(at).arg(counted).arg(expected);
    };

    // Every progress of a small file, byte by byte, beyond its end and from below zero.
    if (length > 0 && length <= 1000) {
        AsteriskCounter counter(length);
        for (qint64 at = -3; at <= 11 * length; ++at) {
            const QString problem = differs(counter, at);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
    }

    // From each change to the next: the count holds up to one below it and differs at it.
    AsteriskCounter walker(length);
    progress = 0;
    int changes = 0;
    while (true) {
        QString problem = differs(walker, progress);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        const qint64 next = walker.nextChange();
        QVERIFY2(next > progress, qPrintable(u"next change %1 at progress %2"_s.arg(next).arg(progress)));
        if (next == Largest)
            break;
        ++changes;
        QVERIFY(changes <= 200);
        AsteriskCounter fresh(length);
        problem = differs(fresh, next - 1);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY2(asteriskCount(next - 1, length) == asteriskCount(progress, length),
                 qPrintable(u"count changes before %1"_s.arg(next)));
        QVERIFY2(asteriskCount(next, length) > asteriskCount(progress, length),
                 qPrintable(u"count does not grow at %1"_s.arg(next)));
        progress = next;
    }
    QCOMPARE(walker.count(Largest), asteriskCount(Largest, length));

    // Growing in random steps, as lines do, a little beyond the end.
    QRandomGenerator random(static_cast<quint32>(length));
    const qint64 step = std::max<qint64>(length / 2000, 1);
    const qint64 stop = length > Largest / 11 ? Largest - 2 * step : 11 * std::max<qint64>(length, 1);
    AsteriskCounter grower(length);
    for (qint64 at = 0; at <= stop; at += random.bounded(qint64(2) * step)) {
        const QString problem = differs(grower, at);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    // Jumping about in any order: anywhere at all, or within a dozen lengths of the start.
    const qint64 nearby = std::min<qint64>(std::max<qint64>(length, 1), Largest / 13) * 12;
    AsteriskCounter jumper(length);
    for (int i = 0; i < 20000; ++i) {
        const qint64 at = i % 2 == 0 ? static_cast<qint64>(random.generate64())
                                     : random.bounded(-nearby / 12, nearby);
        const QString problem = differs(jumper, at);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
    QCOMPARE(jumper.count(Smallest), asteriskCount(Smallest, length));
}

// Per line the progress is reported before the rating is read, and a rating is read only for
// its own kind of line.
void tst_SaveStrengthFile::callOrder()
{
    ScratchFolder folder;
    QVERIFY(folder.holds("01STx\r\nplain\r\n01MAXy\r\n"));
    RecordingCaller &caller = folder.caller;
    // In one thread: a slow sync at the end would add reports.
    QCOMPARE(caller.save({.commit = CommitThread::Caller}).end, SaveOutcome::End::Saved);
    const QStringList expected{
        u"progressed 6"_s, u"startRatingIndex"_s, u"progressed 13"_s,
        u"progressed 20"_s, u"maxRatingIndex"_s,
    };
    QCOMPARE(caller.calls, expected);
}

void tst_SaveStrengthFile::ratingChangedDuringSaveAppliesFromCurrentLine()
{
    ScratchFolder folder;
    const QByteArray input("01STa\r\n01MAXb\r\n01STc\r\n01MAXd\r\n");
    QVERIFY(folder.holds(input));
    RecordingCaller &caller = folder.caller;
    caller.startIndex = 1;
    caller.maxIndex = 2;
    // A selector is changed while the second line is being processed.
    caller.onPump = [&caller](int pump) {
        if (pump == 2) {
            caller.startIndex = 5;
            caller.maxIndex = 6;
        }
    };
    QCOMPARE(caller.save().end, SaveOutcome::End::Saved);
    QCOMPARE(readFile(folder.outputPath),
             "01STa" + spaces(25) + " 1000 \r\n"
                 + "01MAXb" + spaces(21) + " 6000 \r\n"
                 + "01STc" + spaces(25) + " 5000 \r\n"
                 + "01MAXd" + spaces(21) + " 6000 \r\n");
    QCOMPARE(readFile(folder.inputPath), input);
}

// The save has ended, and so may be reported, only once the output is complete under its
// final name. Meanwhile it is hidden, and so would be a temporary file left by a crash; the
// .new is not.
void tst_SaveStrengthFile::outputCompleteWhenSaved()
{
    ScratchFolder folder;
    // More than one write block of output.
    QVERIFY(folder.holds(growingContent(60000)));
    RecordingCaller &caller = folder.caller;
    caller.startIndex = 3;
    QStringList shownWhileSaving;
    caller.onPump = [&](int pump) {
        if (pump == 1)
            shownWhileSaving = QDir(folder.dir.path()).entryList(QDir::Files);
    };
    QCOMPARE(caller.save().end, SaveOutcome::End::Saved);
    QVERIFY(readFile(folder.outputPath) == rewrittenGrowingContent(60000, "3000"));
    QCOMPARE(listing(folder.dir.path()), QStringList({u"a_sp.cfg"_s, u"a_sp.cfg.new"_s}));
    QCOMPARE(shownWhileSaving, QStringList{u"a_sp.cfg"_s});
    QCOMPARE(QDir(folder.dir.path()).entryList(QDir::Files), listing(folder.dir.path()));
    QCOMPARE(caller.progress.last(), 20);
}

void tst_SaveStrengthFile::replacesEarlierOutput()
{
    ScratchFolder folder;
    QVERIFY(folder.holds("x\r\n", QByteArray(5000, 'o')));
    QCOMPARE(folder.caller.save().end, SaveOutcome::End::Saved);
    QCOMPARE(readFile(folder.outputPath), QByteArray("x\r\n"));
    QCOMPARE(listing(folder.dir.path()), QStringList({u"a_sp.cfg"_s, u"a_sp.cfg.new"_s}));
}

void tst_SaveStrengthFile::emptyInputGivesEmptyOutput()
{
    ScratchFolder folder;
    QVERIFY(folder.holds({}, EarlierOutput));
    RecordingCaller &caller = folder.caller;
    const QString problem = successProblem(caller.save());
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(readFile(folder.outputPath), QByteArray(""));
    QCOMPARE(readFile(folder.inputPath), QByteArray(""));
    QCOMPARE(listing(folder.dir.path()), QStringList({u"a_sp.cfg"_s, u"a_sp.cfg.new"_s}));
    QCOMPARE(caller.progress, QList<int>{});
    QVERIFY(!caller.calls.contains(u"startRatingIndex"_s));
    QVERIFY(!caller.calls.contains(u"maxRatingIndex"_s));
}

// At a drive's root the folder path ends in a separator and one more is added after it.
void tst_SaveStrengthFile::folderPathEndingInSeparator()
{
    ScratchFolder folder;
    QVERIFY(folder.holds("01STRENGTH  3000\r\n"));
    folder.caller.path = folder.dir.path() + "//a_sp.cfg"_L1;
    folder.caller.startIndex = 4;
    QCOMPARE(folder.caller.save().end, SaveOutcome::End::Saved);
    QCOMPARE(readFile(folder.outputPath), "01STRENG" + spaces(25) + " 4000 \r\n");
    QCOMPARE(listing(folder.dir.path()), QStringList({u"a_sp.cfg"_s, u"a_sp.cfg.new"_s}));
}

// The save reads and writes in blocks of about a megabyte; a CR LF split between two blocks is
// still one terminator, and a line longer than a block is still one line.
void tst_SaveStrengthFile::crLfAcrossBlockBoundaryAndLinesLongerThanABlock()
{
    const qsizetype block = 1 << 20;
    QByteArray input;
    while (input.size() + 9 < block - 1)
        input += "abcdefg\r\n";
    input += QByteArray(block - 1 - input.size(), 'f'); // CR as the block's last byte
    input += "\r\n";
    QCOMPARE(input.at(block - 1), '\r');
    QCOMPARE(input.at(block), '\n');
    input += "01STRENGTH  3000\r\n";
    input += QByteArray(block + block / 2, '\xe4') + "\r\n";
    input += "01MAXSTRENGTH   8000\r\n";
    ScratchFolder folder;
    QVERIFY(folder.holds(input));
    RecordingCaller &caller = folder.caller;
    caller.startIndex = 1;
    caller.maxIndex = 2;
    QCOMPARE(caller.save().end, SaveOutcome::End::Saved);

    QByteArray expected = input;
    expected.replace("01STRENGTH  3000\r\n", "01STRENG" + spaces(25) + " 1000 \r\n");
    expected.replace("01MAXSTRENGTH   8000\r\n", "01MAXSTRENGT" + spaces(21) + " 2000 \r\n");
    const std::optional<QByteArray> output = readFile(folder.outputPath);
    QVERIFY(output);
    QCOMPARE(output->size(), expected.size());
    QVERIFY(*output == expected);
    QCOMPARE(caller.progress.size(), input.count("\r\n"));
    QCOMPARE(caller.progress.last(), 20);
    QVERIFY(readFile(folder.inputPath) == input);
}

// ---------------------------------------------------------------------------------------------
// Failures: a warning that names the file and quotes the system, nothing reported as success, the
// selected file byte-identical, no partial output and an earlier ".new" untouched.

// Mode, owner and group of a file; -1 for an owner or group as the save or the test made it,
// TestGroup for kelvora-rg, TestUser1 and TestUser3 for kelvora-r1 and kelvora-r3. ACL entries
// to set (for setfacl -m; "d:" ones on the folder), or for the output the ACL it has, as
// getfacl lists it.
struct Permissions
{
    int mode = -1;
    int owner = -1;
    int group = -1;
    QString acl = {};
};
constexpr int TestGroup = -2;
constexpr int TestUser1 = -3;
constexpr int TestUser3 = -5;

#ifndef Q_OS_WIN
int ownerId(int owner)
{
    return owner <= TestUser1 ? int(testusers::uid(testusers::Users.at(TestUser1 - owner))) : owner;
}
#endif

void tst_SaveStrengthFile::outputPermissions_data()
{
    QTest::addColumn<Permissions>("input");
    QTest::addColumn<Permissions>("earlier"); // mode -1: no earlier output
    QTest::addColumn<Permissions>("output");

    // A new .new is never more readable than the file it is made from (the umask is 022 here).
    QTest::newRow("new output of a private file stays private")
        << Permissions{0600} << Permissions{} << Permissions{0600};
    QTest::newRow("new output of a shared file")
        << Permissions{0664} << Permissions{} << Permissions{0644};
    QTest::newRow("replaced output keeps its permissions")
        << Permissions{0644} << Permissions{0640} << Permissions{0640};
    QTest::newRow("replaced output keeps its set-group bit")
        << Permissions{0644} << Permissions{02770} << Permissions{02770};
    QTest::newRow("replaced output of a private file loses what others could read")
        << Permissions{0600} << Permissions{0644} << Permissions{0600};
    // The rest hand files to other users, which only root may.
    QTest::newRow("new output takes the selected file's group")
        << Permissions{0640, -1, 4343} << Permissions{} << Permissions{0640, -1, 4343};
    QTest::newRow("replaced output of another group loses what that group could read")
        << Permissions{0640, -1, 4343} << Permissions{0664, -1, 4444}
        << Permissions{0620, -1, 4444};
    // The file's group (root's) may not read the selected file, though others may.
    QTest::newRow("root hands output back to a user who may read the file")
        << Permissions{0604} << Permissions{0644, 4242} << Permissions{0604, 4242};
    QTest::newRow("root keeps output of a file its owner may not read")
        << Permissions{0600} << Permissions{0644, 4242} << Permissions{0600, 0};
    // Real users, a group and ACLs: the group bits of a file with an ACL are its mask.
    QTest::newRow("new output keeps an ACL that keeps the file's group out")
        << Permissions{0640, -1, TestGroup, u"g::---,u:kelvora-r1:r--"_s} << Permissions{}
        << Permissions{0640, -1, TestGroup,
                       u"user::rw-,user:kelvora-r1:r--,group::---,mask::r--,other::---"_s};
    QTest::newRow("new output without what the folder's default ACL adds")
        << Permissions{0640, -1, -1, u"d:u:kelvora-r3:r--"_s} << Permissions{}
        << Permissions{0640, -1, -1, u"user::rw-,group::r--,other::---"_s};
    QTest::newRow("replaced output keeps its ACL entries")
        << Permissions{0644} << Permissions{0640, -1, -1, u"u:kelvora-r1:r--"_s}
        << Permissions{0640, -1, -1, u"user::rw-,user:kelvora-r1:r--,group::r--,mask::r--,"
                                     "other::---"_s};
    // kelvora-r1, who read the earlier output as one of the others, keeps an entry of its own.
    QTest::newRow("replaced output's ACL entries narrowed to the selected file's readers")
        << Permissions{0640, -1, -1, u"u:kelvora-r1:r--"_s}
        << Permissions{0644, -1, -1, u"u:kelvora-r3:rw-,g:kelvora-rg:r--"_s}
        << Permissions{0660, -1, -1, u"user::rw-,user:kelvora-r3:-w-,user:kelvora-r1:r--,"
                                     "group::r--,group:kelvora-rg:---,mask::rw-,other::---"_s};
    // The selected file is its owner's alone but names another user, under a mask of ---.
    QTest::newRow("root's new output is read by the selected file's owner under a mask of ---")
        << Permissions{0600, TestUser1, -1, u"u:kelvora-r2:r--,m::---"_s} << Permissions{}
        << Permissions{0660, -1, -1, u"user::rw-,user:kelvora-r1:rw-,group::---,mask::rw-,"
                                     "other::---"_s};
    QTest::newRow("root's replaced output of a third user is read by the selected file's owner")
        << Permissions{0600, TestUser1, -1, u"u:kelvora-r2:r--,m::---"_s}
        << Permissions{0644, TestUser3}
        << Permissions{0640, -1, -1, u"user::rw-,user:kelvora-r1:r--,group::---,mask::r--,"
                                     "other::---"_s};
    // Under a mask of --- the kernel reads the mode bits alone, and kelvora-r2 would read as one
    // of the others: execute, which no entry grants, makes it ask the entries.
    QTest::newRow("user the selected file keeps out stays out where the mask would be ---")
        << Permissions{0644, TestUser1, -1, u"u:kelvora-r2:---"_s}
        << Permissions{0604, TestUser3, -1, u"u:kelvora-r1:---,m::---"_s}
        << Permissions{0614, TestUser3, -1, u"user::rw-,user:kelvora-r2:---,group::---,"
                                            "mask::--x,other::r--"_s};
    QTest::newRow("group the selected file keeps out gets an entry; others still read")
        << Permissions{0644, TestUser1, -1, u"g:kelvora-rg:---"_s}
        << Permissions{0644, TestUser3}
        << Permissions{0644, TestUser3, -1, u"user::rw-,group::r--,group:kelvora-rg:---,"
                                            "mask::r--,other::r--"_s};
}

void tst_SaveStrengthFile::outputPermissions()
{
#ifdef Q_OS_WIN
    QSKIP("Windows keeps access rights in lists of its own, which ReplaceFileW carries over");
#else
    QFETCH(Permissions, input);
    QFETCH(Permissions, earlier);
    QFETCH(Permissions, output);

    ScratchFolder folder;
    QVERIFY(folder.holds("01STRENGTH  3000\r\n",
                         earlier.mode >= 0 ? std::optional(EarlierOutput) : std::nullopt));
    if (!output.acl.isEmpty()) {
        if (const QString why = testusers::unavailableIn(folder.dir.path()); !why.isEmpty())
            QSKIP(qPrintable(why));
        QCOMPARE(::chmod(QFile::encodeName(folder.dir.path()).constData(), 0755), 0);
    }
    const auto set = [&](const QString &path, const Permissions &p) {
        const QByteArray name = QFile::encodeName(path);
        const int group = p.group == TestGroup ? int(::getgrnam("kelvora-rg")->gr_gid) : p.group;
        return ((p.owner == -1 && group < 0)
                || ::chown(name.constData(), uid_t(ownerId(p.owner)), gid_t(group)) == 0)
            && ::chmod(name.constData(), mode_t(p.mode)) == 0
            && (p.acl.isEmpty()
                || testusers::setAcl(p.acl.startsWith(u"d:"_s) ? folder.dir.path() : path, p.acl));
    };
    if (!set(folder.inputPath, input) || (earlier.mode >= 0 && !set(folder.outputPath, earlier)))
        QSKIP("giving files to other users needs root");
    const QByteArray outputName = QFile::encodeName(folder.outputPath);
    const bool tagged = earlier.mode >= 0
        && ::setxattr(outputName.constData(), "user.kelvora", "kept", 4, 0) == 0;
    const mode_t umaskBefore = ::umask(022);
    QMap<QString, bool> readEarlier;
    for (const QString &user : testusers::Users)
        readEarlier[user] = earlier.mode >= 0 && testusers::reads(user, folder.outputPath);
    const SaveOutcome result = folder.caller.save();
    ::umask(umaskBefore);
    const QString problem = successProblem(result);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    struct stat made{};
    QCOMPARE(::stat(QFile::encodeName(folder.outputPath).constData(), &made), 0);
    QCOMPARE(int(made.st_mode & 07777), output.mode);
    QCOMPARE(int(made.st_uid), output.owner != -1 ? ownerId(output.owner) : int(::geteuid()));
    if (output.group >= 0)
        QCOMPARE(int(made.st_gid), output.group);
    char tag[8] = {};
    QVERIFY(!tagged || ::getxattr(outputName.constData(), "user.kelvora", tag, 8) == 4);
    QCOMPARE(QByteArray(tag), tagged ? "kept"_ba : QByteArray()); // the user's attribute stays
    if (output.acl.isEmpty())
        return;
    const CommandResult acl = run(u"getfacl"_s, {u"-cEp"_s, folder.outputPath});
    QCOMPARE(acl.output.split(u'\n', Qt::SkipEmptyParts).join(u','), output.acl);
    // As the kernel decides for real users: nobody reads the output who cannot read the input,
    // and who read the input and the earlier output reads the new one.
    for (const QString &user : testusers::Users) {
        const bool readsInput = testusers::reads(user, folder.inputPath);
        QCOMPARE(testusers::reads(user, folder.outputPath) && !readsInput, false);
        QCOMPARE(readEarlier[user] && readsInput && !testusers::reads(user, folder.outputPath),
                 false);
    }
#endif
}

void tst_SaveStrengthFile::unusualNamesAndPaths_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pathLength"); // of the selected file; 0: as the temporary folder has it
    QTest::addColumn<QString>("detour"); // between the folder and the name, as given to the save
    QTest::addColumn<bool>("saves");

    const auto ofLength = [](int length) { return QString(length - 7, u'n') + u"_sp.cfg"_s; };
#ifdef Q_OS_WIN
    // MAX_PATH is 260: past it only the long-path prefix reaches a file, and behind the prefix
    // Windows cleans nothing out of a path.
    QTest::newRow("path past 260 characters") << ofLength(12) << 300 << QString() << true;
    QTest::newRow("path past 260 characters, given through '..' and '.'")
        << ofLength(12) << 300 << u"/sub/.././"_s << true;
    // Names Windows keeps but would change in a path taken as typed: trimmed, or a device.
    QTest::newRow("name ending in a dot") << u"a_sp.cfg."_s << 0 << QString() << true;
    QTest::newRow("name ending in dots and spaces") << u"a_sp.cfg . ."_s << 0 << QString() << true;
    QTest::newRow("device name con") << u"con"_s << 0 << QString() << true;
    QTest::newRow("device name nul, with an extension") << u"nul.cfg"_s << 0 << QString() << true;
#else
    // NAME_MAX is 255 and PATH_MAX 4096 (with the closing NUL) on Linux.
    QTest::newRow(".new name at the name limit") << ofLength(251) << 0 << QString() << true;
    QTest::newRow(".new name past the name limit") << ofLength(252) << 0 << QString() << false;
    QTest::newRow("selected file just short of the path limit, its .new past it")
        << ofLength(100) << 4093 << QString() << true;
    QTest::newRow("line break in the name") << u"a\nb_sp.cfg"_s << 0 << QString() << true;
#endif
}

// A .new name up to the system's limit saves, again and again (the temporary file beside it
// has a short name of its own), and so do a file whose .new path is longer than a path may be
// and a name with a line break; a name past the limit is refused in German.
void tst_SaveStrengthFile::unusualNamesAndPaths()
{
    QFETCH(QString, name);
    QFETCH(int, pathLength);
    QFETCH(QString, detour);
    QFETCH(bool, saves);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QString folder = dir.path();
    // Folders of 200 characters down to where the file's path has the length asked for.
    while (pathLength > 0 && folder.size() + 1 + name.size() < pathLength) {
        const int rest = pathLength - int(folder.size() + 1 + name.size()) - 1;
        folder += u'/' + QString(std::min(200, std::max(rest, 1)), u'd');
        QVERIFY(QDir().mkdir(folder));
    }
    QVERIFY(pathLength == 0 || folder.size() + 1 + name.size() == pathLength);
    QVERIFY(detour.isEmpty() || QDir().mkdir(folder + u"/sub"_s));
    const QByteArray input("01STRENGTH  3000\r\nplain\r\n");
    QVERIFY(writeFile(folder + u'/' + name, input));
    const QByteArray output = "01STRENG" + spaces(25) + " 2000 \r\nplain\r\n";

    for (int round = 0; round < 2; ++round) {
        RecordingCaller caller;
        caller.path = folder + (detour.isEmpty() ? u"/"_s : detour) + name;
        caller.startIndex = 2;
        const SaveOutcome result = caller.save();
        if (!saves) {
            const QString problem =
                failureProblem(result, {SaveFailure::Step::OpenOutput, ENAMETOOLONG});
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
            QCOMPARE(listing(folder), QStringList{name});
            return;
        }
        const QString problem = successProblem(result);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
#ifdef Q_OS_WIN
        QCOMPARE(readFile(folder + u'/' + name + ".new"_L1), output); // Qt adds the prefix
#else
        // The .new path may be too long to name whole: look from its folder.
        QVERIFY(QDir::setCurrent(folder));
        const std::optional<QByteArray> saved = readFile(name + ".new"_L1);
        QVERIFY(QDir::setCurrent(QDir::tempPath()));
        QCOMPARE(saved, output);
#endif
        QCOMPARE(listing(folder), QStringList({name, name + ".new"_L1}) + (detour.isEmpty() ? QStringList() : QStringList{u"sub"_s}));
    }
    QVERIFY(removeTree(dir.path()));
}

namespace {

enum class Fault {
    InputMissing,
    InputIsFolder,
    InputReadFails,
    OutputNameIsFolder,
    OutputReadOnly,
    FolderMissing,
};

} // namespace

void tst_SaveStrengthFile::failures_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<ExpectedFailure>("expected");

    using Step = SaveFailure::Step;
    QTest::newRow("selected file missing")
        << Fault::InputMissing << ExpectedFailure{Step::OpenInput, ENOENT};
    QTest::newRow("selected file is a folder")
        << Fault::InputIsFolder
        << ExpectedFailure{Step::OpenInput, 0, Refusal::NotRegular, FileType::Folder};
#ifndef Q_OS_WIN
    QTest::newRow("selected file cannot be read")
        << Fault::InputReadFails << ExpectedFailure{Step::ReadInput, EIO};
#endif
    QTest::newRow("a folder named like the output is in the way")
        << Fault::OutputNameIsFolder
        << ExpectedFailure{Step::OpenOutput, 0, Refusal::NotRegular, FileType::Folder};
#ifdef Q_OS_WIN
    QTest::newRow("the output marked read-only")
        << Fault::OutputReadOnly << ExpectedFailure{Step::OpenOutput, 0, Refusal::ReadOnly};
#endif
    // The selected file is opened first, so that is what is reported missing.
    QTest::newRow("folder missing") << Fault::FolderMissing << ExpectedFailure{Step::OpenInput, ENOENT};
}

void tst_SaveStrengthFile::failures()
{
    QFETCH(Fault, fault);
    QFETCH(ExpectedFailure, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QString folder = dir.path();
    const QString name = u"a_sp.cfg"_s;
    const QByteArray input("01STRENGTH  3000\r\n");
    switch (fault) {
    case Fault::InputMissing:
        QVERIFY(writeFile(dir.filePath(name + ".new"_L1), EarlierOutput));
        break;
    case Fault::InputIsFolder:
        QVERIFY(QDir(folder).mkdir(name));
        QVERIFY(writeFile(dir.filePath(name + ".new"_L1), EarlierOutput));
        break;
    case Fault::InputReadFails:
        // Reading this process's memory from offset 0 fails with an I/O error, even as root.
        QVERIFY(QFile::link(u"/proc/self/mem"_s, dir.filePath(name)));
        QVERIFY(writeFile(dir.filePath(name + ".new"_L1), EarlierOutput));
        break;
    case Fault::OutputNameIsFolder:
        QVERIFY(writeFile(dir.filePath(name), input));
        QVERIFY(QDir(folder).mkdir(name + ".new"_L1));
        break;
    case Fault::OutputReadOnly:
        QVERIFY(writeFile(dir.filePath(name), input));
        QVERIFY(writeFile(dir.filePath(name + ".new"_L1), EarlierOutput));
        QCOMPARE(run(u"attrib"_s, {u"+r"_s, QDir::toNativeSeparators(dir.filePath(name + ".new"_L1))})
                     .exitCode,
                 0);
        break;
    case Fault::FolderMissing:
        folder = dir.filePath(u"gone"_s);
        break;
    }
    const QStringList before = listing(dir.path());
    const QString inputPath = folder + u'/' + name;

    RecordingCaller caller;
    caller.path = inputPath;
    const SaveOutcome outcome = caller.save();
    const QString problem = failureProblem(outcome, expected);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    QCOMPARE(listing(dir.path()), before);
    if (fault == Fault::OutputNameIsFolder) {
        QCOMPARE(readFile(inputPath), input);
        QVERIFY(QFileInfo(inputPath + ".new"_L1).isDir());
        QCOMPARE(listing(inputPath + ".new"_L1), QStringList());
    } else if (fault != Fault::FolderMissing) {
        QCOMPARE(readFile(inputPath + ".new"_L1), EarlierOutput);
    }
}

void tst_SaveStrengthFile::readOnlyFileSystem_data()
{
    QTest::addColumn<bool>("earlierOutput");
    QTest::newRow("without an earlier output") << false;
    QTest::newRow("with an earlier output") << true;
}

void tst_SaveStrengthFile::readOnlyFileSystem()
{
    QFETCH(bool, earlierOutput);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString source = dir.filePath(u"source"_s);
    const QString mounted = dir.filePath(u"mounted"_s);
    QVERIFY(QDir().mkpath(source));
    QVERIFY(QDir().mkpath(mounted));
    const QByteArray input("01STRENGTH  3000\r\nplain\r\n");
    QVERIFY(writeFile(source + "/a_sp.cfg"_L1, input));
    if (earlierOutput)
        QVERIFY(writeFile(source + "/a_sp.cfg.new"_L1, EarlierOutput));
    const QStringList before = listing(source);

    // As root, permission bits do not stop writes; a read-only mount does.
    MountGuard guard(mounted);
    if (const QString refused = guard.mount({u"--bind"_s, source}); !refused.isEmpty())
        QSKIP(qPrintable(u"bind mount refused: "_s + refused));
    if (const QString refused = guard.remountReadOnly(); !refused.isEmpty())
        QSKIP(qPrintable(u"read-only remount refused: "_s + refused));

    RecordingCaller caller;
    caller.path = mounted + "/a_sp.cfg"_L1;
    caller.startIndex = 9;
    const SaveOutcome outcome = caller.save();

    QCOMPARE(listing(source), before);
    QCOMPARE(readFile(source + "/a_sp.cfg"_L1), input);
    if (earlierOutput)
        QCOMPARE(readFile(source + "/a_sp.cfg.new"_L1), EarlierOutput);
    // An earlier output may not be replaced; without one, no file may be made in the folder.
    const QString problem = failureProblem(
        outcome, {SaveFailure::Step::OpenOutput, EROFS,
                  earlierOutput ? Refusal::NotWritable : Refusal::FolderRefusesNewFile});
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

// Output that outgrows a small file system fails part-way through a write.
void tst_SaveStrengthFile::diskFull()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString mounted = dir.filePath(u"small"_s);
    QVERIFY(QDir().mkpath(mounted));
    MountGuard guard(mounted);
    if (const QString refused = guard.mount({u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=64k"_s,
                                              u"tmpfs"_s});
        !refused.isEmpty())
        QSKIP(qPrintable(u"tmpfs mount refused: "_s + refused));

    // 20 KB of start lines grow to about 46 KB, more than the space left.
    const QByteArray input = growingContent(1100);
    const QString inputPath = mounted + "/a_sp.cfg"_L1;
    QVERIFY(writeFile(inputPath, input));
    QVERIFY(writeFile(inputPath + ".new"_L1, EarlierOutput));
    const QStringList before = listing(mounted);

    RecordingCaller caller;
    caller.path = inputPath;
    const SaveOutcome outcome = caller.save();
    const QString problem = failureProblem(outcome, {SaveFailure::Step::WriteOutput, ENOSPC});
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    QCOMPARE(listing(mounted), before);
    QCOMPARE(readFile(inputPath), input);
    QCOMPARE(readFile(inputPath + ".new"_L1), EarlierOutput);
}

void tst_SaveStrengthFile::childProcess_data()
{
    QTest::addColumn<QString>("start"); // the shell's words before the program and its arguments
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("messageLine");

    QTest::newRow("saves without a limit") << u"exec"_s << 0
                                           << u"Information|Speichern|Speichern erfolgreich"_s;
    // 16 KiB: the input fits, its rewritten copy does not.
    QTest::newRow("file size limit stops a write half-way")
        << u"trap '' XFSZ; ulimit -f 16 && exec"_s << 1 << u"Warning|Speichern|"_s;
    // A folder its user may enter and write but not list can only be synced with its file system.
    QTest::newRow("folder its user may not list")
        << u"chown -R 4243:4243 \"${1%/*}\" && chmod 300 \"${1%/*}\" && exec setpriv "
           "--reuid=4243 --regid=4243 --clear-groups"_s
        << 0 << u"Information|Speichern|Speichern erfolgreich"_s;
}

// The save runs in a child so that a file size limit makes one of its writes come up short.
void tst_SaveStrengthFile::childProcess()
{
#ifdef Q_OS_WIN
    QSKIP("the file size limit needs bash's ulimit");
#else
    QFETCH(QString, start);
    QFETCH(int, exitCode);
    QFETCH(QString, messageLine);
    if (start.contains(u"setpriv"_s) && ::geteuid() != 0)
        QSKIP("handing the folder to another user needs root");

    const QByteArray input = growingContent(700); // 12.6 KB in, 28.7 KB out
    ScratchFolder folder;
    QVERIFY(folder.holds(input, EarlierOutput));
    const QString &inputPath = folder.inputPath;
    const QStringList before = listing(folder.dir.path());

    const CommandResult result = run(
        u"bash"_s, {u"-c"_s, start + u" \"$0\" \"$1\" 6 8"_s, QStringLiteral(HEADLESS_SAVE_PATH),
                    inputPath});
    qInfo().noquote() << "output:" << result.output;
    QCOMPARE(result.exitCode, exitCode);
    const QStringList lines = result.output.split(u'\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines.first().startsWith(messageLine), qPrintable(result.output));
    QCOMPARE(readFile(inputPath), input);
    QCOMPARE(listing(folder.dir.path()), before);
    if (exitCode == 0) {
        QCOMPARE(lines.last(), u"progress|20"_s);
        const std::optional<QByteArray> output = readFile(inputPath + ".new"_L1);
        QVERIFY(output);
        QVERIFY(*output == rewrittenGrowingContent(700, "6000"));
    } else {
        QVERIFY(lines.first().contains(u'„' + inputPath + u".new“"_s));
        QCOMPARE(readFile(inputPath + ".new"_L1), EarlierOutput);
    }
#endif
}

// ---------------------------------------------------------------------------------------------
// Stop requests (the window closing or the program ending during a save)

void tst_SaveStrengthFile::stopRequested_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<qsizetype>("longLine"); // bytes of a line without end after line 2; 0: none
    QTest::addColumn<int>("stopFromPump");
    QTest::addColumn<bool>("earlierOutput");
    QTest::addColumn<int>("ratedLines");

    const qsizetype none = 0;
    QTest::newRow("at the first line, no earlier output") << 5 << none << 1 << false << 0;
    QTest::newRow("half-way, earlier output kept") << 5 << none << 3 << true << 2;
    QTest::newRow("at the last line, earlier output kept") << 5 << none << 5 << true << 4;
    // About 1.6 MB of output were already written to disk when the stop came.
    QTest::newRow("after output blocks were written, no earlier output")
        << 60000 << none << 40000 << false << 39999;
    QTest::newRow("after output blocks were written, earlier output kept")
        << 60000 << none << 40000 << true << 39999;
    // Events are offered between the pieces of a line longer than many reads, so the window
    // stays live inside it: the stop comes at its second piece.
    QTest::newRow("inside a line longer than many reads")
        << 4 << qsizetype(5 << 20) << 4 << true << 2;
}

void tst_SaveStrengthFile::stopRequested()
{
    QFETCH(int, lines);
    QFETCH(qsizetype, longLine);
    QFETCH(int, stopFromPump);
    QFETCH(bool, earlierOutput);
    QFETCH(int, ratedLines);

    QByteArray input = growingContent(lines);
    if (longLine > 0)
        input.insert(growingContent(2).size(), QByteArray(longLine, 'x') + "\r\n");
    ScratchFolder folder;
    QVERIFY(folder.holds(input, earlierOutput ? std::optional(EarlierOutput) : std::nullopt));
    const QStringList before = listing(folder.dir.path());
    RecordingCaller &caller = folder.caller;
    caller.stopFromPump = stopFromPump;
    QCOMPARE(caller.save().end, SaveOutcome::End::Stopped);

    QCOMPARE(caller.pumps, stopFromPump);
    // The line during which the stop came is not rewritten any more.
    QCOMPARE(caller.calls.count(u"startRatingIndex"_s), ratedLines);
    QCOMPARE(listing(folder.dir.path()), before);
    QCOMPARE(readFile(folder.inputPath), input);
    if (earlierOutput)
        QCOMPARE(readFile(folder.outputPath), EarlierOutput);
}

QTEST_GUILESS_MAIN(tst_SaveStrengthFile)
#include "tst_savestrengthfile.moc"
