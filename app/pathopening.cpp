// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pathopening.h"

#include "browse/filelist.h"
#include "browse/folderlist.h"
#include "platform/folders.h"
#include "platform/namematching.h"
#include "platform/paths.h"
#include "rewrite/savemessages.h"
#include "rewrite/savereasons.h"

using namespace Qt::StringLiterals;

namespace {

QStringList openFolder(const QString &folder, FolderList &Dirverzeichnis)
{
    if (const SystemError error = Dirverzeichnis.setPath(folder); error.failed())
        return folderUnreadableWords(folder, error);
    return {};
}

QStringList openFile(const QString &file, FolderList &Dirverzeichnis, FileList &Fildatei)
{
    const FolderAndName parts = splitPath(file);
    // Known from the name alone, before the lists change.
    if (sortedMatchingNames({parts.name}, Fildatei.pattern()).isEmpty())
        return {u"Die Datei „%1“ ist keine Stärke-Konfigurationsdatei: Die Dateiliste zeigt nur "
                "Dateien, deren Name auf „%2“ passt."_s.arg(shownPath(file), Fildatei.pattern())};
    if (QStringList problem = openFolder(parts.folder, Dirverzeichnis); !problem.isEmpty())
        return problem;
    if (Fildatei.selectFileName(parts.name))
        return {};
    return {u"„%1“ ist keine gewöhnliche Datei. Die Dateiliste zeigt nur gewöhnliche "
            "Dateien."_s.arg(shownPath(file))};
}

} // namespace

QStringList openInLists(const QString &path, FolderList &Dirverzeichnis, FileList &Fildatei)
{
    // As the companion takes a path: on Windows as Windows takes a typed one.
    const TypedPath typed = typedPath(path);
    if (typed.device)
        return {deviceNameWords(typed.path)};
    const QString target = cleanFolderPath(typed.path);
    const PathFacts facts = lookAt(target);
    if (facts.error.failed())
        return {u"„%1“ lässt sich nicht öffnen."_s.arg(shownPath(target.isEmpty() ? path : target)),
                germanReason(facts.error)};
    return facts.isFolder ? openFolder(target, Dirverzeichnis)
                          : openFile(target, Dirverzeichnis, Fildatei);
}

QString startFolder(const QString &programFolder, const QString &userFolder)
{
    if (userFolder.isEmpty()
        || (!programFolder.isEmpty()
            && !readFolder(programFolder, StrengthFilePattern).files.isEmpty()))
        return programFolder;
    return userFolder;
}
