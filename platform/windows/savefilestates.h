// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the Windows side keeps behind each class of savefiles.h, and the few helpers its files
// share: the held folder and its later flush (heldfolder.cpp), the selected file
// (inputfile.cpp), the .new judged, made and committed (replacementfile.cpp), its temporary
// file while it is written (temporaryfile.cpp) and its putting in place (placement.cpp).

#include "platform/savefiles.h"

#include "platform/windows/systemcalls.h"

using namespace Qt::StringLiterals;

// All 128 bits of the file's identifier where the file system has them (systemcalls.h).
inline FileIdentity identityOf(HANDLE file)
{
    const std::optional<ObjectId> id = objectIdOf(file);
    return id ? FileIdentity{id->volume, id->low, id->high} : FileIdentity{};
}

// Which object a path names now, links followed; none when it cannot be opened.
inline FileIdentity identityAt(const std::wstring &path)
{
    const Handle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.isOpen() ? identityOf(file.get()) : FileIdentity{};
}

using Step = SaveFailure::Step;

inline SaveFailure lastFailure(Step step)
{
    return SaveFailure::ofSystem(step, lastSystemError());
}

// The path Windows ends at for an open handle, links and junctions resolved; empty when it
// cannot say.
inline QString finalPath(HANDLE handle)
{
    wchar_t path[32768];
    const DWORD length = GetFinalPathNameByHandleW(handle, path, DWORD(std::size(path)), 0);
    return length > 0 && length < std::size(path) ? QString::fromWCharArray(path, int(length))
                                                   : QString();
}

// Marks the file to be deleted when its last handle closes, or takes the mark off again.
inline bool markForDeletion(HANDLE file, bool deleteIt)
{
    FILE_DISPOSITION_INFO disposition{deleteIt};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

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

struct InputFile::State
{
    std::wstring path;
    Handle file;
};

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
