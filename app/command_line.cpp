#include "app/command_line.h"

AppCommandLine ParseAppCommandLine(const QStringList& args) {
    AppCommandLine line;
    for (const QString& word : args) {
        if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            line.help = true;
        } else if (word == QLatin1String("--version")) {
            line.version = true;
        } else if (word == QLatin1String("--user-folder")) {
            line.userFolder = true;
        }
    }
    return line;
}

QString AppUsageText() {
    return QStringLiteral(
        "usage: mobcfg [--user-folder] [Qt options]\n"
        "       mobcfg --help | --version\n"
        "The configuration tool for mobile monitored objects. It works in the current directory:\n"
        "setup.ini (server address and port), temp/, logs/ and dd8/ are read and written there.\n"
        "  --user-folder  work in $XDG_DATA_HOME/mobcfg (~/.local/share/mobcfg) instead, made on first\n"
        "                 use with a setup.ini for a server on 127.0.0.1; the menu entry uses it\n");
}
