#include "infra/log.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <thread>

#include "infra/codepage.h"
#include "infra/files.h"
#include "infra/ticks.h"

namespace {

constexpr int32_t kBufferLines = 5000;
constexpr auto kPassPause = std::chrono::milliseconds(50);

// Dates are kept as days since 1899-12-30, the system's date-time epoch.
double DayNumber(const QDate& date) {
    return double(QDate(1899, 12, 30).daysTo(date));
}

int NumberOr(QStringView digits, int fallback) {
    if (digits.isEmpty()) {
        return fallback;
    }
    for (QChar c : digits) {
        if (c < u'0' || c > u'9') {
            return fallback;
        }
    }
    return digits.toInt();
}

// The date in a log file name "<name>_yyyymmdd.log" (after the prefix "<name>_"); anything unreadable or
// impossible counts as 1 January 2020, old enough to be removed at the first run.
QDate FileDate(const QString& fileName, qsizetype prefixLength) {
    const QDate oldest(2020, 1, 1);
    QStringView stamp = QStringView(fileName).sliced(prefixLength);
    const qsizetype dot = stamp.indexOf(u'.');
    if (dot >= 0) {
        stamp = stamp.first(dot);
    }
    const int year = NumberOr(stamp.mid(0, 4), 2000);
    const int month = NumberOr(stamp.mid(4, 2), 1);
    const int day = NumberOr(stamp.mid(6, 2), 1);
    const QDate date(year, month, day);
    if (!date.isValid() || year < 2020) {
        return oldest;
    }
    return date;
}

}  // namespace

TLog::TLog() : Dir(WorkingDir()) {
    QDir().mkpath(Dir + QStringLiteral("/logs"));
    Buffer.SetSizeOch(kBufferLines);
}

TLog::~TLog() {
    Stop();
}

void TLog::Execute() {
    while (!Terminated()) {
        Pass();
        std::this_thread::sleep_for(kPassPause);
    }
    // What was queued since the last pass is written before the thread ends: a short run (a
    // command-line client's load) may end before the next pass comes round.
    Pass();
}

void TLog::Pass() {
    const QString folder = Dir + QStringLiteral("/logs");
    if (!Log.load()) {
        while (Buffer.IsSoob()) {
            Buffer.DeleteSoob();
        }
    } else if (Buffer.IsSoob()) {
        const QDateTime now = CurrentDateTime();
        QDir().mkpath(folder);
        QFile file(folder + u'/' + name + u'_' + now.toString(QStringLiteral("yyyyMMdd")) +
                   QStringLiteral(".log"));
        // Unbuffered, so a failing write shows at once and its line stays queued for the next pass.
        if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            QString line;
            while (Buffer.GetSoob(line)) {
                const QString stamped =
                    CurrentDateTime().toString(QStringLiteral("hh:mm:ss")) + QStringLiteral(" - ") + line;
                const QByteArray bytes = toAnsi(stamped) + "\r\n";
                if (file.write(bytes) != bytes.size()) {
                    break;
                }
                Buffer.DeleteSoob();
            }
            file.close();
        }
    }

    if (LogDay == 0) {
        return;
    }
    const QDate today = CurrentDateTime().date();
    if (qint64(LogDayDate) == qint64(DayNumber(today))) {
        return;
    }
    LogDayDate = DayNumber(today);
    const QDate limit = today.addDays(-LogDay);
    const QString prefix = name + u'_';
    QDir logs(folder);
    const QStringList entries =
        logs.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        // Only this log's own files: another log whose name merely contains ours keeps its files.
        if (entry.startsWith(prefix) && FileDate(entry, prefix.size()) <= limit) {
            QFile::remove(logs.filePath(entry));
        }
    }
}
