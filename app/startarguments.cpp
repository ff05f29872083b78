// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startarguments.h"

using namespace Qt::StringLiterals;

StartArguments parseStartArguments(const QStringList &arguments)
{
    using Task = StartArguments::Task;
    QStringList paths;
    bool optionsEnded = false;
    bool help = false;
    bool version = false;
    for (const QString &argument : arguments) {
        if (optionsEnded || argument == "-"_L1 || !argument.startsWith(u'-'))
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
           "Öffnet das Fenster, in dem Start- und Maximalsterne einer Stärke-Konfigurationsdatei\n"
           "(*_sp*.cfg) gewählt und nach DATEI.new gespeichert werden; die Datei selbst bleibt\n"
           "unverändert. Ohne Argument zeigt es den Ordner des Programms, mit einem ORDNER\n"
           "diesen, mit einer DATEI deren Ordner, und die Datei ist gewählt.\n"
           "\n"
           "  -h, --help  diese Hilfe\n"
           "  --version   die Version\n"
           "  --          was folgt, ist ein Name, auch wenn er mit „-“ beginnt\n"
           "\n"
           "Das Fenster braucht eine grafische Anzeige; diese Hilfe und die Version nicht.\n"
           "Rückgabewert: 0, 1 ohne grafische Anzeige, 2 falscher Aufruf.\n"
           "Viele Dateien auf einmal speichert kelvora-staerken.\n"_s;
}

QString startVersionText()
{
    return u"kelvora-staerkeneditor (Kelvora Stärkeneditor) %1\n"_s.arg(
        QLatin1StringView(KELVORA_VERSION));
}
