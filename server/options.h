// The stand-in server's settings: the command line and, with --config, a configuration file.
//
// A configuration file holds "name = value" lines whose names are the long options without their
// dashes ("port = 9010", "user = alice:secret"); a flag stands alone or takes yes/no ("demo",
// "demo = no"); blank lines and lines starting with '#' or ';' are ignored. The file's values come
// first and the command line's override them; users named in both places all count. With a
// configuration file the users named are all the users the server knows (see
// ServerOptions::exactUsers), which is what a reload re-reads. Stateless; any thread.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include "server.h"

// Only this many bytes of a configuration file are read; a longer file is refused.
inline constexpr qsizetype kMaxConfigBytes = 1 << 20;

enum class ServerCommand { Run, Help, Version };

struct ServerCommandLine {
    ServerCommand command = ServerCommand::Run;
    ServerOptions options;
    QString configFile;  // empty: none given
    QString error;       // one English line when the settings cannot be used
};

// args excludes the program name. Reads the configuration file that --config names.
ServerCommandLine ParseServerCommandLine(const QStringList& args);

// The option words a configuration text stands for ("--port", "9010", ...). A line that is not a
// setting gives an error naming its number.
QStringList ConfigWords(QByteArrayView text, QString& error);

// The text --help prints.
QString ServerUsageText();
