// The command line of mobcfg-cli: global options, then the command name and the command's own
// words. Parsing only checks the shape of the line; each command checks its own words.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

struct CliOptions {
    std::optional<QString> host;   // unset: "setup.ini" decides
    std::optional<uint16_t> port;  // unset: "setup.ini" decides
    QString user;
    QString password;
    double timeoutSeconds = 30;
    bool times = false;  // add wall-clock microseconds to every output line
    bool help = false;
    bool version = false;
    QString command;
    QStringList commandArgs;
};

struct ParsedArguments {
    std::optional<CliOptions> options;
    QString error;  // one English line when options is empty
};

// args excludes the program name.
ParsedArguments ParseArguments(const QStringList& args);

// The usage text printed for --help and after a usage error.
QString UsageText();
