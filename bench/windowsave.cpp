// SPDX-License-Identifier: GPL-3.0-or-later
// The save through the real main window on the offscreen platform: the file chosen in the
// file list, both ratings picked, Save clicked, the real message box answered. Prints the time
// from the click to the message, so compare.sh can set it against the headless save.
//
//   QT_QPA_PLATFORM=offscreen window_save <file> <startIndex> <maxIndex>

#include "app/form1.h"
#include "app/windowservices.h"
#include "browse/driveprovider.h"
#include "browse/filelist.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

namespace {

bool chooseFile(FileList &list, const QString &name)
{
    const QList<QListWidgetItem *> found = list.findItems(name, Qt::MatchExactly);
    if (found.size() != 1)
        return false;
    list.setCurrentItem(found.first());
    return true;
}

// Answers the message box from a timer; the save's own event pump may run the timer before
// the box exists, so it polls.
void answerMessageBox(QObject *context, QElapsedTimer &clock, qint64 &elapsedMs, QString &text)
{
    QTimer::singleShot(1, context, [=, &clock, &elapsedMs, &text] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return answerMessageBox(context, clock, elapsedMs, text);
        elapsedMs = clock.elapsed();
        text = box->text();
        box->accept();
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fputs("usage: window_save <file> <startIndex 0..12> <maxIndex 0..12>\n", stderr);
        return 3;
    }
    const QFileInfo file(QString::fromLocal8Bit(argv[1]));
    Form1 form({std::make_shared<WindowServices>(), createSystemDriveProvider(),
                file.absolutePath()});
    form.show();
    const Controls &c = form.controls();
    if (!chooseFile(*c.Fildatei, file.fileName())) {
        std::fputs("the file is not in the file list\n", stderr);
        return 3;
    }
    c.cbostar[0]->setCurrentIndex(QString::fromLocal8Bit(argv[2]).toInt());
    c.cbostar[1]->setCurrentIndex(QString::fromLocal8Bit(argv[3]).toInt());

    QElapsedTimer clock;
    qint64 elapsedMs = -1;
    QString text;
    answerMessageBox(&form, clock, elapsedMs, text);
    clock.start();
    c.btnspeichern->click();
    std::printf("message|%s\nwindow_s=%.3f\n", qPrintable(text), elapsedMs / 1000.0);
    return text == QLatin1String("Speichern erfolgreich") ? 0 : 1;
}
