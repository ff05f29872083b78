// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commandline.h"

#include "platform/console.h"

#include <algorithm>
#include <set>

using namespace Qt::StringLiterals;

namespace {

bool digitsOnly(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

class Parser
{
public:
    explicit Parser(const QStringList &arguments) : m_arguments(arguments) {}

    ParsedCommandLine run()
    {
        for (m_at = 0; m_at < m_arguments.size() && m_problem.isEmpty(); ++m_at) {
            const QString &arg = m_arguments.at(m_at);
            if (!m_optionsEnded && arg == "/?"_L1) // how Windows programs are asked for help
                m_wantsHelp = true;
            else if (m_optionsEnded || arg == "-"_L1 || !arg.startsWith(u'-'))
                m_result.paths.append(arg);
            else if (arg == "--"_L1)
                m_optionsEnded = true;
            else if (arg.startsWith("--"_L1))
                longOption(arg.sliced(2));
            else
                shortOptions(arg.sliced(1));
        }
        if (m_problem.isEmpty())
            checkTogether();
        if (!m_problem.isEmpty())
            return {std::nullopt, m_problem, m_result.utf8};
        return {m_result, {}, m_result.utf8};
    }

private:
    void longOption(QStringView option)
    {
        const qsizetype equals = option.indexOf(u'=');
        const QStringView name = equals < 0 ? option : option.first(equals);
        const std::optional<QString> attached =
            equals < 0 ? std::nullopt : std::optional(option.sliced(equals + 1).toString());
        const QString shown = u"--"_s + name.toString();
        if (name == "start"_L1 || name == "max"_L1 || name == "jobs"_L1) {
            const std::optional<QString> value = attached ? attached : nextValue(shown);
            if (value)
                valueOption(name == "start"_L1 ? 's' : name == "max"_L1 ? 'm' : 'j', shown, *value);
            return;
        }
        if (attached) {
            m_problem = u"Die Option %1 nimmt keinen Wert."_s.arg(shown);
            return;
        }
        if (name == "recursive"_L1)
            m_result.recursive = true;
        else if (name == "quiet"_L1)
            m_result.quiet = true;
        else if (name == "utf8"_L1)
            m_result.utf8 = true;
        else if (name == "show"_L1)
            setTask(Task::Show);
        else if (name == "json"_L1)
            m_result.json = true;
        else if (name == "dry-run"_L1)
            setTask(Task::DryRun);
        else if (name == "help"_L1)
            m_wantsHelp = true;
        else if (name == "version"_L1)
            m_wantsVersion = true;
        else
            m_problem = u"Unbekannte Option %1."_s.arg(shown);
    }

    // Flags bundle ("-rq"); -j takes the rest of its argument or the next one ("-j4", "-j 4").
    void shortOptions(QStringView flags)
    {
        for (qsizetype i = 0; i < flags.size() && m_problem.isEmpty(); ++i) {
            const QChar flag = flags.at(i);
            if (flag == u'r') {
                m_result.recursive = true;
            } else if (flag == u'q') {
                m_result.quiet = true;
            } else if (flag == u'h') {
                m_wantsHelp = true;
            } else if (flag == u'j') {
                const QStringView rest = flags.sliced(i + 1);
                const std::optional<QString> value =
                    rest.isEmpty() ? nextValue(u"-j"_s) : rest.toString();
                if (value)
                    valueOption('j', u"-j"_s, *value);
                return;
            } else {
                m_problem = u"Unbekannte Option -%1."_s.arg(flag);
            }
        }
    }

    std::optional<QString> nextValue(const QString &option)
    {
        if (m_at + 1 >= m_arguments.size()) {
            m_problem = u"Nach %1 fehlt der Wert."_s.arg(option);
            return std::nullopt;
        }
        return m_arguments.at(++m_at);
    }

    // A second value would silently override the first, which a script builder rarely means.
    void valueOption(char which, const QString &option, const QString &value)
    {
        if (!m_valuesGiven.insert(which).second) {
            m_problem = u"Die Option %1 steht mehr als einmal im Aufruf."_s.arg(option);
            return;
        }
        if (which == 'j') {
            jobsOption(option, value);
            return;
        }
        const std::optional<int> index = ratingIndexFromText(value);
        if (!index) {
            m_problem = u"„%1“ ist keine Bewertung für %2: erlaubt sind 0.0 bis 6.0 Sterne in "
                        "halben Schritten, etwa 3.5 oder 3,5."_s.arg(value, option);
            return;
        }
        (which == 's' ? m_result.startIndex : m_result.maxIndex) = *index;
    }

    // Digits only, as the ratings take them: " 4" and "+4" are as wrong as " 3" for --start.
    // A number too large for an int is just large.
    void jobsOption(const QString &option, const QString &value)
    {
        QStringView significant(value);
        while (significant.startsWith(u'0'))
            significant = significant.sliced(1);
        if (!digitsOnly(value) || significant.isEmpty()) {
            m_problem = u"%1 erwartet eine Anzahl ab 1, nicht „%2“."_s.arg(option, value);
            return;
        }
        m_result.jobsLowered = significant.size() > 2 || significant.toInt() > MaxJobs;
        m_result.jobs = m_result.jobsLowered ? MaxJobs : significant.toInt();
    }

    void setTask(Task task)
    {
        if (m_result.task != Task::Save && m_result.task != task)
            m_problem = u"--show und --dry-run schließen einander aus."_s;
        m_result.task = task;
    }

    void checkTogether()
    {
        if (m_wantsHelp || m_wantsVersion) {
            m_result.task = m_wantsHelp ? Task::Help : Task::Version;
            return;
        }
        const bool ratingsGiven = m_result.startIndex >= 0 || m_result.maxIndex >= 0;
        if (m_result.json && m_result.task != Task::Show) {
            m_problem = u"--json gibt es nur zusammen mit --show."_s;
        } else if (m_result.task == Task::Show && ratingsGiven) {
            m_problem = u"--show zeigt nur, was die Dateien enthalten, und nimmt weder --start "
                        "noch --max."_s;
        } else if (m_result.task != Task::Show
                   && (m_result.startIndex < 0 || m_result.maxIndex < 0)) {
            m_problem = u"Es fehlt %1: beide Bewertungen sind anzugeben."_s.arg(
                m_result.startIndex < 0 ? u"--start"_s : u"--max"_s);
        } else if (m_result.paths.isEmpty()) {
            m_problem = u"Es ist keine Datei und kein Ordner angegeben."_s;
        } else if (m_result.maxIndex >= 0 && m_result.maxIndex < m_result.startIndex) {
            // As the window's lists do: the maximum never stays below the start.
            m_result.maxIndex = m_result.startIndex;
            m_result.maxRaised = true;
        }
    }

    const QStringList &m_arguments;
    qsizetype m_at = 0;
    bool m_optionsEnded = false;
    bool m_wantsHelp = false;
    bool m_wantsVersion = false;
    std::set<char> m_valuesGiven;
    Invocation m_result;
    QString m_problem;
};

} // namespace

ParsedCommandLine parseCommandLine(const QStringList &arguments)
{
    return Parser(arguments).run();
}

// Whole stars, then nothing, ".5", ",5" or either with more zeros: counted exactly, without
// floating point, so that "3.50" is accepted and "3.25" is not.
std::optional<int> ratingIndexFromText(const QString &text)
{
    qsizetype point = text.indexOf(u'.');
    if (point < 0)
        point = text.indexOf(u',');
    const QString whole = point < 0 ? text : text.left(point);
    QString fraction = point < 0 ? QString() : text.sliced(point + 1);
    if (whole.isEmpty() || whole.size() > 2 || !digitsOnly(whole) || !digitsOnly(fraction)
        || (point >= 0 && fraction.isEmpty()))
        return std::nullopt;
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    if (!fraction.isEmpty() && fraction != "5"_L1)
        return std::nullopt;
    const int index = whole.toInt() * 2 + (fraction.isEmpty() ? 0 : 1);
    if (index >= RatingIndexCount)
        return std::nullopt;
    return index;
}

namespace {

QString synopsis()
{
    return u"Aufruf: kelvora-staerken [OPTIONEN] --start STERNE --max STERNE DATEI|ORDNER...\n"
           "        kelvora-staerken [OPTIONEN] --show [--json] DATEI|ORDNER...\n"
           "        kelvora-staerken --help | --version\n"_s;
}

// One line for each request to stop this system knows, with the exit status it ends with:
// "  130  nach Strg+C,".
QString stopStatuses()
{
    const QList<StopRequest> requests = stopRequests();
    QString lines;
    for (const StopRequest &request : requests) {
        const QString how = [&] {
            switch (request.way) {
            case StopRequest::Way::CtrlC:
                return u"nach Strg+C"_s;
            case StopRequest::Way::CtrlBreak:
                return u"nach Strg+Untbr"_s;
            case StopRequest::Way::Termination:
                return u"nach SIGTERM"_s;
            case StopRequest::Way::TerminalClosed:
                return u"nach SIGHUP (das Terminal wurde geschlossen)"_s;
            case StopRequest::Way::ConsoleClosed:
                return u"nach dem Schließen des Konsolenfensters"_s;
            }
            return QString();
        }();
        lines += u"  %1  %2%3\n"_s.arg(128 + request.signal)
                     .arg(how, &request == &requests.last() ? u"."_s : u","_s);
    }
    return lines;
}

} // namespace

QString usageText()
{
    return synopsis() + u"„kelvora-staerken --help“ erklärt alle Optionen.\n"_s;
}

QString helpText()
{
    const QString wildcards = ShellExpandsWildcards
        ? QString()
        : u"„*“ und „?“ im letzten Teil eines Arguments ersetzt das Programm selbst durch\n"
          "die passenden Dateien und Ordner, ohne Rücksicht auf Groß- und\n"
          "Kleinschreibung.\n"_s;
    const QString utf8 = ConsoleCodePages
        ? u"  --utf8           Umgeleitete Ausgabe in UTF-8 statt in der Codepage der\n"
          "                   Konsole.\n"_s
        : QString();
    return synopsis()
        + u"\n"
          "Setzt Start- und Maximalsterne in Stärke-Konfigurationsdateien (*_sp*.cfg)\n"
          "wie „Speichern“ im Kelvora Stärkeneditor: Jede DATEI wird nach DATEI.new\n"
          "geschrieben, die Datei selbst bleibt unverändert. Ein ORDNER steht für seine\n"
          "*_sp*.cfg-Dateien (Groß- und Kleinschreibung egal).\n"_s
        + wildcards
        + u"\n"
          "  --start STERNE   Startsterne, 0.0 bis 6.0 in halben Schritten (auch 3,5).\n"
          "  --max STERNE     Maximalsterne; unter den Startsternen werden sie auf diese\n"
          "                   angehoben.\n"
          "  --dry-run        Nichts schreiben, nur zählen, welche Zeilen umgeschrieben\n"
          "                   würden.\n"
          "  --show           Nichts schreiben, nur zeigen, welche Werte die Start- und\n"
          "                   Maximalzeilen jetzt tragen.\n"
          "  --json           Mit --show: je Datei eine Zeile JSON mit Pfad, gefundenen\n"
          "                   Bewertungen, Zahl der Zeilen und Fehler.\n"
          "  -r, --recursive  Auch in Unterordnern suchen.\n"
          "  -j, --jobs N     N Dateien gleichzeitig bearbeiten, höchstens %1 (Vorgabe:\n"
          "                   eine je Prozessorkern); mehr werden auf %1 gesenkt.\n"
          "  -q, --quiet      Keine Fortschrittsanzeige, keine Erfolgsmeldungen, keine\n"
          "                   Hinweise; die Zusammenfassung nur, wenn etwas fehlschlug.\n"
          "%2"
          "  %3Diese Hilfe ausgeben.\n"
          "  --version        Die Version ausgeben.\n"
          "\n"
          "Werte stehen ohne Leerzeichen und Vorzeichen: „-j 4“, „--start 3,5“. Jede\n"
          "Option mit Wert darf nur einmal stehen.\n"
          "Fehler nennen Datei und Grund; die übrigen Dateien werden trotzdem bearbeitet.\n"
          "Eine Datei ohne Start- und Maximalzeile wird mit einer Warnung gespeichert.\n"
          "Am Ende sagt eine Zeile auf der Standardfehlerausgabe, wie viele Dateien\n"
          "gespeichert wurden und wie viele nicht.\n"
          "\n"
          "Rückgabewert: 0 alles gespeichert (oder gezeigt), 1 mindestens eine Datei\n"
          "oder ein Ordner ging nicht, 2 falscher Aufruf, 3 die Ausgabe ließ sich nicht\n"
          "schreiben (die Dateien wurden trotzdem bearbeitet). Wird es abgebrochen, gibt\n"
          "es zurück:\n"_s.arg(QString::number(MaxJobs), utf8,
                                 ConsoleCodePages ? u"-h, --help, /?   "_s : u"-h, --help       "_s)
        + stopStatuses();
}

QString versionText()
{
    return u"kelvora-staerken (Kelvora Stärkeneditor) %1\n"_s.arg(QLatin1StringView(KELVORA_VERSION));
}
