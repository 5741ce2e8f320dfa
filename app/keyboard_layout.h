// The input language the login window shows and switches: layout names as 8-digit hexadecimal texts,
// "00000409" for English (US) and "00000419" for Russian. On X11 they map onto the XKB groups whose
// layouts are "us" and "ru"; without an X server (or a build without XKB) no layout is known.
//
// Thread-safety: UI thread only.
#pragma once

#include <QString>

inline const QString kLayoutEnglish = QStringLiteral("00000409");
inline const QString kLayoutRussian = QStringLiteral("00000419");

// The active layout's name, empty when it is neither known layout or none can be read.
QString ActiveKeyboardLayoutName();
// Makes the layout of that name active; false when it is not installed or cannot be switched to.
bool ActivateKeyboardLayout(const QString& name);

// "EN", "RU" or empty, for the active layout.
QString KeyboardLayoutIndicator();
