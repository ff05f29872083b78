// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/filegathering.h"

#include "platform/filenames.h"
#include "platform/folders.h"
#include "platform/namematching.h"
#include "rewrite/savereasons.h"

#include <QDir>

#include <set>

using namespace Qt::StringLiterals;

namespace {

QString joined(const QString &folder, const QString &name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

class Gatherer
{
public:
    explicit Gatherer(bool recursive) : m_recursive(recursive) {}

    void argument(const QString &path)
    {
        const PathFacts facts = lookAt(path);
        if (facts.errorNumber == 0 && facts.isFolder) {
            const qsizetype before = m_jobs.size();
            if (folder(path, facts.identity) && m_jobs.size() == before)
                settled(path, FileOutcome::End::Done, {},
                        u"Im Ordner „%1“ liegt keine Datei *_sp*.cfg."_s.arg(shownPath(path)));
            return;
        }
        // Anything else goes to the save (or the reading), which says in its own words what
        // is wrong with a missing file, a FIFO or a device.
        const QString given = QDir::fromNativeSeparators(path);
        const qsizetype slash = given.lastIndexOf(u'/');
        const QString folderPath = slash < 0 ? u"."_s : slash == 0 ? u"/"_s : given.left(slash);
        const QString name = given.sliced(slash + 1);
        if (name.isEmpty()) // "missing/": a folder was meant
            unreadableFolder(path, facts.errorNumber);
        else
            file(slash < 0 ? "./"_L1 + path : path, lookAt(folderPath).identity, name, facts.size);
    }

    QList<FileJob> jobs() const { return m_jobs; }

private:
    // False when the folder had been read before.
    bool folder(const QString &path, const QString &identity)
    {
        if (!identity.isEmpty() && !m_foldersRead.insert(identity).second)
            return false;
        const FolderEntries entries = readFolder(path);
        if (entries.errorNumber != 0) {
            unreadableFolder(path, entries.errorNumber);
            return true;
        }
        for (const QString &name : sortedMatchingNames(entries.files, StrengthFilePattern)) {
            const QString filePath = joined(path, name);
            file(filePath, identity, name, lookAt(filePath).size);
        }
        if (!m_recursive)
            return true;
        QStringList folders = entries.folders;
        sortByName(folders);
        for (const QString &name : std::as_const(folders)) {
            const QString subfolder = joined(path, name);
            folder(subfolder, lookAt(subfolder).identity);
        }
        return true;
    }

    void unreadableFolder(const QString &path, int errorNumber)
    {
        settled(path, FileOutcome::End::Failed,
                u"Der Ordner „%1“ konnte nicht gelesen werden. %2"_s.arg(
                    shownPath(path), germanReason(SystemError{errorNumber, {}})),
                {});
    }

    void file(const QString &path, const QString &folderIdentity, const QString &name,
              qint64 size)
    {
        // Where the folder cannot be looked at, the save will say why; nothing to compare.
        const QString foldedName = FileNameCase == Qt::CaseSensitive ? name : name.toCaseFolded();
        if (!folderIdentity.isEmpty()
            && !m_filesTaken.insert(folderIdentity + u'/' + foldedName).second)
            return;
        m_jobs.append(FileJob{path, size, false, {}});
    }

    void settled(const QString &path, FileOutcome::End end, const QString &failure,
                 const QString &note)
    {
        m_jobs.append(FileJob{path, 0, true, FileOutcome{end, {}, failure, note}});
    }

    bool m_recursive;
    QList<FileJob> m_jobs;
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
