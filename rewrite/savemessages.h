// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rewrite/savecore.h"

#include <QStringList>

// The German words for what a save came to, for the window's message box and the companion's
// lines alike. The reasons by error number are in savereasons.h.
struct SaveMessage
{
    enum class Icon { Information, Warning };
    Icon icon = Icon::Information;
    QString title;
    // What happened, why, and what was left as it was: a failure has all three.
    QStringList paragraphs;

    // As the message box shows it: the paragraphs with an empty line between them.
    QString text() const { return paragraphs.join(QStringLiteral("\n\n")); }
};

// "Speichern erfolgreich" for a finished save; a warning naming the file, the reason and what
// was left as it was for a failed one. A stopped save has nothing to say.
SaveMessage saveMessage(const SaveOutcome &outcome);

// For Save pressed with no file chosen.
SaveMessage noFileChosenMessage();

// A file that was only to be read, and could not be: what and why, nothing of a .new.
QStringList readFailureWords(const SaveOutcome &outcome);

// A folder whose entries could not be read: what and why.
QStringList folderUnreadableWords(const QString &folder, const SystemError &error);
