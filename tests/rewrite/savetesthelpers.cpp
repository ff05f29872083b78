// SPDX-License-Identifier: GPL-3.0-or-later
#include "savetesthelpers.h"

#include "recordingservices.h"

#include "rewrite/savereasons.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstring>

using namespace Qt::StringLiterals;

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
}

std::optional<QByteArray> readFile(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

ScratchFolder::ScratchFolder(const QString &fileName)
    : inputPath(dir.filePath(fileName)), outputPath(inputPath + ".new"_L1)
{
    window.folder = dir.path();
    window.fileName = fileName;
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

QString systemError(int errorNumber)
{
    return germanReason({errorNumber, QString::fromLocal8Bit(std::strerror(errorNumber))});
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

namespace {

const QString NothingChanged =
    u"Die ausgewählte Datei und eine frühere .new-Datei bleiben unverändert."_s;

} // namespace

QString readFailureText(const QString &inputPath, const QString &reason)
{
    return u"Die Datei „%1“ konnte nicht gelesen werden.\n\n%2\n\n"_s.arg(
               QDir::toNativeSeparators(inputPath), reason)
        + NothingChanged;
}

QString writeFailureText(const QString &outputPath, const QString &reason)
{
    return u"Die Datei „%1“ konnte nicht geschrieben werden.\n\n%2\n\n"_s.arg(
               QDir::toNativeSeparators(outputPath), reason)
        + NothingChanged;
}

QString inputChangedText(const QString &inputPath, const QString &how)
{
    return u"Die Datei „%1“ wurde während des Speicherns verändert.\n\n%2\n\n"
           "Das Ergebnis wurde verworfen; eine frühere .new-Datei bleibt unverändert."_s
        .arg(QDir::toNativeSeparators(inputPath), how);
}

QString folderRefusesText(const QString &folder, const QString &reason)
{
    return u"Im Ordner „%1“ kann keine neue Datei angelegt werden, auch nicht neben der "
           "ausgewählten Datei.\n\n%2\n\n"_s.arg(QDir::toNativeSeparators(folder), reason)
        + NothingChanged;
}

QString notDurableText(const QString &outputPath, const QString &reason)
{
    return u"Die Datei „%1“ wurde geschrieben, aber ihr Eintrag im Ordner konnte nicht auf den "
           "Datenträger gebracht werden.\n\n%2\n\nNach einem Stromausfall oder Absturz kann "
           "sie fehlen oder die frühere Fassung zeigen. Speichern Sie erneut, um sicherzugehen."_s
        .arg(QDir::toNativeSeparators(outputPath), reason);
}

QString notRegularInputReason(const QString &what)
{
    return u"Das ist keine gewöhnliche Datei, sondern %1. Gelesen werden nur gewöhnliche "
           "Dateien."_s.arg(what);
}

QString notRegularOutputReason(const QString &what)
{
    return u"An ihrer Stelle liegt %1, keine gewöhnliche Datei. Ersetzt werden nur gewöhnliche "
           "Dateien."_s.arg(what);
}

QString linkToNotRegularReason(const QString &what)
{
    return u"Sie ist eine Verknüpfung, und an deren Ziel liegt %1, keine gewöhnliche Datei. "
           "Ersetzt werden nur gewöhnliche Dateien."_s.arg(what);
}

QString notReplaceableReason(const QString &reason)
{
    return u"Die vorhandene Datei darf nicht ersetzt werden: "_s + reason;
}

QString successProblem(const RecordingServices &window, SaveResult result)
{
    if (result != SaveResult::Saved)
        return u"save failed: "_s + window.messages.value(0).text;
    if (window.messages.size() != 1)
        return u"%1 messages shown"_s.arg(window.messages.size());
    const Message &message = window.messages.first();
    if (message.icon != SaveServices::MessageIcon::Information || message.title != u"Speichern"_s
        || message.text != u"Speichern erfolgreich"_s)
        return u"not the success message: "_s + message.title + u" / "_s + message.text;
    return {};
}

QString warningProblem(const RecordingServices &window, const QString &expectedText)
{
    if (window.messages.size() != 1)
        return u"%1 messages shown"_s.arg(window.messages.size());
    const Message &message = window.messages.first();
    if (message.icon != SaveServices::MessageIcon::Warning || message.title != u"Speichern"_s)
        return u"not a warning titled Speichern: "_s + message.title;
    if (message.text != expectedText)
        return u"message\n%1\nexpected\n%2"_s.arg(message.text, expectedText);
    return {};
}
