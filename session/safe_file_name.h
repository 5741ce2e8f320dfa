// File names that arrive from the server, reduced before they touch the local disk.
// Stateless; any thread.
#pragma once

#include <QString>

// The last path component of name: the text after its last "\", "/" or ":". Server paths use
// backslashes, so this is also how the file-name part of a server path is taken.
QString FileNamePart(const QString& name);

// FileNamePart(name), or an empty text when that part cannot name a file inside a local folder
// (empty, "." or "..", or holding a NUL character). Everything the server names is stored only under such a
// name, so nothing it sends can write outside the working directory's folders.
QString SafeFileName(const QString& name);
