// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recordingservices.h"

#include "rewrite/savestrengthfile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

bool writeFile(const QString &path, const QByteArray &content);

// The bytes of a file, or nothing when it is missing or no file.
std::optional<QByteArray> readFile(const QString &path);

// A fresh temporary folder for one strength file, and a fake window pointed at that file.
struct ScratchFolder
{
    explicit ScratchFolder(const QString &fileName = QStringLiteral("a_sp.cfg"));

    // Writes the strength file, and an earlier output beside it when one is given; false when the
    // folder or a file could not be made.
    [[nodiscard]] bool holds(const QByteArray &input,
                             const std::optional<QByteArray> &earlierOutput = std::nullopt) const;

    QTemporaryDir dir;
    QString inputPath;
    QString outputPath;
    RecordingServices window;
};

// Every entry of a folder, hidden ones included, so a left-behind temporary file shows up.
QStringList listing(const QString &folder);

// The reason a message gives for an error number: its German meaning, the system's words.
QString systemError(int errorNumber);

struct CommandResult
{
    int exitCode = -1;
    QString output;
};

// Runs a program to its end, standard output and error merged.
CommandResult run(const QString &program, const QStringList &arguments);

// The warnings a failed save shows: what failed, naming the file in native form; the reason;
// what was left as it was.
QString readFailureText(const QString &inputPath, const QString &reason);
QString writeFailureText(const QString &outputPath, const QString &reason);
QString inputChangedText(const QString &inputPath, const QString &how);
QString folderRefusesText(const QString &folder, const QString &reason);
// The output is in place, but its folder could not be synced.
QString notDurableText(const QString &outputPath, const QString &reason);

// The reasons the save gives for what it refuses to read or replace.
QString notRegularInputReason(const QString &what);    // what: "ein Ordner", ...
QString notRegularOutputReason(const QString &what);
QString notReplaceableReason(const QString &reason);
QString linkToNotRegularReason(const QString &what);

// What is wrong with a save that should have succeeded, or nothing: it must end saved with exactly
// one information titled "Speichern" saying "Speichern erfolgreich".
QString successProblem(const RecordingServices &window, SaveResult result);

// What is wrong with the messages a failed save showed, or nothing: there must be exactly one,
// a warning titled "Speichern" with exactly the text expected.
QString warningProblem(const RecordingServices &window, const QString &expectedText);
