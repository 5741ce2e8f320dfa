#include "user_default.h"

#include <QFile>
#include <QStringList>

#include "infra/codepage.h"
#include "session/settings.h"

namespace {

const QString kSection = QStringLiteral("Main");
const QString kKey = QStringLiteral("UserDefault");
const QString kFile = QStringLiteral("setup.ini");

QByteArray ReadIni(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(kMaxSetupIniBytes) : QByteArray();
}

// The section a line opens, or a null text when it opens none.
QString SectionOf(const QString& line) {
    const QString trimmed = line.trimmed();
    const qsizetype close = trimmed.indexOf(u']');
    if (!trimmed.startsWith(u'[') || close < 1) {
        return {};
    }
    return trimmed.mid(1, close - 1).trimmed();
}

bool IsKeyLine(const QString& line) {
    const qsizetype equals = line.indexOf(u'=');
    return equals > 0 && line.left(equals).trimmed().compare(kKey, Qt::CaseInsensitive) == 0;
}

}  // namespace

QString ReadUserDefault(const QString& dir) {
    return IniValue(ReadIni(dir + kFile), kSection, kKey).value_or(QString());
}

bool WriteUserDefault(const QString& dir, const QString& user) {
    const QString path = dir + kFile;
    QString text = fromAnsi(ReadIni(path));
    const QString eol = text.contains(QStringLiteral("\r\n")) || text.isEmpty() ? QStringLiteral("\r\n")
                                                                                : QStringLiteral("\n");
    QStringList lines = text.split(eol);
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.removeLast();
    }
    const QString entry = kKey + u'=' + user;
    qsizetype sectionEnd = -1;
    bool inSection = false;
    bool written = false;
    for (qsizetype i = 0; i < lines.size() && !written; ++i) {
        const QString section = SectionOf(lines[i]);
        if (!section.isNull()) {
            inSection = section.compare(kSection, Qt::CaseInsensitive) == 0;
            if (inSection) {
                sectionEnd = i + 1;
            }
            continue;
        }
        if (inSection) {
            if (IsKeyLine(lines[i])) {
                lines[i] = entry;
                written = true;
            } else if (!lines[i].trimmed().isEmpty()) {
                sectionEnd = i + 1;
            }
        }
    }
    if (!written) {
        if (sectionEnd < 0) {
            lines << u'[' + kSection + u']';
            sectionEnd = lines.size();
        }
        lines.insert(sectionEnd, entry);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    const QByteArray bytes = toAnsi(lines.join(eol) + eol);
    return file.write(bytes) == bytes.size();
}
