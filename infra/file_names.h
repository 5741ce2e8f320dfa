// The one answer to "may this name touch the disk?". Every name or path that comes from outside (the
// server, a client, a table or cache file, the command line) passes here before it names a file, so
// that nothing a peer sends can write or read outside the folder it is meant for.
// Stateless; any thread.
#pragma once

#include <QString>

// The last component of a path written with backslashes, slashes or a drive colon: the text after
// the last "\", "/" or ":". Server paths use backslashes.
QString FileNamePart(const QString& path);

// Whether name can name a file inside a folder and nothing else: not empty, not "." or "..", and
// without "\", "/", ":" or a NUL character.
bool IsPlainFileName(const QString& name);

// FileNamePart(path) when that is a plain file name, otherwise an empty text.
QString SafeFileName(const QString& path);

// A relative path, with "\" or "/" between its components, as a path below some folder with "/"
// between them; empty when it is empty, longer than 1024 characters, absolute, names a drive, holds
// a NUL character, or has an empty, "." or ".." component.
QString ConfinedPath(const QString& path);

// Whether a local path (relative to the working directory) stays below the working directory once
// its "." and ".." components are resolved.
bool StaysInWorkingDir(const QString& path);
