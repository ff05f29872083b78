// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the real window like a user: mouse and keyboard only, real message box.
#include "app/form1.h"
#include "app/windowservices.h"
#include "browse/drivelist.h"
#include "browse/driveprovider.h"
#include "browse/filelist.h"
#include "browse/folderlist.h"
#include "platform/filenames.h"
#include "platform/paths.h"
#include "support/droppath.h"
#include "support/removetree.h"
#include "tests/app/messageboxanswer.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

class tst_EndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void chooseRateAndSave_data();
    void chooseRateAndSave();
    void keyboardOnly_data();
    void keyboardOnly();
    void failureShownInRealMessageBox_data();
    void failureShownInRealMessageBox();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_input;
    std::unique_ptr<Form1> m_form;
};

namespace {
const QByteArray Original = "[Team]\r\n01STRENGTH  3000\r\n01MAXSTRENGTH   8000\r\nende";
const QByteArray Saved = "[Team]\r\n"
                         "01STRENG" + QByteArray(25, ' ') + " 5000 \r\n"
                         "01MAXSTRENGT" + QByteArray(21, ' ') + " 8000 \r\n"
                         "ende\r\n";

// Read and written by exact name: Qt's file classes cannot reach names that are not valid text
// on Linux. (On Windows every name is text, and Qt's classes serve.)
QByteArray contents(const QString &path)
{
    QFile file;
#ifdef Q_OS_WIN
    file.setFileName(path);
    const bool opened = file.open(QIODevice::ReadOnly);
#else
    const int fd = ::open(systemFileName(path).constData(), O_RDONLY);
    const bool opened = fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
#endif
    return opened ? file.readAll() : QByteArray("<missing>");
}

bool makeStrengthFile(const QString &folder, const QString &name)
{
#ifdef Q_OS_WIN
    QFile file(folder + u'/' + name);
    return QDir().mkdir(folder) && file.open(QIODevice::WriteOnly)
        && file.write(Original) == Original.size();
#else
    if (::mkdir(systemFileName(folder).constData(), 0755) != 0)
        return false;
    const int fd = ::open(systemFileName(folder + u'/' + name).constData(),
                          O_WRONLY | O_CREAT | O_EXCL, 0644);
    const bool written = fd >= 0 && ::write(fd, Original.constData(), Original.size())
        == Original.size();
    return ::close(fd) == 0 && written;
#endif
}

// A folder and a file whose names an old archive unpacked with Latin-1 umlauts: "ä" as the
// single byte E4, which is not valid UTF-8.
const QString Latin1Folder = fileNameFromSystem("Spielst\xe4nde");
const QString Latin1File = fileNameFromSystem("t\xe4" "am_sp3.cfg");
const QString MarkupFolder = u"<i>kursiv"_s;
const QString MarkupFile = u"<b>x_sp.cfg"_s;
} // namespace

// The program's folder holds a folder "Spielstand" with one strength file, one with Latin-1
// bytes in its name and its file's, and one with names like markup; the window is open.
void tst_EndToEnd::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY2(m_dir->isValid(), qPrintable(m_dir->errorString()));
    m_input = m_dir->filePath(u"Spielstand/team_sp3.cfg"_s);
    QVERIFY(makeStrengthFile(m_dir->filePath(u"Spielstand"_s), u"team_sp3.cfg"_s));
#ifndef Q_OS_WIN // every Windows name is text
    QVERIFY(makeStrengthFile(m_dir->filePath(Latin1Folder), Latin1File));
    QVERIFY(makeStrengthFile(m_dir->filePath(MarkupFolder), MarkupFile));
#endif
    m_form = std::make_unique<Form1>(Form1::Environment{
        std::make_shared<WindowServices>(), createSystemDriveProvider(), m_dir->path()});
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void tst_EndToEnd::cleanup()
{
    m_form.reset();
    QVERIFY(removeTree(m_dir->path()));
    QTRY_VERIFY2(QApplication::topLevelWidgets().isEmpty(), "a window was left behind");
}

namespace {

void doubleClickFolder(FolderList &list, const QString &name)
{
    const QList<QTreeWidgetItem *> found = list.findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    QVERIFY2(found.size() == 1, qPrintable(name));
    list.scrollToItem(found[0]);
    const QPoint at = list.visualItemRect(found[0]).center();
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
}

void pressDown(QWidget *widget, int times)
{
    widget->setFocus();
    for (int i = 0; i < times; ++i)
        QTest::keyClick(widget, Qt::Key_Down);
}

} // namespace

void tst_EndToEnd::chooseRateAndSave_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("shownFile");
    QTest::addColumn<QString>("chosenBy"); // clicks, the command line, a drop on the window

    for (const QString &chosenBy : {u"clicks"_s, u"argument"_s, u"drop"_s}) {
        QTest::addRow("plain names, %s", qPrintable(chosenBy))
            << u"Spielstand"_s << u"team_sp3.cfg"_s << u"team_sp3.cfg"_s << chosenBy;
#ifndef Q_OS_WIN
        QTest::addRow("Latin-1 names, %s", qPrintable(chosenBy))
            << Latin1Folder << Latin1File << u"täam_sp3.cfg"_s << chosenBy;
        QTest::addRow("names like markup, %s", qPrintable(chosenBy))
            << MarkupFolder << MarkupFile << MarkupFile << chosenBy;
#endif
    }
}

void tst_EndToEnd::chooseRateAndSave()
{
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QFETCH(QString, shownFile);
    QFETCH(QString, chosenBy);

    const QString input = m_dir->filePath(folder + u'/' + file);
    if (chosenBy == u"argument"_s) {
        m_form = std::make_unique<Form1>(Form1::Environment{std::make_shared<WindowServices>(),
                                                            createSystemDriveProvider(),
                                                            m_dir->path(), input});
        m_form->show();
    }
    const Controls &c = m_form->controls();
    if (chosenBy == u"clicks"_s) {
        QCOMPARE(c.Fildatei->count(), 0);
        doubleClickFolder(*c.Dirverzeichnis, readableFileName(folder));
        QVERIFY(!c.btnspeichern->isEnabled());
        QTest::mouseClick(c.Fildatei->viewport(), Qt::LeftButton, {},
                          c.Fildatei->visualItemRect(c.Fildatei->item(0)).center());
    } else if (chosenBy == u"drop"_s) {
        dropPath(c.Fildatei->viewport(), input); // over the file list
    }
    QCOMPARE(c.Fildatei->count(), 1);
    QCOMPARE(c.Fildatei->item(0)->text(), shownFile);
    QCOMPARE(c.Fildatei->selectedFileName(), file);
    QVERIFY(c.btnspeichern->isEnabled());

    pressDown(c.cbostar[0], 5);                 // "2.5 Sterne"
    QCOMPARE(c.cbostar[1]->currentIndex(), 5); // pulled up with the start
    pressDown(c.cbostar[1], 3);                // "4.0 Sterne"
    QCOMPARE(c.cbostar[0]->currentText(), u"2.5 Sterne"_s);
    QCOMPARE(c.cbostar[1]->currentText(), u"4.0 Sterne"_s);

    MessageBoxAnswer answer;
    answer.armFor(m_form.get());
    QTest::mouseClick(c.btnspeichern, Qt::LeftButton);

    QVERIFY(answer.answered);
    QCOMPARE(answer.text, u"Speichern erfolgreich"_s);
    QCOMPARE(answer.detail, u"Geschrieben wurde „%1.new“ im Ordner „%2“."_s.arg(
                                shownFile, shownPath(m_dir->filePath(folder))));
    QCOMPARE(answer.detailShownAs, Qt::PlainText);
    QCOMPARE(answer.icon, QMessageBox::Information);
    QCOMPARE(contents(input + ".new"_L1), Saved);
    QCOMPARE(contents(input), Original);
}

void tst_EndToEnd::keyboardOnly_data()
{
    QTest::addColumn<Qt::Key>("saveKey");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Space") << Qt::Key_Space << Qt::KeyboardModifiers();
    QTest::newRow("Enter") << Qt::Key_Return << Qt::KeyboardModifiers();
    QTest::newRow("the keypad's Enter") << Qt::Key_Enter
                                        << Qt::KeyboardModifiers(Qt::KeypadModifier);
}

void tst_EndToEnd::keyboardOnly()
{
    QFETCH(Qt::Key, saveKey);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    const Controls &c = m_form->controls();
    const QString &input = m_input;
    auto press = [](Qt::Key key, int times = 1) {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(QApplication::focusWidget(), key);
    };
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(c.drvlaufwerk));

    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), c.Dirverzeichnis);
    for (int i = 0; i < 10 && c.Dirverzeichnis->currentItem()->text(0) != u"Spielstand"_s; ++i)
        press(Qt::Key_Down);
    press(Qt::Key_Return);
    QCOMPARE(c.Dirverzeichnis->path(), QFileInfo(input).absolutePath());

    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), c.Fildatei);
    press(Qt::Key_Down);
    QCOMPARE(c.Fildatei->selectedFileName(), u"team_sp3.cfg"_s);
    QVERIFY(c.btnspeichern->isEnabled());

    press(Qt::Key_Tab);
    press(Qt::Key_Down, 5);
    press(Qt::Key_Tab);
    press(Qt::Key_Down, 3);
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), c.btnspeichern);

    MessageBoxAnswer answer;
    answer.armFor(m_form.get());
    QTest::keyClick(QApplication::focusWidget(), saveKey, modifiers);
    QVERIFY(answer.answered);
    QCOMPARE(contents(input + ".new"_L1), Saved);
}

void tst_EndToEnd::failureShownInRealMessageBox_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    QTest::newRow("folder in the way") << u"Spielstand"_s << u"team_sp3.cfg"_s;
#ifndef Q_OS_WIN // names hold no "<" there
    // With a FIFO in the way. Read as markup, the message would open the FIFO DIR/kvfifo.
    QTest::newRow("names like markup") << u"<b>fett"_s << u"<img src=DIR&#47;kvfifo>_sp.cfg"_s;
#endif
}

void tst_EndToEnd::failureShownInRealMessageBox()
{
    QFETCH(QString, folder);
    QFETCH(QString, file);
    const Controls &c = m_form->controls();
    file.replace(u"DIR"_s, m_dir->path().replace(u'/', "&#47;"_L1));
    const QString input = m_dir->filePath(folder + u'/' + file);
    const QString blocked = input + ".new"_L1;
#ifndef Q_OS_WIN
    if (folder != u"Spielstand"_s) {
        QVERIFY(makeStrengthFile(m_dir->filePath(folder), file));
        for (const QString &fifo : {m_dir->filePath(u"kvfifo"_s), blocked})
            QCOMPARE(::mkfifo(systemFileName(fifo).constData(), 0600), 0);
    } else
#endif
        QVERIFY(QDir().mkdir(blocked));
    QVERIFY(!c.Dirverzeichnis->setPath(QFileInfo(input).absolutePath()).failed());
    c.Fildatei->setCurrentRow(0);

    MessageBoxAnswer answer;
    answer.armFor(m_form.get());
    QTest::mouseClick(c.btnspeichern, Qt::LeftButton);

    QVERIFY(answer.answered);
    QCOMPARE(answer.title, u"Speichern"_s);
    QCOMPARE(answer.icon, QMessageBox::Warning);
    QCOMPARE(answer.buttons, 1);
    QCOMPARE(answer.shownAs, Qt::PlainText);
    QVERIFY2(answer.text.contains(QDir::toNativeSeparators(blocked)), qPrintable(answer.text));
    QVERIFY(QFileInfo::exists(blocked) && !QFileInfo(blocked).isFile());
    QCOMPARE(contents(input), Original);
    QVERIFY(c.lblprobar->text().isEmpty());
}

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
