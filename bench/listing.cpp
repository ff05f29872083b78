// SPDX-License-Identifier: GPL-3.0-or-later
// How long the file list and the folder list take to refill for a large folder, for
// listing.sh: 100,000 files, 10,000 of them matching the strength file pattern, and 10,000
// subfolders. Each timed refill goes from an empty folder to the large one and lasts until the
// list has laid out and painted its rows; the last one is what the window does when a folder is
// opened: the folder list, and the file list following it through `Dirverzeichnis` change.
// Prints medians as key=value lines.
//
//   QT_QPA_PLATFORM=offscreen listing                  in a fresh temporary folder
//   QT_QPA_PLATFORM=offscreen listing create <folder>  only fills the (new or empty) folder
//   QT_QPA_PLATFORM=offscreen listing time <folder> [runs]

#include "browse/driveprovider.h"
#include "browse/filelist.h"
#include "browse/fileselection.h"
#include "browse/folderlist.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr int FileCount = 100'000;
constexpr int MatchingFileCount = 10'000;
constexpr int FolderCount = 10'000;
constexpr int DefaultRuns = 7;

// Every tenth file matches, half of them in capitals (the pattern ignores case). The others
// are near misses and unrelated names.
QString fileName(int i)
{
    const QString n = QString::number(i).rightJustified(6, u'0');
    switch (i % 10) {
    case 0: return (i / 10) % 2 ? "Unit"_L1 + n + "_SP2.CFG"_L1 : "unit"_L1 + n + "_sp.cfg"_L1;
    case 1: return "unit"_L1 + n + ".cfg"_L1;
    case 2: return "unit"_L1 + n + "_sp.cfg.bak"_L1;
    case 3: return "unit"_L1 + n + "_sp.txt"_L1;
    case 4: return "unit"_L1 + n + "_s.cfg"_L1;
    case 5: return "notes"_L1 + n + ".txt"_L1;
    case 6: return "image"_L1 + n + ".bmp"_L1;
    case 7: return ".unit"_L1 + n + ".cfg"_L1;
    case 8: return "data"_L1 + n + ".bin"_L1;
    default: return "Unit"_L1 + n + "_Sp.cfg~"_L1;
    }
}

// A tenth of the folders carry a strength file name (folders never reach the file list), a
// tenth are hidden (the folder list shows those).
QString folderName(int i)
{
    const QString n = QString::number(i).rightJustified(5, u'0');
    switch (i % 10) {
    case 0: return "group"_L1 + n + "_sp.cfg"_L1;
    case 1: return ".hidden"_L1 + n;
    default: return "folder"_L1 + n;
    }
}

bool createLayout(const QString &folder)
{
    QDir dir(folder);
    if (!dir.mkpath(u"."_s) || !dir.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        std::fprintf(stderr, "%s must be a new or empty folder\n", qPrintable(folder));
        return false;
    }
    for (int i = 0; i < FileCount; ++i) {
        QFile file(dir.filePath(fileName(i)));
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(file.fileName()), qPrintable(file.errorString()));
            return false;
        }
    }
    for (int i = 0; i < FolderCount; ++i) {
        if (!dir.mkdir(folderName(i))) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(dir.filePath(folderName(i))));
            return false;
        }
    }
    return true;
}

// Lays out and paints what the refill left pending: the view's delayed layout runs from a
// zero timer, the repaint is immediate.
void settle(QWidget &list)
{
    QCoreApplication::processEvents();
    list.repaint();
}

struct Timing
{
    double callMs = 0;   // the refill call alone
    double shownMs = 0;  // until the rows are laid out and painted
};

// One refill: from the empty folder (untimed) to the large one.
Timing timeRefill(QWidget &list, const std::function<void(const QString &)> &show,
                  const QString &empty, const QString &large)
{
    show(empty);
    settle(list);
    QElapsedTimer clock;
    clock.start();
    show(large);
    const qint64 callNs = clock.nsecsElapsed();
    settle(list);
    const qint64 shownNs = clock.nsecsElapsed();
    return {static_cast<double>(callNs) / 1e6, static_cast<double>(shownNs) / 1e6};
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

Timing medians(const QList<Timing> &runs)
{
    QList<double> calls;
    QList<double> shown;
    for (const Timing &t : runs) {
        calls.append(t.callMs);
        shown.append(t.shownMs);
    }
    return {median(calls), median(shown)};
}

int timeLists(const QString &large, int runs)
{
    QTemporaryDir emptyDir;
    if (!emptyDir.isValid()) {
        std::fputs("cannot create an empty folder\n", stderr);
        return 1;
    }
    const QString empty = emptyDir.path();

    // The sizes the lists have in the window.
    FileList files(StrengthFilePattern.toString());
    files.resize(185, 123);
    files.show();
    FolderList folders(createSystemDriveProvider());
    folders.resize(185, 126);
    folders.show();

    const auto showFiles = [&files](const QString &folder) { files.setFolder(folder); };
    const auto showFolders = [&folders](const QString &folder) {
        if (folders.setPath(folder).failed())
            qFatal("cannot list %s", qPrintable(folder));
    };

    // Both lists as the window holds them, the file list following the folder list.
    FileList windowFiles(StrengthFilePattern.toString());
    windowFiles.resize(185, 123);
    windowFiles.show();
    FolderList windowFolders(createSystemDriveProvider());
    windowFolders.resize(185, 126);
    windowFolders.show();
    QObject::connect(&windowFolders, &FolderList::pathChanged, &windowFiles,
                     [&] { DirverzeichnisChange(windowFolders, windowFiles); });
    const auto showBoth = [&windowFolders, &windowFiles](const QString &folder) {
        if (windowFolders.setPath(folder).failed())
            qFatal("cannot list %s", qPrintable(folder));
        windowFiles.repaint();
    };

    // One untimed round brings the folder into the caches, as it is for ls -f.
    timeRefill(files, showFiles, empty, large);
    timeRefill(folders, showFolders, empty, large);
    timeRefill(windowFolders, showBoth, empty, large);
    if (windowFiles.count() != MatchingFileCount || files.count() != MatchingFileCount || !folders.currentItem()
        || folders.currentItem()->childCount() != FolderCount) {
        std::fprintf(stderr, "%s does not hold the expected layout: %d matching files, %d subfolders\n",
                     qPrintable(large), files.count(),
                     folders.currentItem() ? folders.currentItem()->childCount() : -1);
        return 1;
    }

    QList<Timing> fileRuns;
    QList<Timing> folderRuns;
    QList<Timing> bothRuns;
    for (int i = 0; i < runs; ++i) {
        fileRuns.append(timeRefill(files, showFiles, empty, large));
        folderRuns.append(timeRefill(folders, showFolders, empty, large));
        bothRuns.append(timeRefill(windowFolders, showBoth, empty, large));
    }
    const Timing f = medians(fileRuns);
    const Timing d = medians(folderRuns);
    const Timing b = medians(bothRuns);
    std::printf("runs=%d\n", runs);
    std::printf("filelist_call_ms=%.2f\nfilelist_ms=%.2f\n", f.callMs, f.shownMs);
    std::printf("folderlist_call_ms=%.2f\nfolderlist_ms=%.2f\n", d.callMs, d.shownMs);
    std::printf("bothlists_call_ms=%.2f\nbothlists_ms=%.2f\n", b.callMs, b.shownMs);
    return 0;
}

int usage()
{
    std::fputs("usage: listing | listing create <folder> | listing time <folder> [runs]\n", stderr);
    return 3;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        const QTemporaryDir dir;
        if (!dir.isValid() || !createLayout(dir.path()))
            return 1;
        return timeLists(dir.path(), DefaultRuns);
    }
    if (args.size() == 2 && args.at(0) == "create"_L1)
        return createLayout(args.at(1)) ? 0 : 1;
    if ((args.size() == 2 || args.size() == 3) && args.at(0) == "time"_L1) {
        bool ok = true;
        const int runs = args.size() == 3 ? args.at(2).toInt(&ok) : DefaultRuns;
        if (!ok || runs < 1)
            return usage();
        return timeLists(args.at(1), runs);
    }
    return usage();
}
