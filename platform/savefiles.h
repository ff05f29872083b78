// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save's two files, as each system provides them (linux/savefiles.cpp,
// windows/savefiles.cpp): the selected file, read only if it is a regular file, and the ".new"
// file, written aside and put in place whole. Failures carry the system's error number.

#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>

// What a file system object is. A link counts as what it leads to, except where a caller
// looks at the link itself.
enum class FileType { Missing, Regular, Folder, Fifo, Socket, CharacterDevice, BlockDevice, Other };

// A failed system call: its errno value (Windows errors are mapped to the same numbers), the
// system's own words for it, which may be empty, and the system's own number.
struct SystemError
{
    static constexpr int NoErrno = -1; // a Windows error without an errno value

    int number = 0;
    QString words;
    int systemNumber = 0; // the Windows error; on Linux the errno value again

    bool failed() const { return number != 0; }
};

// The selected strength file. Anything but a regular file, its links followed, is refused
// without being opened for reading: a FIFO would block the window and a device could feed
// endless data. Only the bytes it had when opened are read, so a file that keeps growing
// cannot keep the save running.
class InputFile
{
public:
    InputFile();
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    struct Opened
    {
        SystemError error;
        FileType type = FileType::Regular; // what was found instead of a regular file
        bool succeeded() const { return !error.failed() && type == FileType::Regular; }
    };
    Opened open(const QString &path);

    qint64 size() const { return m_opened.size; } // when it was opened

    // Up to `max` bytes; 0 once the size it had when opened has been read (or at its end),
    // -1 on failure (error()).
    qint64 read(char *into, qint64 max);
    qint64 bytesRead() const { return m_bytesRead; }
    SystemError error() const { return m_error; }

    // How the file differs, once read, from when it was opened: its size, its modification or
    // change time, or which file its path names. A failure to look counts as Replaced.
    struct Change
    {
        enum Kind { None, Shorter, Longer, Modified, Replaced };
        Kind kind = None;
        qint64 sizeNow = 0;
    };
    Change changeSinceOpen() const;

    // What a change of the file shows in; times in the system's own units.
    struct Stamp
    {
        qint64 size = 0;
        qint64 modified = 0;
        qint64 changed = 0;
    };

    struct State;

private:
    friend class ReplacementFile; // which must not replace this very file

    // The system's side of it (linux/savefiles.cpp, windows/savefiles.cpp): opening, which
    // sets m_opened; one read, -1 with m_error set; the stamp now, and whether the path still
    // names the file opened (nothing when either cannot be looked at).
    Opened openFile(const QString &path);
    qint64 readFile(char *into, qint64 max);
    std::optional<Stamp> stampNow(bool &pathStillNamesIt) const;

    std::unique_ptr<State> m;
    Stamp m_opened;
    qint64 m_bytesRead = 0;
    bool m_longerThanOpened = false;
    SystemError m_error;
};

// The ".new" file. Written under a short temporary name in the folder where it will live and
// put in place by commit() only: until then an earlier file of that name stays as it was, and
// a failed or abandoned save leaves nothing behind. It only ever replaces a regular file.
class ReplacementFile
{
public:
    ReplacementFile();
    ~ReplacementFile(); // discards what is not committed
    ReplacementFile(const ReplacementFile &) = delete;
    ReplacementFile &operator=(const ReplacementFile &) = delete;

    // Why open() refused to write, besides a failed system call.
    enum class Refusal {
        None,
        NotRegular,           // a folder, FIFO, device or socket is in the way (type says which)
        DanglingLink,         // a link in the way leads nowhere
        ForeignLinkInSharedFolder, // a link owned by another user in a folder everyone may write to
        ForeignLinkBeyondItsOwner, // another user's link to a file that user may not write
        LeadsToInput,         // replacing it would replace the selected file
        NotWritable,          // the existing file may not be written (error says why)
        FolderRefusesNewFile, // no new file may be made in the folder (error says why)
        Failed,               // a system call failed (error says why)
    };
    struct Opened
    {
        Refusal refusal = Refusal::None;
        FileType type = FileType::Regular;
        SystemError error;
        bool throughLink = false; // what was refused is where a link at `path` leads
        bool succeeded() const { return refusal == Refusal::None; }
    };
    // Prepares to write `path`: a link there is followed to the regular file it leads to, which
    // is what gets replaced (the link stays). A replaced file keeps its permissions.
    Opened open(const QString &path, const InputFile &input);

    // The file that commit() replaces or creates: `path`, or where its link leads.
    QString targetPath() const;

    // False on failure (error()). Finished blocks start on their way to the disk meanwhile.
    bool write(const char *bytes, qint64 count);

    enum class Commit { Done, NotWritten, NotDurable };
    // Forces the bytes onto the disk, puts the file in place and makes its name durable.
    // NotWritten: nothing changed at the target; NotDurable: the file is in place, but the
    // folder could not be synced, so a power loss may still lose it.
    Commit commit();
    SystemError error() const;

    struct State;

private:
    std::unique_ptr<State> m;
};
