#include "savetesthelpers.h"

#include "recordingservices.h"

#include <QDir>
#include <QHash>
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

SaveFolder::SaveFolder(const QString &fileName)
    : inputPath(dir.filePath(fileName)), outputPath(inputPath + ".new"_L1)
{
    window.folder = dir.path();
    window.fileName = fileName;
}

bool SaveFolder::holds(const QByteArray &input,
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
    static const QHash<int, QString> German{
        {ENOENT, u"Datei oder Ordner nicht gefunden"_s},
        {EACCES, u"Zugriff verweigert"_s},
        {ENOSPC, u"Kein Speicherplatz mehr auf dem Datenträger"_s},
        {EROFS, u"Das Dateisystem ist schreibgeschützt"_s},
        {EFBIG, u"Die Datei ist zu groß"_s},
        {EIO, u"Ein-/Ausgabefehler beim Zugriff auf den Datenträger"_s},
    };
    const QString system = QString::fromLocal8Bit(std::strerror(errorNumber));
    return German.contains(errorNumber) ? German[errorNumber] + " ("_L1 + system + u')' : system;
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

QString inputChangedText(const QString &inputPath, qint64 lengthAtStart, qint64 bytesRead)
{
    return u"Die Datei „%1“ wurde während des Speicherns verändert.\n\n"
           "Beim Start war sie %2 Bytes groß, gelesen wurden %3 Bytes.\n\n"
           "Das Ergebnis wurde verworfen; eine frühere .new-Datei bleibt unverändert."_s
        .arg(QDir::toNativeSeparators(inputPath))
        .arg(lengthAtStart)
        .arg(bytesRead);
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
