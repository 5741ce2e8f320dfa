#include "log_sink.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

bool IsJournalStream(const char* journalStream, int fd) {
    if (journalStream == nullptr) {
        return false;
    }
    struct stat st = {};
    if (fstat(fd, &st) != 0) {
        return false;
    }
    unsigned long long device = 0;
    unsigned long long inode = 0;
    char rest = 0;
    return sscanf(journalStream, "%llu:%llu%c", &device, &inode, &rest) == 2 &&
           device == static_cast<unsigned long long>(st.st_dev) &&
           inode == static_cast<unsigned long long>(st.st_ino);
}

LogSink::LogSink() : journal_(IsJournalStream(std::getenv("JOURNAL_STREAM"), fileno(stderr))) {}

QString LogSink::Escape(const QString& text) {
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n') {
            line += u' ';
        } else if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) {
            line += QStringLiteral("\\x") + QString::number(u, 16).toUpper().rightJustified(2, u'0');
        } else if (u == 0x2028 || u == 0x2029) {
            line += QStringLiteral("\\u") + QString::number(u, 16);
        } else {
            line += c;
        }
    }
    return line;
}

QByteArray LogSink::Format(LogPriority priority, const QString& text, const QDateTime& now) const {
    const QString line = Escape(text);
    if (journal_) {
        return QStringLiteral("<%1>%2\n").arg(int(priority)).arg(line).toUtf8();
    }
    return (now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QStringLiteral(" - ") + line + u'\n')
        .toUtf8();
}

void LogSink::Write(LogPriority priority, const QString& text) const {
    const QByteArray bytes = Format(priority, text, QDateTime::currentDateTime());
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}
