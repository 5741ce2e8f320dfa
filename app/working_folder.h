// The folder the desktop tool works in. Every path the tool uses is relative to its working
// directory, so a tool started from a terminal works where it was started. Started from the desktop's
// menu it works in a folder of its own for each user under the standard data location
// ($XDG_DATA_HOME/mobcfg, by default ~/.local/share/mobcfg), made on first use with a "setup.ini"
// that points at a server on 127.0.0.1 (an existing one is left as it is).
// Not thread-safe: it changes the process's working directory; call it at start, before any thread.
#pragma once

#include <QString>

// $XDG_DATA_HOME/mobcfg, without a trailing '/'.
QString UserFolderPath();

// Makes the per-user folder and its "setup.ini" when missing and makes it the working directory.
// False, with the reason in error, when that cannot be done; the working directory is then unchanged.
bool EnterUserFolder(QString& error);
