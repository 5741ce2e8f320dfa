// The desktop tool's own options. They are looked at before the GUI starts, so that --help and
// --version work without a display; every other word is left to Qt (-platform, -style, ...).
// Stateless; any thread.
#pragma once

#include <QString>
#include <QStringList>

struct AppCommandLine {
    bool help = false;
    bool version = false;
    // Work in the per-user folder (see working_folder.h) instead of the current directory; the
    // desktop menu's entry starts the tool so.
    bool userFolder = false;
};

// args excludes the program name.
AppCommandLine ParseAppCommandLine(const QStringList& args);

// The text --help prints.
QString AppUsageText();
