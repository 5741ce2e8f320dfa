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

QByteArray LogSink::Format(LogPriority priority, const QString& text, const QDateTime& now) const {
    // One event, one line: a line break inside a text would start a line of its own.
    QString line = text;
    line.replace(u'\n', u' ');
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
