// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/savefiles.h"

#include "platform/paths.h"
#include "platform/windows/systemcalls.h"

using namespace Qt::StringLiterals;

namespace {

FileType fileTypeOf(HANDLE file)
{
    switch (GetFileType(file)) {
    case FILE_TYPE_DISK:
        return FileType::Regular;
    case FILE_TYPE_PIPE:
        return FileType::Fifo;
    case FILE_TYPE_CHAR:
        return FileType::CharacterDevice;
    default:
        return FileType::Other;
    }
}

qint64 ticks(const FILETIME &time)
{
    return qint64((quint64(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

qint64 clockNow()
{
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    return ticks(now);
}

// The file's identity and what a change of it shows in.
bool stampOf(HANDLE file, BY_HANDLE_FILE_INFORMATION &info, InputFile::Stamp &stamp)
{
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandle(file, &info)
        || !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic))
        return false;
    stamp = {(qint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow, ticks(info.ftLastWriteTime),
             basic.ChangeTime.QuadPart, clockNow()};
    return true;
}

// All 128 bits of the file's identifier where the file system has them (systemcalls.h).
FileIdentity identityOf(HANDLE file)
{
    const std::optional<ObjectId> id = objectIdOf(file);
    return id ? FileIdentity{id->volume, id->low, id->high} : FileIdentity{};
}

// Which object a path names now, links followed; none when it cannot be opened.
FileIdentity identityAt(const std::wstring &path)
{
    const Handle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.isOpen() ? identityOf(file.get()) : FileIdentity{};
}

using Step = SaveFailure::Step;

SaveFailure lastFailure(Step step)
{
    return SaveFailure::ofSystem(step, lastSystemError());
}

} // namespace

// ---- SaveFolder -------------------------------------------------------------------------------

namespace {

// The path Windows ends at for an open handle, links and junctions resolved; empty when it
// cannot say.
QString finalPath(HANDLE handle)
{
    wchar_t path[32768];
    const DWORD length = GetFinalPathNameByHandleW(handle, path, DWORD(std::size(path)), 0);
    return length > 0 && length < std::size(path) ? QString::fromWCharArray(path, int(length))
                                                   : QString();
}

// The name the folder holds for what `path` leads to, a link itself rather than its target. It
// may be written otherwise than the last name of `path`: Windows finds names ignoring case, and
// so does Wine in a Linux folder, where "q_sp.cfg.new" and "Q_sp.cfg.new" are two names. Empty
// when it cannot say.
QString nameInFolder(const std::wstring &path)
{
    const Handle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    const QString found = file.isOpen() ? finalPath(file.get()) : QString();
    return found.sliced(found.lastIndexOf(u'\\') + 1);
}

} // namespace

// Windows has no opening of a file relative to a folder handle; instead the folder is held
// open without leave to delete it, which keeps it from being renamed or removed while the save
// works in it, and each file opened or made by its path is checked to lie in it: a junction on
// the way, pointed elsewhere meanwhile, could otherwise lead the path into another folder.
// Windows gives the final paths with every name as it is: "The final path is the path that is
// returned when a path is fully resolved" (Microsoft, GetFinalPathNameByHandleW), and a name
// ending in a dot or space, which only the "\\?\" form reaches, is the file system's own
// ("Naming Files, Paths, and Namespaces": the prefix turns off the trimming that Win32 path
// normalisation does). Wine trims trailing dots and spaces from the names of final paths, the
// inner ones otherwise than the last, so that under Wine a file below a folder "Liga " seems to
// lie elsewhere and the save is refused as if its folder had moved; the tests skip exactly there.
struct SaveFolder::State
{
    Handle folder;

    bool holds(HANDLE file) const
    {
        QString folderPath = finalPath(folder.get());
        const QString filePath = finalPath(file);
        if (folderPath.isEmpty() || filePath.isEmpty())
            return true; // nothing to compare: as good as a path can be
        if (!folderPath.endsWith(u'\\'))
            folderPath += u'\\';
        return filePath.startsWith(folderPath, Qt::CaseInsensitive)
            && !filePath.sliced(folderPath.size()).contains(u'\\');
    }
};

SaveFolder::SaveFolder() : m(std::make_unique<State>()) {}
SaveFolder::~SaveFolder() = default;

std::optional<SaveFailure> SaveFolder::open(const QString &path)
{
    m_path = path;
    const std::wstring native = nativePath(path);
    const DWORD shared = FILE_SHARE_READ | FILE_SHARE_WRITE;
    m->folder = Handle(CreateFileW(native.c_str(), FILE_LIST_DIRECTORY, shared, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!m->folder.isOpen() && GetLastError() == ERROR_ACCESS_DENIED)
        m->folder = Handle(CreateFileW(native.c_str(), FILE_READ_ATTRIBUTES, shared, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!m->folder.isOpen())
        return lastFailure(Step::OpenInput);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(m->folder.get(), &info))
        return lastFailure(Step::OpenInput);
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return SaveFailure::ofSystem(Step::OpenInput, systemError(ERROR_DIRECTORY));
    return std::nullopt;
}

// ---- InputFile --------------------------------------------------------------------------------

struct InputFile::State
{
    std::wstring path;
    Handle file;
};

InputFile::InputFile() : m(std::make_unique<State>()) {}
InputFile::~InputFile() = default;

qint64 InputFile::stampTicksPerSecond()
{
    return 10'000'000; // FILETIME counts 100 ns
}

std::optional<SaveFailure> InputFile::openFile(const SaveFolder &folder, const QString &name)
{
    m->path = nativePath(joinPath(folder.path(), name));
    const DWORD attributes = GetFileAttributesW(m->path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return lastFailure(Step::OpenInput);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return SaveFailure::notRegular(Step::OpenInput, FileType::Folder);
    m->file = Handle(CreateFileW(m->path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!m->file.isOpen())
        return lastFailure(Step::OpenInput);
    if (const FileType type = fileTypeOf(m->file.get()); type != FileType::Regular) {
        m->file.reset();
        return SaveFailure::notRegular(Step::OpenInput, type);
    }
    if (!folder.state().holds(m->file.get()))
        return SaveFailure::refused(Step::OpenInput, Refusal::FolderMoved);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!stampOf(m->file.get(), info, m_opened))
        return lastFailure(Step::OpenInput);
    m_identity = identityOf(m->file.get());
    return std::nullopt;
}

qint64 InputFile::readFile(char *into, qint64 max)
{
    DWORD got = 0;
    if (!ReadFile(m->file.get(), into, DWORD(std::min<qint64>(max, 1 << 30)), &got, nullptr)) {
        m_error = lastSystemError();
        return -1;
    }
    return got;
}

qint64 InputFile::readFileAt(qint64 offset, char *into, qint64 max)
{
    OVERLAPPED at{};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(m->file.get(), into, DWORD(std::min<qint64>(max, 1 << 30)), &got, &at)
        && GetLastError() != ERROR_HANDLE_EOF) {
        m_error = lastSystemError();
        return -1;
    }
    return got;
}

std::optional<InputFile::Stamp> InputFile::stampNow(bool &nameStillNamesIt) const
{
    BY_HANDLE_FILE_INFORMATION info{};
    Stamp stamp;
    if (!stampOf(m->file.get(), info, stamp))
        return std::nullopt;
    nameStillNamesIt = identityAt(m->path) == m_identity;
    return stamp;
}

// ---- ReplacementFile --------------------------------------------------------------------------

// The earlier file of the target's name is replaced through ReplaceFileW, which keeps its
// attributes and access rights, with a backup name, so that none of its documented half-done
// failures leaves the earlier file without a name (Microsoft, ReplaceFileW: with a backup name,
// ERROR_UNABLE_TO_MOVE_REPLACEMENT leaves both files under their names, and
// ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 leaves the earlier file under the backup name and the new
// one under its own). Where ReplaceFileW is refused for good (it needs WRITE_DAC, which some
// network shares withhold) or unsupported (some redirected folders), a replacing move puts the
// file in place, and the earlier file's attributes are set on it again; its access rights cannot
// be, without WRITE_DAC. A refusal that a scanner holding a file for a moment causes is tried
// again instead, as the save core tries every passing failure again.
//
// The temporary file is marked for deletion through its handle as soon as it is made, and the
// mark is taken off only just before it is put in place: whatever ends the save first (a failure,
// a stop, the program's end, a folder renamed meanwhile so that its old path names nothing), the
// system deletes the file with the handle's closing, wherever the file is now: "A file marked for
// deletion is not actually deleted until all open handles for the file object have been closed"
// (Microsoft, FILE_DISPOSITION_INFORMATION). Wine deletes it by the name it was opened under.
struct ReplacementFile::State
{
    QString folder;
    FileIdentity folderIdentity; // what `folder` named when the temporary file was made there
    QString target;
    QString targetName;
    FileIdentity input; // the selected file's
    bool targetExisted = false;
    std::wstring temporary; // empty when there is none
    QString temporaryPath;  // the same, as the program carries paths
    Handle file;
    bool shown = false; // no longer hidden
    SaveFailure failure;
    Stranded stranded;
    std::shared_ptr<UnsyncedFolder> unsynced; // once committed without the folder's flush

    std::optional<SaveFailure> anotherFilesOutput(Step step) const;
    bool placed();
    bool placedAsNew();
    bool replaceTarget();
    bool move(const std::wstring &from, const std::wstring &to);
    bool moveKeepingAttributes(const std::wstring &to);
    std::optional<SaveFailure> readyToPlace();
    bool failedToPlace(DWORD error);
    bool syncFolder(FolderSync folderSync);
    std::optional<SaveFailure> failed(const SaveFailure &why);
    std::optional<SaveFailure> failedWith(DWORD code);
};

namespace {

// A refusal that the replacing move may not meet: ReplaceFileW's own needs, or the earlier file
// gone meanwhile. ERROR_ACCESS_DENIED counts only where WRITE_DAC is withheld.
bool moveMaySucceed(DWORD replaceError)
{
    switch (replaceError) {
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
    case ERROR_INVALID_PARAMETER:
    case ERROR_FILE_NOT_FOUND:
        return true;
    default:
        return false;
    }
}

// ReplaceFileW opens the new file with WRITE_DAC, to give it the earlier file's access rights
// (Microsoft, ReplaceFileW). Where the file system withholds that right even from the file's
// owner, its refusal is for good; otherwise a denial comes from a file held for a moment.
bool writeDacWithheld(const std::wstring &file)
{
    const Handle probe(fileCalls().createFile(file.c_str(), WRITE_DAC,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE
                                                  | FILE_SHARE_DELETE,
                                              nullptr, OPEN_EXISTING, 0, nullptr));
    return !probe.isOpen() && GetLastError() == ERROR_ACCESS_DENIED;
}

// Marks the file to be deleted when its last handle closes, or takes the mark off again.
bool markForDeletion(HANDLE file, bool deleteIt)
{
    FILE_DISPOSITION_INFO disposition{deleteIt};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

// Visible, its other attributes (archive, not content-indexed) as they are.
bool unhide(HANDLE file)
{
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic))
        return false;
    basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0; // 0: left as they are
    basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
    basic.FileAttributes &= ~DWORD(FILE_ATTRIBUTE_HIDDEN);
    if (basic.FileAttributes == 0)
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
}

// The earlier .new under its backup name, no longer needed once the new one is in place. A
// scanner that has just opened it is waited for a little (about a second, growing pauses; this
// runs beside the window's thread); should it hold on, the file stays behind as a crash's
// temporary file would, hidden.
void discard(const std::wstring &file)
{
    for (DWORD pauseMs = 20; !DeleteFileW(file.c_str()); pauseMs *= 2) {
        const DWORD error = GetLastError();
        const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
            || error == ERROR_ACCESS_DENIED;
        if (!held || pauseMs > 320) {
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN);
            return;
        }
        Sleep(pauseMs);
    }
}

// ReplaceFileW keeps the replaced file's attributes: Microsoft, ReplaceFileW, opens the new file
// "so that it can preserve all attributes and ACLs", and where it stops half done the new file
// "has inherited the file streams and attributes from the file it is replacing". Wine's leaves
// the new file's own, so that an earlier .new marked hidden or system would lose the marks; they
// are set again where they differ, as Windows leaves them.
void keepEarlierAttributes(const std::wstring &file, DWORD earlier)
{
    constexpr DWORD Marks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD now = GetFileAttributesW(file.c_str());
    if (earlier != INVALID_FILE_ATTRIBUTES && now != INVALID_FILE_ATTRIBUTES
        && ((now ^ earlier) & Marks) != 0)
        SetFileAttributesW(file.c_str(), (now & ~Marks) | (earlier & Marks));
}

} // namespace

bool ReplacementFile::State::move(const std::wstring &from, const std::wstring &to)
{
    return fileCalls().moveFile(from.c_str(), to.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// The move replaces the earlier file with the new one as it is: its attributes are the earlier
// file's again afterwards, as ReplaceFileW would have left them.
bool ReplacementFile::State::moveKeepingAttributes(const std::wstring &to)
{
    const DWORD earlier = GetFileAttributesW(to.c_str());
    if (!move(temporary, to))
        return false;
    if (earlier != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(to.c_str(), earlier);
    return true;
}

// Having been allowed to make a file in the folder and to write over the target, a denial now
// is the passing kind: a file being deleted, or one a scanner has just opened.
bool ReplacementFile::State::failedToPlace(DWORD code)
{
    failure = SaveFailure::ofSystem(Step::WriteOutput, systemError(code));
    if (code == ERROR_ACCESS_DENIED)
        failure.systemError.transience = SystemError::Transience::Passing;
    return false;
}

std::optional<SaveFailure> ReplacementFile::State::failed(const SaveFailure &why)
{
    failure = why;
    return why;
}

std::optional<SaveFailure> ReplacementFile::State::failedWith(DWORD code)
{
    return failed(SaveFailure::ofSystem(Step::WriteOutput, systemError(code)));
}

// Where the system finds the target's name written otherwise, what it finds is the .new of
// another file (of "Q_sp.cfg" beside "q_sp.cfg", which a case-sensitive folder holds, or a
// Linux folder under Wine), unless the name it was made for leads to the selected file itself
// (the selected file's name typed in other case). Replacing it would have two files' saves
// report one output, the later one's content under the earlier one's name.
std::optional<SaveFailure> ReplacementFile::State::anotherFilesOutput(Step step) const
{
    const QString found = nameInFolder(nativePath(target));
    if (found.isEmpty() || found == targetName)
        return std::nullopt;
    const bool outputOfInput = found.endsWith(".new"_L1, Qt::CaseInsensitive)
        && input != FileIdentity{}
        && identityAt(nativePath(joinPath(folder, found.chopped(4)))) == input;
    if (outputOfInput)
        return std::nullopt;
    SaveFailure refusal = SaveFailure::refused(step, Refusal::AnotherFilesOutput);
    refusal.foundName = found;
    return refusal;
}

bool ReplacementFile::State::placed()
{
    return targetExisted ? replaceTarget() : placedAsNew();
}

// Nothing was at the target's name when the save began: a move that replaces nothing, so that
// what appeared meanwhile (another save's .new, found under this name) stays.
bool ReplacementFile::State::placedAsNew()
{
    const std::wstring native = nativePath(target);
    if (fileCalls().moveFile(temporary.c_str(), native.c_str(), MOVEFILE_WRITE_THROUGH))
        return true;
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
        return failedToPlace(error);
    if (const std::optional<SaveFailure> another = anotherFilesOutput(Step::WriteOutput)) {
        failed(*another);
        return false;
    }
    return failedToPlace(error);
}

bool ReplacementFile::State::replaceTarget()
{
    const std::wstring native = nativePath(target);
    const QString backupPath = joinPath(folder, temporaryName());
    const std::wstring backup = nativePath(backupPath);
    const DWORD earlier = GetFileAttributesW(native.c_str());
    if (fileCalls().replaceFile(native.c_str(), temporary.c_str(), backup.c_str(),
                                REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS,
                                nullptr, nullptr)) {
        keepEarlierAttributes(native, earlier);
        discard(backup);
        return true;
    }
    const DWORD replaceError = GetLastError();
    // Nothing changed, and a scanner holding a file for a moment is the likely cause.
    if (replaceError == ERROR_UNABLE_TO_MOVE_REPLACEMENT
        || (replaceError == ERROR_ACCESS_DENIED && !writeDacWithheld(temporary)))
        return failedToPlace(replaceError);
    if (moveMaySucceed(replaceError))
        return moveKeepingAttributes(native) || failedToPlace(GetLastError());
    if (replaceError != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
        return failedToPlace(replaceError);
    // The earlier file is under the backup name, the new one under its own.
    if (move(temporary, native)) {
        keepEarlierAttributes(native, earlier);
        discard(backup);
        return true;
    }
    failedWith(GetLastError());
    if (move(backup, native))
        return false; // as before, and may be tried again
    stranded = {temporaryPath, backupPath};
    temporary.clear(); // kept: it holds the only copy of the new content
    failure.systemError.transience = SystemError::Transience::Lasting;
    return false;
}

namespace {

// The rename is durable once the folder's entries are on the disk. NTFS flushes them through a
// handle to the folder opened for writing with backup semantics (FlushFileBuffers needs
// GENERIC_WRITE); where the folder cannot be opened so, or the file system refuses to flush it
// (FAT, network shares), there is no more to be had than the rename's own write-through.
Handle folderToFlush(const QString &folder)
{
    return Handle(CreateFileW(nativePath(folder).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::optional<SaveFailure> flushFolder(HANDLE folder)
{
    if (fileCalls().flushFolder(folder))
        return std::nullopt;
    const DWORD code = GetLastError();
    if (code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED
        || code == ERROR_INVALID_PARAMETER)
        return std::nullopt;
    return SaveFailure::ofSystem(Step::SyncFolder, systemError(code));
}

} // namespace

struct UnsyncedFolder::State
{
    Handle folder; // the folder itself, not its path: the flush reaches it wherever it is now
};

UnsyncedFolder::UnsyncedFolder(std::unique_ptr<State> state, FileIdentity identity)
    : m(std::move(state)), m_identity(identity)
{
}
UnsyncedFolder::~UnsyncedFolder() = default;

std::optional<SaveFailure> UnsyncedFolder::sync() const
{
    return flushFolder(m->folder.get());
}

// Left to the caller, the folder is held open for the later flush.
bool ReplacementFile::State::syncFolder(FolderSync folderSync)
{
    Handle handle = folderToFlush(folder);
    if (!handle.isOpen())
        return true;
    if (folderSync == FolderSync::ByCaller) {
        const FileIdentity identity = identityOf(handle.get());
        auto state = std::make_unique<UnsyncedFolder::State>();
        state->folder = std::move(handle);
        unsynced = std::make_shared<UnsyncedFolder>(std::move(state), identity);
        return true;
    }
    if (const std::optional<SaveFailure> flushFailed = flushFolder(handle.get())) {
        failed(*flushFailed);
        return false;
    }
    return true;
}

ReplacementFile::ReplacementFile() : m(std::make_unique<State>()) {}

// A temporary file that was not put in place goes: while its handle is open, with the handle's
// closing; after that, by its name, hidden first (commit() shows it just before the rename) so
// that a scanner holding it now leaves no visible stray. Nothing is waited for here on the
// window's thread.
ReplacementFile::~ReplacementFile()
{
    if (m->file.isOpen()) {
        m->file.reset();
        return;
    }
    if (m->temporary.empty())
        return;
    if (m->shown)
        SetFileAttributesW(m->temporary.c_str(), FILE_ATTRIBUTE_HIDDEN);
    DeleteFileW(m->temporary.c_str());
}

// Windows replaces a link in the output's place itself, never the file it leads to; what remains
// to refuse is a folder, a device and a read-only file.
std::optional<SaveFailure> ReplacementFile::open(const SaveFolder &folder, const QString &name,
                                                 const InputFile &input)
{
    m->folder = folder.path();
    m->target = joinPath(folder.path(), name);
    m->targetName = name;
    m->input = input.identity();
    const DWORD attributes = GetFileAttributesW(nativePath(m->target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return SaveFailure::notRegular(Step::OpenOutput, FileType::Folder);
        if (attributes & FILE_ATTRIBUTE_DEVICE)
            return SaveFailure::notRegular(Step::OpenOutput, FileType::CharacterDevice);
        // The selected file may be a link to its own .new (or share its file through a hard
        // link): replacing that would change the selected file.
        if (identityAt(nativePath(m->target)) == input.identity())
            return SaveFailure::refused(Step::OpenOutput, Refusal::LeadsToInput);
        if (const std::optional<SaveFailure> another = m->anotherFilesOutput(Step::OpenOutput))
            return another;
        m->targetExisted = true;
        if (attributes & FILE_ATTRIBUTE_READONLY)
            return SaveFailure::refused(Step::OpenOutput, Refusal::ReadOnly);
    } else if (const DWORD error = GetLastError();
               error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        return SaveFailure::ofSystem(Step::OpenOutput, systemError(error));
    }
    // Hidden, so that one left by a crash is no visible stray; commit() shows it again.
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < TemporaryNameAttempts && error == ERROR_FILE_EXISTS; ++attempt) {
        const QString temporaryPath = joinPath(m->folder, temporaryName());
        const std::wstring temporary = nativePath(temporaryPath);
        m->file = Handle(CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                     CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_SEQUENTIAL_SCAN,
                                     nullptr));
        if (m->file.isOpen()) {
            m->temporary = temporary;
            m->temporaryPath = temporaryPath;
            if (!markForDeletion(m->file.get(), true)) {
                const DWORD markError = GetLastError();
                m->file.reset();
                DeleteFileW(temporary.c_str());
                m->temporary.clear();
                return SaveFailure::ofSystem(Step::OpenOutput, systemError(markError));
            }
            if (!folder.state().holds(m->file.get())) // the destructor takes the file away again
                return SaveFailure::refused(Step::OpenOutput, Refusal::FolderMoved);
            m->folderIdentity = identityAt(nativePath(m->folder));
            return std::nullopt;
        }
        error = GetLastError();
    }
    const bool folderRefuses = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
    return SaveFailure::refused(
        Step::OpenOutput, folderRefuses ? Refusal::FolderRefusesNewFile : Refusal::None,
        systemError(error));
}

QString ReplacementFile::targetFolder() const
{
    return m->folder;
}

bool ReplacementFile::foundEarlierFile() const
{
    return m->targetExisted;
}

bool ReplacementFile::write(const char *bytes, qint64 count)
{
    while (count > 0) {
        DWORD done = 0;
        const DWORD chunk = DWORD(std::min<qint64>(count, 1 << 30));
        if (!WriteFile(m->file.get(), bytes, chunk, &done, nullptr)) {
            m->failedWith(GetLastError());
            return false;
        }
        if (done == 0) { // written nothing, and said nothing
            m->failed(SaveFailure::refused(Step::WriteOutput, Refusal::NothingWritten));
            return false;
        }
        bytes += done;
        count -= done;
    }
    return true;
}

// WriteFile takes one piece of memory: the ranges are put together first.
bool ReplacementFile::writeGathered(const ByteRange *ranges, qsizetype count)
{
    return ByteSink::writeGathered(ranges, count);
}

// The first time only: on the disk, visible again as the .new is to be, no longer marked for
// deletion, and closed, as ReplaceFileW wants the file. The rename goes by path: the path must
// still name the folder the file was made in, looked at while the handle can still take the file
// away should it not.
std::optional<SaveFailure> ReplacementFile::State::readyToPlace()
{
    if (!file.isOpen())
        return std::nullopt;
    if (!FlushFileBuffers(file.get()))
        return failedWith(GetLastError());
    if (identityAt(nativePath(folder)) != folderIdentity)
        return failed(SaveFailure::refused(Step::WriteOutput, Refusal::FolderMoved));
    if (!unhide(file.get()) || !markForDeletion(file.get(), false) || !file.close())
        return failedWith(GetLastError());
    shown = true;
    return std::nullopt;
}

std::optional<SaveFailure> ReplacementFile::commit(FolderSync folderSync)
{
    State &s = *m;
    if (const std::optional<SaveFailure> notReady = s.readyToPlace())
        return notReady;
    // Again on each later attempt, after the handle is gone.
    if (identityAt(nativePath(s.folder)) != s.folderIdentity)
        return s.failed(SaveFailure::refused(Step::WriteOutput, Refusal::FolderMoved));
    if (!s.placed())
        return s.failure;
    s.temporary.clear();
    if (!s.syncFolder(folderSync))
        return s.failure;
    return std::nullopt;
}

std::shared_ptr<UnsyncedFolder> ReplacementFile::unsyncedFolder() const
{
    return m->unsynced;
}

SaveFailure ReplacementFile::failure() const
{
    return m->failure;
}

ReplacementFile::Stranded ReplacementFile::stranded() const
{
    return m->stranded;
}
