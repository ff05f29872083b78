// SPDX-License-Identifier: GPL-3.0-or-later
// The ".new" file: which file it replaces or creates, judged before its temporary file is made,
// and committed only when complete.
#include "platform/windows/savefilestates.h"

#include "platform/paths.h"

namespace {

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

ReplacementFile::ReplacementFile() : m(std::make_unique<State>()) {}

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
