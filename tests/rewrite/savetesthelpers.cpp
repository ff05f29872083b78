// SPDX-License-Identifier: GPL-3.0-or-later
#include "savetesthelpers.h"

#include "rewrite/savemessages.h"
#include "tests/support/exactfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstring>

using namespace Qt::StringLiterals;

bool writeFile(const QString &path, const QByteArray &content)
{
    return writeExactFile(path, content);
}

std::optional<QByteArray> readFile(const QString &path)
{
    return QFileInfo(path).isDir() ? std::nullopt : readExactFile(path);
}

ScratchFolder::ScratchFolder(const QString &fileName)
    : inputPath(dir.filePath(fileName)), outputPath(inputPath + ".new"_L1)
{
    caller.path = inputPath;
}

bool ScratchFolder::holds(const QByteArray &input,
                          const std::optional<QByteArray> &earlierOutput) const
{
    return dir.isValid() && writeFile(inputPath, input)
        && (!earlierOutput || writeFile(outputPath, *earlierOutput));
}

QStringList listing(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

CommandResult run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return {-1, u"did not finish: "_s + process.errorString()};
    const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return {code, QString::fromLocal8Bit(process.readAll()).trimmed()};
}

QString successProblem(const SaveOutcome &outcome)
{
    if (outcome.end == SaveOutcome::End::Saved)
        return {};
    return u"save did not succeed: "_s + saveMessage(outcome, MessagePlace::Window).text();
}

QString failureProblem(const SaveOutcome &outcome, const ExpectedFailure &expected)
{
    const auto said = [&] { return u": "_s + saveMessage(outcome, MessagePlace::Window).text(); };
    const SaveFailure &failure = outcome.failure;
    if (outcome.end != SaveOutcome::End::Failed)
        return u"the save did not fail"_s;
    if (failure.step != expected.step)
        return u"failed at step %1, not %2"_s.arg(int(failure.step)).arg(int(expected.step))
            + said();
    if (failure.refusal != expected.refusal)
        return u"refused as %1, not %2"_s.arg(int(failure.refusal)).arg(int(expected.refusal))
            + said();
    if (failure.found != expected.type)
        return u"found file type %1, not %2"_s.arg(int(failure.found)).arg(int(expected.type))
            + said();
    if (failure.throughLink != expected.throughLink)
        return u"through a link: %1"_s.arg(failure.throughLink) + said();
    if (failure.change.kind != expected.change)
        return u"change of kind %1, not %2"_s.arg(int(failure.change.kind))
                   .arg(int(expected.change))
            + said();
    if (failure.systemError.number != expected.errorNumber)
        return u"error %1, not %2"_s.arg(failure.systemError.number).arg(expected.errorNumber)
            + said();
    if (saveMessage(outcome, MessagePlace::Window).paragraphs.size() != 3)
        return u"no message of three paragraphs"_s + said();
    return {};
}
