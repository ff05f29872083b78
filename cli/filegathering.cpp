// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/filegathering.h"

#include "cli/interruption.h"

#include "platform/console.h"
#include "platform/filenames.h"
#include "platform/folders.h"
#include "platform/namematching.h"
#include "platform/paths.h"
#include "rewrite/savemessages.h"

#include <QDir>

#include <set>

using namespace Qt::StringLiterals;

namespace {

class Gatherer
{
public:
    explicit Gatherer(bool recursive) : m_recursive(recursive) {}

    // The program carries paths with "/" (platform/paths.h); messages show the system's
    // separators again, so a path reads as given.
    void argument(const QString &asGiven)
    {
        const TypedPath typed = typedPath(QDir::fromNativeSeparators(asGiven));
        const QString &path = typed.path;
        if (typed.device)
            return settled(path, FileOutcome::End::Failed, deviceNameWords(path), {});
        if (!ShellExpandsWildcards && hasWildcard(path))
            return expand(path);
        const PathFacts facts = lookAt(path);
        if (!facts.error.failed() && facts.isFolder) {
            // A file taken once already, by name or through another folder, still lies here.
            const qsizetype jobsBefore = m_jobs.size();
            const qsizetype filesBefore = m_filesMet;
            if (folder(path, facts.identity) && m_jobs.size() == jobsBefore
                && m_filesMet == filesBefore)
                settled(path, FileOutcome::End::Done, {},
                        u"Im Ordner „%1“ liegt keine Datei *_sp*.cfg."_s.arg(shownPath(path)));
            return;
        }
        // Anything else goes to the save (or the reading), which says in its own words what
        // is wrong with a missing file, a FIFO or a device.
        const FolderAndName given = splitPath(path);
        if (given.name.isEmpty()) // "missing/": a folder was meant
            unreadableFolder(path, facts.error);
        else
            file(path, lookAt(given.folder).identity, given.name, facts);
    }

    QList<FileJob> jobs() const { return m_jobs; }

private:
    // "*" or "?" in the last part of a path: no Windows name holds either.
    static bool hasWildcard(const QString &path)
    {
        const QString name = splitPath(path).name;
        return name.contains(u'*') || name.contains(u'?');
    }

    // As a Linux shell would: the pattern's files and folders, each in its place as if named,
    // matched ignoring case as the file list matches, and hidden ones left out as there. The
    // names keep the folder as the user wrote it.
    void expand(const QString &pattern)
    {
        const FolderAndName parts = splitPath(pattern);
        const QString written = pattern.left(pattern.size() - parts.name.size());
        const FolderEntries entries = readFolder(parts.folder);
        if (entries.error.failed())
            return unreadableFolder(written.isEmpty() ? parts.folder : written, entries.error);
        const QStringList names = sortedMatchingNames(entries.files + entries.folders, parts.name);
        if (names.isEmpty())
            return settled(pattern, FileOutcome::End::Failed,
                           u"Auf „%1“ passt keine Datei und kein Ordner."_s.arg(shownPath(pattern)),
                           {});
        for (const QString &name : names)
            argument(written + name);
    }

    // False when the folder had been read before.
    bool folder(const QString &path, const QString &identity)
    {
        // A stop asked for during a long walk through subfolders ends the walk too.
        if (stopRequested() || (!identity.isEmpty() && !m_foldersRead.insert(identity).second))
            return false;
        const FolderEntries entries = readFolder(path);
        if (entries.error.failed()) {
            unreadableFolder(path, entries.error);
            return true;
        }
        for (const QString &name : sortedMatchingNames(entries.files, StrengthFilePattern)) {
            const QString filePath = joinPath(path, name);
            file(filePath, identity, name, lookAt(filePath));
        }
        if (!m_recursive)
            return true;
        QStringList folders = entries.folders;
        sortByName(folders);
        for (const QString &name : std::as_const(folders)) {
            const QString subfolder = joinPath(path, name);
            folder(subfolder, lookAt(subfolder).identity);
        }
        return true;
    }

    void unreadableFolder(const QString &path, const SystemError &error)
    {
        settled(path, FileOutcome::End::Failed,
                folderUnreadableWords(path, error).join(u' '),
                {});
    }

    // The same file given twice, under names alike but for case where the folder ignores case,
    // would have two saves race for one .new. Names that fold alike are one file only where the
    // system says so: in a case-sensitive folder "A_sp.cfg" and "a_sp.cfg" are two files, with
    // two .new files.
    void file(const QString &path, const QString &folderIdentity, const QString &name,
              const PathFacts &facts)
    {
        ++m_filesMet;
        // Where the folder cannot be looked at, the save will say why; nothing to compare.
        const QString foldedName = FileNameCase == Qt::CaseSensitive ? name : name.toCaseFolded();
        if (!folderIdentity.isEmpty()
            && !m_filesTaken.insert(folderIdentity + u'/' + foldedName + u'/' + facts.identity)
                    .second)
            return;
        m_jobs.append(FileJob{path, facts.size, false, {}});
    }

    void settled(const QString &path, FileOutcome::End end, const QString &failure,
                 const QString &note)
    {
        m_jobs.append(FileJob{path, 0, true, FileOutcome{end, {}, failure, note, {}}});
    }

    bool m_recursive;
    QList<FileJob> m_jobs;
    qsizetype m_filesMet = 0; // named or found, taken or not
    std::set<QString> m_foldersRead;
    std::set<QString> m_filesTaken;
};

} // namespace

QList<FileJob> gatherFiles(const QStringList &paths, bool recursive)
{
    Gatherer gatherer(recursive);
    for (const QString &path : paths)
        gatherer.argument(path);
    return gatherer.jobs();
}
