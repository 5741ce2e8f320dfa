// Everything mobcfg-cli tells its caller: JSON lines on standard output, each written and flushed
// as soon as it is known so that a reader of a pipe sees events as they happen, and one-line
// English messages on standard error. Main thread only.
#pragma once

#include <QString>
#include <cstdint>

// text as a quoted JSON string (RFC 8259 escaping, UTF-8 on output).
QString JsonString(const QString& text);

// Wall-clock microseconds since the epoch.
int64_t NowMicros();

class Output {
  public:
    explicit Output(bool times) : times_(times) {}

    // Writes "{" + pairs + "}" as one line; pairs is a comma-separated list of "key":value texts.
    // With times on, "t_us" (atMicros, or now when 0) comes first.
    void Line(const QString& pairs, int64_t atMicros = 0);
    bool Times() const { return times_; }

    static void Error(const QString& message);

  private:
    bool times_;
};
