// The settings file "setup.ini" in the working directory, read once at start-up by every program
// that logs in as the configuration tool (the desktop tool and the command-line client).
// The file is a Windows-style INI text in the code page: "[section]" lines and "key=value" lines.
// Section and key names match without regard to letter case, blanks around names and values are
// ignored, a value between matching quotes loses them, and lines starting with ';' or '#' are
// comments. A missing file, section or key leaves the default. Stateless; any thread.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

// Only this many bytes of the file are read; settings never come near it.
inline constexpr qsizetype kMaxSetupIniBytes = 1 << 20;

// The first value of key in section, or nothing when either is missing.
std::optional<QString> IniValue(QByteArrayView iniBytes, const QString& section, const QString& key);

// Reads an integer as the settings did: decimal, or hexadecimal after "$" or "0x", with an optional
// minus sign, within the signed 32-bit range; anything else gives the default.
int32_t IniInteger(const QString& text, int32_t defaultValue);

struct ServerSettings {
    QString host = QStringLiteral("127.0.0.1");
    uint16_t port = 9010;
};

// Reads "Address" and "Port" of section "ServerHost" from dir + "setup.ini"; dir ends with '/'.
// The port keeps the low 16 bits of the integer read; a value that is no integer gives 9010.
ServerSettings ReadServerSettings(const QString& dir);
