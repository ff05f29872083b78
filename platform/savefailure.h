// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a save fails, as one value: the step, what the program refused on its own judgement, and
// the system's own error where a system call failed. The save's files (platform/savefiles.h)
// report in these terms; rewrite/savemessages.h turns them into German words.

#include "platform/systemerror.h"

#include <QString>

// What a file system object is. A link counts as what it leads to.
enum class FileType { Missing, Regular, Folder, Fifo, Socket, CharacterDevice, BlockDevice, Other };

// What the program refuses to do, besides a system call that failed.
enum class Refusal {
    None,
    NotRegular,                // a folder, FIFO, device or socket is in the way (`found`)
    DanglingLink,              // a link in the .new's place leads nowhere
    ForeignLinkInSharedFolder, // a link owned by another user in a folder everyone may write to
    ForeignLinkBeyondItsOwner, // another user's link to what that user may not read or write
    ForeignLinkUnjudged,       // another user's link, and this process may not ask for that user
    LeadsToInput,              // replacing the .new would replace the selected file
    NotWritable,               // the existing .new may not be written (`systemError` says why)
    ReadOnly,                  // the existing .new is marked read-only (Windows)
    FolderRefusesNewFile,      // no new file may be made there (`systemError` says why)
    SwappedMeanwhile,          // what was looked at was replaced before it could be used
    FolderMoved,               // the folder's path no longer leads to the folder the save began in
    NothingWritten,            // the file system took no byte and gave no reason
    AnotherFilesOutput,        // the system finds the .new's name written otherwise (`foundName`),
                               // as the output of another file (a case-insensitive lookup)
};

// How the selected file differs, once read, from when it was opened.
struct InputChange
{
    enum Kind { None, Shorter, Longer, Modified, Replaced };
    Kind kind = None;
    qint64 sizeNow = 0;
};

struct SaveFailure
{
    enum class Step {
        None,
        OpenInput,    // the selected file, or its folder
        ReadInput,
        InputChanged, // while it was read: `change` says how
        OpenOutput,   // the .new, or the file its content is written to first
        WriteOutput,  // writing it, bringing it to the disk or putting it in place
        SyncFolder,   // the new file is in place, but its folder could not be synced
    };

    Step step = Step::None;
    Refusal refusal = Refusal::None;
    SystemError systemError;            // the failed call, also for NotWritable, FolderRefusesNewFile
    FileType found = FileType::Regular; // for NotRegular: what is there instead
    bool throughLink = false;           // what was refused is where a link leads
    InputChange change;                 // for InputChanged
    QString foundName;                  // for AnotherFilesOutput: the name the system found

    static SaveFailure ofSystem(Step step, const SystemError &error)
    {
        return refused(step, Refusal::None, error);
    }
    static SaveFailure refused(Step step, Refusal why, const SystemError &error = {})
    {
        return {step, why, error, FileType::Regular, false, {}, {}};
    }
    static SaveFailure notRegular(Step step, FileType found, bool throughLink = false)
    {
        return {step, Refusal::NotRegular, {}, found, throughLink, {}, {}};
    }
    static SaveFailure inputChanged(const InputChange &change)
    {
        return {Step::InputChanged, Refusal::None, {}, FileType::Regular, false, change, {}};
    }
};
