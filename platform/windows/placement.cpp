// SPDX-License-Identifier: GPL-3.0-or-later
// The complete file put in place: moved to its name where nothing was there when the save
// began, and otherwise replacing the earlier file.
//
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
#include "platform/windows/savefilestates.h"

#include "platform/paths.h"

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
