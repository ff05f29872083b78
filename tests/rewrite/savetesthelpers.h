// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save tests' stand-ins and helpers. In: what a test sets up on disk and in the caller.
// Out: what the save came to, what it asked and reported, and what it did to the files.

#include "recordingcaller.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

bool writeFile(const QString &path, const QByteArray &content);

// The bytes of a file, or nothing when it is missing or no file.
std::optional<QByteArray> readFile(const QString &path);

// A fresh temporary folder for one strength file, and a caller pointed at that file.
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
    RecordingCaller caller;
};

// Every entry of a folder, hidden ones included, so a left-behind temporary file shows up.
QStringList listing(const QString &folder);

struct CommandResult
{
    int exitCode = -1;
    QString output;
};

// Runs a program to its end, standard output and error merged.
CommandResult run(const QString &program, const QStringList &arguments);

// How a save should fail: at which step, with which error number (0: none) or refusal, for a
// refusal of what is no regular file what was found and whether a link led there, and for a
// change of the selected file which kind.
struct ExpectedFailure
{
    SaveFailure::Step step = SaveFailure::Step::None;
    int errorNumber = 0;
    Refusal refusal = Refusal::None;
    FileType type = FileType::Regular;
    bool throughLink = false;
    InputChange::Kind change = InputChange::None;
};

// What is wrong with a save that should have succeeded, or nothing.
QString successProblem(const SaveOutcome &outcome);

// What is wrong with a save that should have failed as expected, or nothing.
QString failureProblem(const SaveOutcome &outcome, const ExpectedFailure &expected);
