// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save's folder and two files, as each system provides them (linux/, windows/): the
// selected file, read only if it is a regular file, and the ".new" file, written aside and put
// in place whole. What fails says so as a SaveFailure, the save's one failure value.

#include "platform/bytestreams.h"
#include "platform/contentchecksum.h"
#include "platform/savefailure.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

// Which file system object a file is: the same for every name and link that leads to it.
struct FileIdentity
{
    quint64 volume = 0;
    quint64 index = 0;
    quint64 indexHigh = 0; // of a 128-bit file identifier (Windows' ReFS); 0 elsewhere
    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

// The folder a save works in, opened once. The selected file is opened in it and the ".new"
// is made, checked and put in place in it, never by a path again, so that both stay in this
// one folder whatever happens to its path meanwhile (a folder swapped for a link, say).
class SaveFolder
{
    Q_DISABLE_COPY(SaveFolder)

public:
    SaveFolder();
    ~SaveFolder();

    // Every link on the way is followed under the same rules as a link in a file's place.
    // Nothing when it is open; an OpenInput failure otherwise.
    std::optional<SaveFailure> open(const QString &path);
    QString path() const { return m_path; } // as given, for messages

    struct State; // the system's handle, for the files opened in it
    const State &state() const { return *m; }

private:
    QString m_path;
    std::unique_ptr<State> m;
};

// The selected strength file. Anything but a regular file, its links followed, is refused
// without being opened for reading: a FIFO would block the window and a device could feed
// endless data. Another user's link is only followed to a file that user may read. Only the
// bytes it had when opened are read, so a file that keeps growing cannot keep the save running.
class InputFile final : public ByteSource
{
    Q_DISABLE_COPY(InputFile)

public:
    InputFile();
    ~InputFile() override;

    // Nothing when it is open; an OpenInput failure otherwise.
    std::optional<SaveFailure> open(const SaveFolder &folder, const QString &name);

    qint64 size() const { return m_opened.size; } // when it was opened
    FileIdentity identity() const { return m_identity; }

    // Up to `max` bytes; 0 once the size it had when opened has been read (or at its end),
    // -1 on failure (error()).
    qint64 read(char *into, qint64 max) override;
    SystemError error() const { return m_error; }

    // How the file differs, once read, from when it was opened: its size, its modification or
    // change time, or which file its name in the folder names. A failure to look counts as
    // Replaced.
    InputChange changeSinceOpen() const;

    // A file changed just before the save began may change again within the same tick of its
    // time stamps (up to two seconds on FAT), and its size and times would not show it. Such a
    // file is read a second time and compared by content: Same when it still holds what was
    // read. `keepGoing` is asked between blocks; false stops the reading.
    enum class Confirmed { Same, Differs, Stopped, Failed };
    Confirmed confirmContent(const std::function<bool()> &keepGoing);

    // What a change of the file shows in; times in the system's own units, and the clock in
    // the same units when the stamp was taken.
    struct Stamp
    {
        qint64 size = 0;
        qint64 modified = 0;
        qint64 changed = 0;
        qint64 takenAt = 0;
    };

    struct State; // the system's handle and what it knew of the file when it opened it
    const State &state() const { return *m; }

private:
    // The system's side of it (linux/inputfile.cpp, windows/inputfile.cpp): opening, which
    // sets m_opened and m_identity; one read, -1 with m_error set; a read from an offset; the
    // stamp now, and whether the name still names the file opened (nothing when either cannot
    // be looked at).
    std::optional<SaveFailure> openFile(const SaveFolder &folder, const QString &name);
    qint64 readFile(char *into, qint64 max);
    qint64 readFileAt(qint64 offset, char *into, qint64 max);
    std::optional<Stamp> stampNow(bool &nameStillNamesIt) const;
    static qint64 stampTicksPerSecond();

    bool changedTooRecentlyToTell() const;

    std::unique_ptr<State> m;
    Stamp m_opened;
    FileIdentity m_identity;
    qint64 m_bytesRead = 0;
    bool m_longerThanOpened = false;
    std::optional<ContentChecksum> m_checksum; // of what was read, when it must be confirmed
    SystemError m_error;
};

// When ReplacementFile::commit() makes the new name durable: at once, with a sync of the folder
// for this one file, or later, by the caller, with one sync for all the files it put in that
// folder meanwhile (UnsyncedFolder).
enum class FolderSync { Now, ByCaller };

// The folder a commit(FolderSync::ByCaller) put its file in, the new entry not yet synced. Held
// open, so that the sync reaches the folder the name was made in whatever its path names by
// then; the same folder reached by several saves has the same identity.
class UnsyncedFolder
{
    Q_DISABLE_COPY(UnsyncedFolder)

public:
    struct State;
    UnsyncedFolder(std::unique_ptr<State> state, FileIdentity identity);
    ~UnsyncedFolder();

    FileIdentity identity() const { return m_identity; }
    // Makes every name made in the folder until now durable. Nothing when that is done; a
    // SyncFolder failure otherwise.
    std::optional<SaveFailure> sync() const;

private:
    std::unique_ptr<State> m;
    FileIdentity m_identity;
};

// The ".new" file. Written in the folder where it will live, without a name or under a temporary
// one, and put in place by commit() only: until then an earlier file of that name stays as it
// was, and a failed or abandoned save leaves nothing behind. A temporary file that a save
// killed on its way left is removed by a later save there. It only ever replaces a regular
// file, and it is never readable by anyone who could not read the selected file.
class ReplacementFile final : public ByteSink
{
    Q_DISABLE_COPY(ReplacementFile)

public:
    ReplacementFile();
    ~ReplacementFile() override; // discards what is not committed

    // Prepares to write `name` in `folder`: a link there is followed to the regular file it
    // leads to, which is what gets replaced (the link stays). A replaced file keeps its
    // permissions (on Linux its ACL entries and the user's attributes too), narrowed to those
    // who may read `input`. Nothing when it is ready; an OpenOutput failure otherwise.
    std::optional<SaveFailure> open(const SaveFolder &folder, const QString &name,
                                    const InputFile &input);

    // The folder where commit() replaces or creates the file: `folder`, or where a link leads.
    QString targetFolder() const;
    // Whether open() found an earlier regular file to replace, other than the selected file,
    // whether or not it may be replaced.
    bool foundEarlierFile() const;

    // False on failure (failure()). Finished blocks start on their way to the disk meanwhile.
    bool write(const char *bytes, qint64 count) override;
    bool writeGathered(const ByteRange *ranges, qsizetype count) override;
    SaveFailure failure() const; // of the last write

    // Forces the bytes onto the disk, puts the file in place and makes its name durable.
    // Nothing when all that is done. A WriteOutput failure: nothing changed at the target,
    // unless stranded() names files; after one whose system error is transient, commit() may
    // be called again, and then only tries again to put the file in place. A SyncFolder
    // failure: the file is in place, but a power loss may still lose it. With
    // FolderSync::ByCaller the folder is left unsynced where it can be synced later
    // (unsyncedFolder()), and synced at once where it cannot.
    std::optional<SaveFailure> commit(FolderSync folderSync = FolderSync::Now);
    // After a commit that left the folder's sync to the caller: that folder. Empty otherwise.
    std::shared_ptr<UnsyncedFolder> unsyncedFolder() const;

    // Asked once, after the save has failed. Where the files are after a failure that left the
    // earlier file away from its name and could put back neither it nor the new one (only
    // Windows' ReplaceFileW can half finish): both kept, each under its own name in the target
    // folder. Or the new content alone, under a temporary name that the folder would not let
    // the save remove. Empty otherwise.
    struct Stranded
    {
        QString newContent;
        QString earlier;
    };
    Stranded stranded() const;

    struct State;

private:
    // Short and fixed in length, so that it fits wherever the ".new" name fits; tried again
    // with another at most this often while the name is taken.
    static QString temporaryName();
    static constexpr int TemporaryNameAttempts = 100;

    std::unique_ptr<State> m;
};
