// Where the server's log lines go: standard error, one line per event. When standard error is the
// system journal (the service manager names the journal's stream in JOURNAL_STREAM), each line starts
// with its syslog priority ("<6>", "<3>") and carries no time, since the journal stamps and ranks
// every line itself; anywhere else a line starts with the local time and " - ".
// Thread-safety: Write may be called from any thread; lines are written whole.
#pragma once

#include <QDateTime>
#include <QString>

enum class LogPriority { Error = 3, Info = 6 };

class LogSink {
  public:
    // Looks once whether standard error is the journal.
    LogSink();
    explicit LogSink(bool journal) : journal_(journal) {}

    void Write(LogPriority priority, const QString& text) const;
    // The bytes of one line as Write sends them.
    QByteArray Format(LogPriority priority, const QString& text, const QDateTime& now) const;
    // One event, one line, whatever a client put into the text: a line break becomes a blank, and
    // every other control character (a carriage return, an escape sequence's start, a line
    // separator) is written as \xHH or \uHHHH, so that no client can forge a line of the log or
    // play tricks on the terminal that shows it.
    static QString Escape(const QString& text);

  private:
    bool journal_;
};

// True when the JOURNAL_STREAM value ("device:inode") names the file open as descriptor fd.
bool IsJournalStream(const char* journalStream, int fd);
