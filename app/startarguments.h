// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window program's command line: kelvora-staerkeneditor [ORDNER|DATEI], --help, --version.
// In: the arguments exactly as the system gives them (platform/console.h), so a name that is
// not valid text stays the very same file. Out: what to do, and the folder or file to show.

#include <QString>
#include <QStringList>

struct StartArguments
{
    enum class Task { Window, Help, Version, WrongUsage };
    Task task = Task::Window;
    QString path;    // the folder or file to show; empty: the program's own folder
    QString problem; // German, for WrongUsage
};

// The arguments after the program's name. "--" ends the options, so "-- -x_sp.cfg" names a
// file; "-" alone is a name too. "/?" asks for help, as the companion and Windows' own programs
// are asked. Qt's own options (-style, -platform) are not taken: the
// toolkit's settings come from its environment variables.
StartArguments parseStartArguments(const QStringList &arguments);

QString startUsageText();
QString startHelpText();
QString startVersionText();
