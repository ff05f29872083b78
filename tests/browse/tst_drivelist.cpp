// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/drivelist.h"
#include "fixeddriveprovider.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A drive's root as the list reads it: absolute, so on Windows a path from "/" lies on the
// current drive.
QString root(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

// The drive list never touches the disk, so its drives need not exist.
class tst_DriveList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void setDriveSelectsDriveOfPath_data();
    void setDriveSelectsDriveOfPath();
    void changeRaisesOnceAndSynchronously();
    void sameDriveRaisesNothing();
    void userPickRaisesChange();
    void showsDisplayNamesButReadsRootPaths();
    void startsOnDriveOfCurrentFolder();
    void reloadKeepsCurrentDriveAndRaisesNothing();

private:
    static std::shared_ptr<FixedDriveProvider> nestedDrives()
    {
        return std::make_shared<FixedDriveProvider>(QList<Drive>{
            {root(u"/"_s), u"/ (vda)"_s},
            {root(u"/media/usb"_s), u"/media/usb (USB)"_s},
            {root(u"/media/usb/inner"_s), u"/media/usb/inner (INNER)"_s},
            {root(u"/data"_s), u"/data (sdb1)"_s}});
    }
};

void tst_DriveList::setDriveSelectsDriveOfPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expectedDrive");

    QTest::newRow("folder deep on a drive") << u"/data/a/b"_s << u"/data"_s;
    QTest::newRow("drive root itself") << u"/media/usb"_s << u"/media/usb"_s;
    QTest::newRow("trailing slash") << u"/media/usb/"_s << u"/media/usb"_s;
    QTest::newRow("drive mounted inside another wins") << u"/media/usb/inner/x"_s
                                                       << u"/media/usb/inner"_s;
    QTest::newRow("outer drive keeps its other folders") << u"/media/usb/innerx"_s
                                                         << u"/media/usb"_s;
    QTest::newRow("longer name on the root drive") << u"/database/x"_s << u"/"_s;
    QTest::newRow("dot-dot resolved before matching") << u"/data/../media/usb/x"_s
                                                      << u"/media/usb"_s;
}

void tst_DriveList::setDriveSelectsDriveOfPath()
{
    QFETCH(QString, path);
    QFETCH(QString, expectedDrive);

    DriveList list(nestedDrives());
    list.setDrive(u"/data"_s == expectedDrive ? u"/"_s : u"/data"_s); // start elsewhere
    list.setDrive(path);
    QCOMPARE(list.drive(), root(expectedDrive));
}

void tst_DriveList::changeRaisesOnceAndSynchronously()
{
    DriveList list(nestedDrives());
    list.setDrive(u"/"_s);
    QString driveSeenByHandler;
    connect(&list, &DriveList::driveChanged, this, [&] { driveSeenByHandler = list.drive(); });
    QSignalSpy changes(&list, &DriveList::driveChanged);

    list.setDrive(u"/data/x"_s);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(driveSeenByHandler, root(u"/data"_s));
}

void tst_DriveList::sameDriveRaisesNothing()
{
    DriveList list(nestedDrives());
    list.setDrive(u"/data"_s);
    QSignalSpy changes(&list, &DriveList::driveChanged);

    list.setDrive(u"/data/other/folder"_s);
    list.setDrive(u"/data"_s);
    QCOMPARE(changes.count(), 0);
    QCOMPARE(list.drive(), root(u"/data"_s));
}

void tst_DriveList::userPickRaisesChange()
{
    DriveList list(nestedDrives());
    list.setDrive(u"/"_s);
    QSignalSpy changes(&list, &DriveList::driveChanged);

    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(list.drive(), root(u"/media/usb"_s));
}

void tst_DriveList::showsDisplayNamesButReadsRootPaths()
{
    DriveList list(nestedDrives());
    list.setDrive(u"/media/usb/a"_s);
    QCOMPARE(list.currentText(), u"/media/usb (USB)"_s);
    QCOMPARE(list.drive(), root(u"/media/usb"_s));
    QCOMPARE(list.count(), 4);
}

void tst_DriveList::startsOnDriveOfCurrentFolder()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir().mkpath(dir.filePath(u"b/sub"_s)));
    QVERIFY(QDir::setCurrent(dir.filePath(u"b/sub"_s)));

    auto drives = std::make_shared<FixedDriveProvider>(QList<Drive>{
        FixedDriveProvider::driveAt(dir.filePath(u"a"_s)),
        FixedDriveProvider::driveAt(dir.filePath(u"b"_s))});
    DriveList list(drives);
    QDir::setCurrent(previous);
    QCOMPARE(list.drive(), dir.filePath(u"b"_s));
}

void tst_DriveList::reloadKeepsCurrentDriveAndRaisesNothing()
{
    auto drives = nestedDrives();
    DriveList list(drives);
    list.setDrive(u"/data"_s);
    QSignalSpy changes(&list, &DriveList::driveChanged);

    drives->setDrives(
        {{root(u"/"_s), u"/ (vda)"_s}, {root(u"/mnt/new"_s), u"/mnt/new (NEW)"_s}});
    list.reloadDrives();
    QCOMPARE(changes.count(), 0);
    QCOMPARE(list.drive(), root(u"/data"_s));
    QCOMPARE(list.count(), 3); // the current drive stays listed although it is gone

    list.setDrive(u"/mnt/new/x"_s);
    QCOMPARE(list.drive(), root(u"/mnt/new"_s));
    QCOMPARE(changes.count(), 1);
}

QTEST_MAIN(tst_DriveList)
#include "tst_drivelist.moc"
