// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save, on QtCore alone: what the window's Save, the command-line companion, the
// benchmarks and the tests all run. In: a strength file's folder and name, where to read the
// two ratings and who hears of the progress. Out: "<file>.new" beside it, and an outcome that
// says what happened: saved, stopped, or failed with a SaveFailure (savefailure.h). Words for
// the outcome are in savemessages.h.

#include "platform/paths.h"
#include "platform/savefailure.h"

#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>

class UnsyncedFolder; // platform/savefiles.h: sync() makes the names made in it durable

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
    // folder to sync before the .new may be called saved, as a power loss could still take its
    // name. Empty otherwise.
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
                              SaveObserver &observer);

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
