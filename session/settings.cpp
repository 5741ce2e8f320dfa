#include "session/settings.h"

#include <QFile>
#include <QStringList>

#include "infra/codepage.h"

namespace {

QString Unquoted(const QString& value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front()) {
        return value.mid(1, value.size() - 2);
    }
    return value;
}

}  // namespace

std::optional<QString> IniValue(QByteArrayView iniBytes, const QString& section, const QString& key) {
    const QString text = fromAnsi(iniBytes.first(std::min(iniBytes.size(), kMaxSetupIniBytes)));
    bool inSection = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.front() == u';' || line.front() == u'#') {
            continue;
        }
        if (line.front() == u'[') {
            const qsizetype close = line.indexOf(u']');
            inSection =
                close > 0 && line.mid(1, close - 1).trimmed().compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inSection || equals <= 0) {
            continue;
        }
        if (line.first(equals).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            return Unquoted(line.mid(equals + 1).trimmed().toString());
        }
    }
    return std::nullopt;
}

int32_t IniInteger(const QString& text, int32_t defaultValue) {
    QStringView digits = QStringView(text).trimmed();
    const bool negative = digits.startsWith(u'-');
    if (negative) {
        digits = digits.mid(1);
    }
    int base = 10;
    if (digits.startsWith(u'$')) {
        digits = digits.mid(1);
        base = 16;
    } else if (digits.startsWith(u"0x", Qt::CaseInsensitive)) {
        digits = digits.mid(2);
        base = 16;
    }
    if (digits.isEmpty() || digits.front() == u'-' || digits.front() == u'+') {
        return defaultValue;
    }
    bool ok = false;
    const qlonglong magnitude = digits.toLongLong(&ok, base);
    const qlonglong value = negative ? -magnitude : magnitude;
    if (!ok || value < INT32_MIN || value > INT32_MAX) {
        return defaultValue;
    }
    return int32_t(value);
}

ServerSettings ReadServerSettings(const QString& dir) {
    ServerSettings settings;
    QFile file(dir + QStringLiteral("setup.ini"));
    if (!file.open(QIODevice::ReadOnly)) {
        return settings;
    }
    const QByteArray bytes = file.read(kMaxSetupIniBytes);
    const QString section = QStringLiteral("ServerHost");
    if (const auto address = IniValue(bytes, section, QStringLiteral("Address"))) {
        settings.host = *address;
    }
    if (const auto port = IniValue(bytes, section, QStringLiteral("Port"))) {
        settings.port = uint16_t(uint32_t(IniInteger(*port, 9010)) & 0xFFFF);
    }
    return settings;
}
