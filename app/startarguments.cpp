// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startarguments.h"

#include "platform/console.h"

using namespace Qt::StringLiterals;

StartArguments parseStartArguments(const QStringList &arguments)
{
    using Task = StartArguments::Task;
    QStringList paths;
    bool optionsEnded = false;
    bool help = false;
    bool version = false;
    for (const QString &argument : arguments) {
        if (!optionsEnded && argument == "/?"_L1) // how Windows programs are asked for help
            help = true;
        else if (optionsEnded || argument == "-"_L1 || !argument.startsWith(u'-'))
            paths.append(argument);
        else if (argument == "--"_L1)
            optionsEnded = true;
        else if (argument == "-h"_L1 || argument == "--help"_L1)
            help = true;
        else if (argument == "--version"_L1)
            version = true;
        else
            return {Task::WrongUsage, {}, u"Unbekannte Option %1."_s.arg(argument)};
    }
    if (help || version)
        return {help ? Task::Help : Task::Version, {}, {}};
    if (paths.size() > 1)
        return {Task::WrongUsage, {},
                u"Angegeben sind %1 Namen; das Fenster öffnet nur einen Ordner oder eine "
                "Datei."_s.arg(paths.size())};
    return {Task::Window, paths.value(0), {}};
}

QString startUsageText()
{
    return u"Aufruf: kelvora-staerkeneditor [ORDNER|DATEI]\n"
           "„kelvora-staerkeneditor --help“ erklärt mehr.\n"_s;
}

QString startHelpText()
{
    return u"Aufruf: kelvora-staerkeneditor [ORDNER|DATEI]\n"
           "\n"
           "Öffnet das Fenster, in dem man Start- und Maximalsterne für eine\n"
           "Stärke-Konfigurationsdatei (*_sp*.cfg) wählt und nach DATEI.new speichert; die\n"
           "Datei selbst bleibt unverändert. Ohne Angabe zeigt das Fenster den Ordner des\n"
           "Programms, mit einem ORDNER diesen Ordner, mit einer DATEI ihren Ordner, und die\n"
           "Datei ist gewählt.\n"
           "\n"
           "  %1diese Hilfe zeigen\n"
           "  --version       die Version zeigen\n"
           "  --              was folgt, ist ein Name, auch wenn er mit „-“ beginnt\n"
           "\n"
           "Hilfe und Version brauchen keine grafische Anzeige, das Fenster schon.\n"
           "Rückgabewert: 0 beendet, 1 keine grafische Anzeige oder die Ausgabe ließ sich\n"
           "nicht schreiben, 2 falscher Aufruf.\n"
           "Viele Dateien auf einmal speichert kelvora-staerken(1).\n"_s.arg(
               ConsoleCodePages ? u"-h, --help, /?  "_s : u"-h, --help      "_s);
}

QString startVersionText()
{
    return u"kelvora-staerkeneditor (Kelvora Stärkeneditor) %1\n"_s.arg(
        QLatin1StringView(KELVORA_VERSION));
}
