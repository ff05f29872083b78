// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save's two files, as each system provides them (linux/savefiles.cpp,
// windows/savefiles.cpp): the selected file, read only if it is a regular file, and the ".new"
// file, written aside and put in place whole. Failures carry the system's error number.

#include "platform/bytestreams.h"
#include "platform/contentchecksum.h"
#include "platform/systemerror.h"

#include <QString>
#include <QtGlobal>

#include <QByteArray>

#include <functional>
#include <memory>
#include <optional>

// What a file system object is. A link counts as what it leads to, except where a caller
// looks at the link itself.
enum class FileType { Missing, Regular, Folder, Fifo, Socket, CharacterDevice, BlockDevice, Other };

// Which file system object a file is: the same for every name and link that leads to it.
struct FileIdentity
{
    quint64 volume = 0;
    quint64 index = 0;
    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

// A folder entry: which folder holds it, and its name there. A link's entry is not the entry
// it leads to; two hard links are two entries of one file.
struct FolderEntry
{
    FileIdentity folder;
    QByteArray name; // the system's bytes
    friend bool operator==(const FolderEntry &, const FolderEntry &) = default;
};

// Why a file was refused, besides a failed system call.
enum class Refusal {
    None,
    NotRegular,           // a folder, FIFO, device or socket is in the way (type says which)
    DanglingLink,         // a link in the way leads nowhere
    ForeignLinkInSharedFolder, // a link owned by another user in a folder everyone may write to
    ForeignLinkBeyondItsOwner, // another user's link to a file that user may not read or write
    LeadsToInput,         // replacing it would replace the selected file
    NotWritable,          // the existing file may not be written (error says why)
    ReadOnly,             // the existing file is marked read-only (Windows)
    FolderRefusesNewFile, // no new file may be made in the folder (error says why)
    Failed,               // a system call failed (error says why)
};

// What opening a folder or a file came to: done, refused and why, or a failed system call.
struct Opened
{
    Refusal refusal = Refusal::None;
    SystemError error; // for Failed, NotWritable and FolderRefusesNewFile
    FileType type = FileType::Regular; // for NotRegular: what was found instead
    bool throughLink = false; // what was refused is where a link leads
    bool succeeded() const { return refusal == Refusal::None; }
};

// Who may read a file where the system says so with an owner, a group and mode bits.
struct FilePermissions
{
    quint32 owner = 0;
    quint32 group = 0;
    quint32 mode = 0;
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
    Opened open(const QString &path);
    QString path() const; // as given, for messages

    struct State; // the system's handle, for the files opened in it
    const State &state() const { return *m; }

private:
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

    Opened open(const SaveFolder &folder, const QString &name);

    qint64 size() const { return m_opened.size; } // when it was opened
    FileIdentity identity() const { return m_identity; }
    // The entry its links lead to, where replacing a file would change it.
    FolderEntry entry() const { return m_entry; }
    FilePermissions permissions() const { return m_permissions; }

    // Up to `max` bytes; 0 once the size it had when opened has been read (or at its end),
    // -1 on failure (error()).
    qint64 read(char *into, qint64 max) override;
    qint64 bytesRead() const { return m_bytesRead; }
    SystemError error() const { return m_error; }

    // How the file differs, once read, from when it was opened: its size, its modification or
    // change time, or which file its name in the folder names. A failure to look counts as
    // Replaced.
    struct Change
    {
        enum Kind { None, Shorter, Longer, Modified, Replaced };
        Kind kind = None;
        qint64 sizeNow = 0;
    };
    Change changeSinceOpen() const;

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

    struct State;

private:
    // The system's side of it (linux/savefiles.cpp, windows/savefiles.cpp): opening, which
    // sets m_opened, m_identity, m_entry and m_permissions; one read, -1 with m_error set; a
    // read from an offset; the stamp now, and whether the name still names the file opened
    // (nothing when either cannot be looked at).
    Opened openFile(const SaveFolder &folder, const QString &name);
    qint64 readFile(char *into, qint64 max);
    qint64 readFileAt(qint64 offset, char *into, qint64 max);
    std::optional<Stamp> stampNow(bool &nameStillNamesIt) const;
    static qint64 stampTicksPerSecond();

    bool changedTooRecentlyToTell() const;

    std::unique_ptr<State> m;
    Stamp m_opened;
    FileIdentity m_identity;
    FolderEntry m_entry;
    FilePermissions m_permissions;
    qint64 m_bytesRead = 0;
    bool m_longerThanOpened = false;
    std::optional<ContentChecksum> m_checksum; // of what was read, when it must be confirmed
    SystemError m_error;
};

// The ".new" file. Written under a short temporary name in the folder where it will live and
// put in place by commit() only: until then an earlier file of that name stays as it was, and
// a failed or abandoned save leaves nothing behind. It only ever replaces a regular file, and
// it is never readable by anyone who could not read the selected file.
class ReplacementFile final : public ByteSink
{
    Q_DISABLE_COPY(ReplacementFile)

public:
    ReplacementFile();
    ~ReplacementFile() override; // discards what is not committed

    // Prepares to write `name` in `folder`: a link there is followed to the regular file it
    // leads to, which is what gets replaced (the link stays). A replaced file keeps its
    // permissions, narrowed to those who may read `input`.
    Opened open(const SaveFolder &folder, const QString &name, const InputFile &input);

    // The folder where commit() replaces or creates the file: `folder`, or where a link leads.
    QString targetFolder() const;

    // False on failure (error()). Finished blocks start on their way to the disk meanwhile.
    bool write(const char *bytes, qint64 count) override;
    bool writeGathered(const ByteRange *ranges, qsizetype count) override;

    enum class Commit { Done, NotWritten, NotDurable };
    // Forces the bytes onto the disk, puts the file in place and makes its name durable.
    // NotWritten: nothing changed at the target, unless stranded() names files; NotDurable: the
    // file is in place, but the folder could not be synced, so a power loss may still lose it.
    // After NotWritten with a transient error() it may be called again, and then only tries
    // again to put the file in place.
    Commit commit();
    SystemError error() const;

    // Where the files are after a failure that left the earlier file away from its name and
    // could put back neither it nor the new one (only Windows' ReplaceFileW can half finish):
    // both kept, each under its own name in the target folder. Empty otherwise.
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
