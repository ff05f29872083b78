// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rewrite/savecore.h"

#include <QStringList>

struct CensusResult;

// The German words for what a save came to, for the window's message box and the companion's
// lines alike. The reasons by error number are in savereasons.h.
struct SaveMessage
{
    enum class Icon { Information, Warning };
    Icon icon = Icon::Information;
    QString title;
    // What happened, why, and what was left as it was: a failure has all three.
    QStringList paragraphs;
    // A further sentence the message box shows below its text, as its informative text: the
    // window's fixed success words leave the file written to it. Empty for most messages.
    QString detail = {};

    // As the message box shows it: the paragraphs with an empty line between them.
    QString text() const { return paragraphs.join(QStringLiteral("\n\n")); }
};

// Where the words are shown: the window speaks of the file the user selected, the
// command-line companion of the file it was given.
enum class MessagePlace { Window, CommandLine };

// A file's path and its .new's as the words show them, built once for all the words about it.
struct ShownPaths
{
    explicit ShownPaths(const QString &inputPath);
    QString input;
    QString output;
};

// "Speichern erfolgreich" for a finished save (in the window with the file written as its
// detail); a warning naming the file, the reason and what
// was left as it was for a failed one, each an ended sentence. A stopped save has nothing to
// say.
SaveMessage saveMessage(const SaveOutcome &outcome, MessagePlace place);
// The same, naming the file as `shown` does.
SaveMessage saveMessage(const SaveOutcome &outcome, MessagePlace place, const ShownPaths &shown);

// For Save pressed with no file chosen.
SaveMessage noFileChosenMessage();

// A file that was only to be read, and could not be: what and why, nothing of a .new.
QStringList readFailureWords(const SaveOutcome &outcome);
QStringList readFailureWords(const SaveOutcome &outcome, const ShownPaths &shown);

// A path that Windows takes for a device ("aux", "\\\\.\\con"), not a file or folder.
QString deviceNameWords(const QString &path);

// A folder whose entries could not be read: what and why.
QStringList folderUnreadableWords(const QString &folder, const SystemError &error);

// What a file carries now, at a glance: the start and maximum ratings its lines hold (one
// rating, "gemischt", or none) and how many lines of each kind it has, one sentence a line; a
// reading stopped early says so, how far it came (`bytesRead`) and what it found until there.
// A reading that failed says why.
QString fileRatingsText(const CensusResult &result, qint64 bytesRead);
// The same, short enough for a line of the window under 200 pixels wide: one line for each
// kind ("Start: 1.5 Sterne in 2 Zeilen."), or one sentence for a file without such lines or
// one that could not be read. A reading stopped early ends each line with "…".
QString fileRatingsLine(const CensusResult &result);
