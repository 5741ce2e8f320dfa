// The last user name entered at login, kept as "UserDefault" of section "Main" in "setup.ini" in the
// working directory. Writing keeps every other line of the file as it was.
//
// Thread-safety: stateless; the login loop calls them on the UI thread.
#pragma once

#include <QString>

// dir ends with '/'. Empty when the file or the key is missing.
QString ReadUserDefault(const QString& dir);
// False when the file could not be written.
bool WriteUserDefault(const QString& dir, const QString& user);
