#include "rewrite/savestrengthfile.h"

#include "rewrite/blockwriter.h"
#include "rewrite/fileaccess.h"
#include "rewrite/linereader.h"
#include "rewrite/rewriteline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace {

const QString SaveTitle = u"Speichern"_s;
const QString NothingChanged =
    u"Die ausgewählte Datei und eine frühere .new-Datei bleiben unverändert."_s;

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

class StrengthFileSave
{
public:
    StrengthFileSave(SaveServices &window, const QString &inputPath)
        : m_window(window), m_input(inputPath), m_output(inputPath + ".new"_L1), m_writer(m_output)
    {
    }

    // Why the save failed, for the message shown once both files are closed.
    QString failure() const { return m_failure; }

    SaveResult run()
    {
        // The input first, so that a missing folder or file is reported as what it is. Nothing
        // of the output is visible before its commit either way.
        if (!openInput() || !openOutput())
            return SaveResult::Failed;
        const SaveResult copied = copyLines();
        if (copied != SaveResult::Saved) {
            m_output.cancelWriting();
            return copied;
        }
        m_input.close();
        return commitOutput() ? SaveResult::Saved : SaveResult::Failed;
    }

private:
    bool openInput()
    {
        if (m_input.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return true;
        // Qt's reason for a folder is English and vague.
        reportReadFailure(QFileInfo(m_input.fileName()).isDir()
                              ? u"Das ist ein Ordner, keine Datei."_s
                              : m_input.errorString());
        return false;
    }

    bool openOutput()
    {
        // QSaveFile writes through a symbolic link and replaces the file it leads to; that
        // file must not be the selected one.
        const QFileInfo existing(m_output.fileName());
        if (existing.isSymLink() && isSameFile(existing.filePath(), m_input)) {
            reportWriteFailure(u"Sie ist eine Verknüpfung auf die ausgewählte Datei, "
                               "die dabei ersetzt würde."_s);
            return false;
        }
        // The temporary file lives beside the target and replaces it only on commit.
        if (m_output.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return true;
        reportWriteFailure(outputRefusal(existing));
        return false;
    }

    // QSaveFile refuses an existing target it cannot replace with English texts of its own.
    QString outputRefusal(const QFileInfo &existing) const
    {
        if (existing.isDir())
            return u"An ihrer Stelle liegt ein Ordner."_s;
        if (existing.exists() && !existing.isWritable())
            return notWritableReason(existing.filePath());
        return m_output.errorString();
    }

    SaveResult copyLines()
    {
        const qint64 length = m_input.size();
        qint64 progress = 0;
        AsteriskCounter asterisks(length);
        LineReader reader(m_input);
        while (const auto line = reader.next()) {
            progress += line->size() + 2;
            m_window.showProgress(asterisks.count(progress));
            m_window.runPendingEvents();
            if (m_window.stopRequested())
                return SaveResult::Stopped;
            appendOutputLine(*line);
            if (!m_writer.flushIfFull())
                return reportWriteFailure(m_writer.errorString());
        }
        if (reader.failed())
            return reportReadFailure(m_input.errorString());
        // Output from a file that shrank or grew while it was read matches no state of it.
        if (m_input.pos() != length)
            return reportInputChanged(length, m_input.pos());
        if (!m_writer.flush())
            return reportWriteFailure(m_writer.errorString());
        return SaveResult::Saved;
    }

    // The rating is read from its selector just before the line is rewritten, so a change made
    // while the save runs applies from the current line on.
    void appendOutputLine(QByteArrayView line)
    {
        const StrengthLine kind = classifyLine(line);
        int rating = 0;
        if (kind == StrengthLine::Start)
            rating = m_window.startRatingIndex();
        else if (kind == StrengthLine::Maximum)
            rating = m_window.maxRatingIndex();
        char *out = m_writer.room(maxRewrittenLineSize(line) + 2);
        out = writeRewrittenLine(out, line, kind, rating);
        *out++ = '\r';
        *out++ = '\n';
        m_writer.added(out);
    }

    bool commitOutput()
    {
        if (const QString reason = syncToDisk(m_output); !reason.isEmpty()) {
            m_output.cancelWriting();
            reportWriteFailure(reason);
            return false;
        }
        if (m_output.commit())
            return true;
        reportWriteFailure(m_output.errorString());
        return false;
    }

    SaveResult reportReadFailure(const QString &reason)
    {
        return reportFailure(u"Die Datei „%1“ konnte nicht gelesen werden."_s
                                 .arg(shown(m_input.fileName())),
                             reason);
    }

    SaveResult reportWriteFailure(const QString &reason)
    {
        return reportFailure(u"Die Datei „%1“ konnte nicht geschrieben werden."_s
                                 .arg(shown(m_output.fileName())),
                             reason);
    }

    SaveResult reportInputChanged(qint64 lengthAtStart, qint64 bytesRead)
    {
        return reportFailure(u"Die Datei „%1“ wurde während des Speicherns verändert."_s
                                 .arg(shown(m_input.fileName())),
                             u"Beim Start war sie %1 Bytes groß, gelesen wurden %2 Bytes."_s
                                 .arg(lengthAtStart)
                                 .arg(bytesRead),
                             u"Das Ergebnis wurde verworfen; eine frühere .new-Datei bleibt "
                             "unverändert."_s);
    }

    SaveResult reportFailure(const QString &what, const QString &reason,
                             const QString &outcome = NothingChanged)
    {
        m_failure = what + "\n\n"_L1 + withGermanMeaning(reason) + "\n\n"_L1 + outcome;
        return SaveResult::Failed;
    }

    SaveServices &m_window;
    QFile m_input;
    QSaveFile m_output;
    BlockWriter m_writer;
    QString m_failure;
};

} // namespace

SaveResult SaveStrengthFile(SaveServices &window)
{
    const QString folder = window.folderPath();
    const QString fileName = window.selectedFileName();
    if (fileName.isEmpty()) {
        window.showMessage(SaveServices::MessageIcon::Warning, SaveTitle,
                           u"Es ist keine Datei ausgewählt. Bitte wählen Sie zuerst eine Datei "
                           "aus der Dateiliste."_s);
        return SaveResult::Failed;
    }
    SaveResult result;
    QString failure;
    {
        StrengthFileSave save(window, folder + u'/' + fileName);
        result = save.run();
        failure = save.failure();
    } // both files are closed and any unfinished output is discarded here
    if (result == SaveResult::Saved)
        window.showMessage(SaveServices::MessageIcon::Information, SaveTitle,
                           u"Speichern erfolgreich"_s);
    else if (result == SaveResult::Failed)
        window.showMessage(SaveServices::MessageIcon::Warning, SaveTitle, failure);
    window.showProgress(0);
    return result;
}
