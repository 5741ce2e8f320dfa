// The time seam: a steadily increasing tick count and the wall clock, both replaceable by tests.
#pragma once

#include <QDateTime>
#include <cstdint>
#include <functional>

// Monotonic ticks (nanoseconds of CLOCK_MONOTONIC unless a test installed its own source).
// Callers measure the rate themselves and only compare differences.
uint64_t GetTicks();

// Current local date and time (the real clock unless a test installed its own source).
QDateTime CurrentDateTime();

// Test seams. Passing an empty function restores the real source. Not thread-safe against
// concurrent readers: install before starting the threads under test.
void SetTicksSource(std::function<uint64_t()> source);
void SetDateTimeSource(std::function<QDateTime()> source);
