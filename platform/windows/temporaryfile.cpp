// SPDX-License-Identifier: GPL-3.0-or-later
// The temporary file while it is written: written, made ready to be put in place once complete,
// and taken away unless it was.
//
// The temporary file is marked for deletion through its handle as soon as it is made, and the
// mark is taken off only just before it is put in place: whatever ends the save first (a failure,
// a stop, the program's end, a folder renamed meanwhile so that its old path names nothing), the
// system deletes the file with the handle's closing, wherever the file is now: "A file marked for
// deletion is not actually deleted until all open handles for the file object have been closed"
// (Microsoft, FILE_DISPOSITION_INFORMATION). Wine deletes it by the name it was opened under.
#include "platform/windows/savefilestates.h"

namespace {

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

} // namespace

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
