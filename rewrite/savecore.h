// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save, on QtCore alone, and all a caller needs of it: what the window's Save, the
// command-line companion, the benchmarks and the tests all run. In: a strength file's folder
// and name, where to read the two ratings and who hears of the progress. Out: "<file>.new"
// beside it, and an outcome that says what happened: saved, stopped, or failed with a
// SaveFailure (savefailure.h). Words for the outcome are in savemessages.h.

#include "platform/paths.h"
#include "platform/savefailure.h"

#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>

class ByteSink;   // platform/bytestreams.h, for the loop alone
class ByteSource;
class UnsyncedFolder;

// Where the save reads the ratings: the start rating index for each start-strength line, the
// maximum rating index for each maximum-strength line, asked just before that line is
// written, so that a rating changed during a save applies from there on.
class RatingSource
{
public:
    virtual ~RatingSource() = default;
    virtual int startRatingIndex() = 0;
    virtual int maxRatingIndex() = 0;
};

// Hears how far a save has come and says whether it is to go on.
class SaveObserver
{
public:
    // Bytes of work between two reports by default: a line takes nanoseconds, and a window
    // that runs its events on each report should not be asked millions of times.
    static constexpr qint64 DefaultReportInterval = 64 * 1024;

    virtual ~SaveObserver() = default;

    // `progress` of `length`: every line read counts its bytes and two for its end, whatever
    // end it had, so a last line without one ends two above the length. Told after a line once
    // reportInterval() bytes of work have passed since the last report (between the pieces of
    // a long line too, with the progress unchanged), after the last line, and while the new
    // file goes to the disk. False stops the save, unless it is putting the file in place.
    virtual bool progressed(qint64 progress, qint64 length) = 0;

    // 0: after every line.
    virtual qint64 reportInterval() const { return DefaultReportInterval; }
};

// How a save runs; the window keeps the defaults, the companion, the tests and the benchmarks
// choose.
enum class CommitThread { Beside, Caller };
enum class FolderSyncBy { Save, Caller };
struct SaveSettings
{
    // Bytes read and written at a time; 0 for the sizes the benchmarks chose.
    qsizetype readSize = 0;
    qsizetype writeSize = 0;
    // Beside: the sync to disk at the end, which can take seconds on a slow disk, runs on a
    // thread of its own while the caller's thread goes on reporting, so a window stays live.
    // Caller: in the caller's thread, for a caller that runs each save on a thread of its own,
    // and for tests that count a save's system calls.
    CommitThread commit = CommitThread::Beside;
    // Caller: the folder is not synced for this one file; the outcome hands it over to be
    // synced once for all the files a batch saves there (SaveOutcome::unsyncedFolder).
    FolderSyncBy folderSync = FolderSyncBy::Save;
};

// What a save came to.
struct SaveOutcome
{
    enum class End { Saved, Stopped, Failed };

    End end = End::Saved;
    SaveFailure failure; // when Failed: at which step, and why
    FolderAndName input; // the selected file, as given
    qint64 inputSize = 0; // when it was opened
    // Whether an earlier .new lay at its name when the save looked there, which it does once
    // the selected file is open: a regular file, other than the selected one.
    bool earlierOutputFound = false;
    QString outputFolder; // where the .new is made: the input's folder, or where a link leads
    // After a failure that could put neither file back in place (Windows only): where the new
    // content and the earlier .new are kept instead. The new content alone: a temporary file
    // that the folder would not let the save remove. Empty otherwise.
    QString newContentKeptAt;
    QString earlierOutputAt;
    // Saved by a save that left its folder's sync to the caller (SaveSettings::folderSync): the
    // folder to sync (syncFolder()) before the .new may be called saved, as a power loss could
    // still take its name. Empty otherwise.
    std::shared_ptr<UnsyncedFolder> unsyncedFolder;

    QString inputPath() const { return joinPath(input.folder, input.name); }
    QString outputPath() const { return inputPath() + QStringLiteral(".new"); }

    // A failed save leaves the selected file as it was, and an earlier .new too, unless the
    // new one is already in its place or the earlier one had to be kept under another name.
    bool earlierOutputKept() const
    {
        return failure.step != SaveFailure::Step::SyncFolder && earlierOutputAt.isEmpty();
    }

    // Once the caller has synced unsyncedFolder: the outcome a save that synced it itself has.
    void folderSynced(const std::optional<SaveFailure> &syncFailure)
    {
        unsyncedFolder.reset();
        if (syncFailure) {
            end = End::Failed;
            failure = *syncFailure;
        }
    }
};

// Copies the strength file `file` line by line into "<file>.new" through RewriteLine, each
// line ended with CR LF. The selected file is only read; the new file appears only when
// complete and synced to disk, so a failed or stopped save leaves no partial output and an
// earlier .new untouched. The folder is opened once and both files are reached from it.
// Opening the selected file and putting the new one in place are tried again for about two
// seconds while another program holds a file for a moment (SystemError::transient()).
SaveOutcome saveRewrittenCopy(const FolderAndName &file, RatingSource &ratings,
                              SaveObserver &observer, const SaveSettings &settings = {});

// The folder a save left unsynced is held open, so that its sync reaches the folder the name
// was made in whatever its path names by then. Makes every name made in it until now durable:
// nothing when that is done, a SyncFolder failure otherwise.
std::optional<SaveFailure> syncFolder(const UnsyncedFolder &folder);
// Whether two saves left the same folder unsynced, whichever paths led them there.
bool sameFolder(const UnsyncedFolder &one, const UnsyncedFolder &other);

// The save's loop: every line of `input` through the rewrite rule into `output`, each followed
// by CR LF, with the progress told to `observer` as above and the rating a strength line gets
// read from `ratings` just before that line is written. The save runs it on the files, the
// fuzz target on memory.
enum class LoopEnd { Finished, Stopped, ReadFailed, WriteFailed };
LoopEnd rewriteLines(ByteSource &input, qint64 length, ByteSink &output, RatingSource &ratings,
                     SaveObserver &observer, const SaveSettings &settings = {});

// Hears the lines of a file that is only read, in pieces as the save reads them: a long line
// comes in several, the first with `startsLine`, the last with `endsLine`.
class LineVisitor
{
public:
    virtual ~LineVisitor() = default;
    virtual void piece(QByteArrayView bytes, bool startsLine, bool endsLine) = 0;
};

// Reads the strength file as a save reads it and writes nothing, for a look at what it holds:
// the same checks before it is opened, the same wait for a file another program holds, the
// same line ends and progress. End::Saved here means read to its end.
SaveOutcome readStrengthFile(const FolderAndName &file, LineVisitor &lines,
                             SaveObserver &observer);
