// The time seam: a steadily increasing tick count and the wall clock, both replaceable by tests.
#pragma once

#include <QDateTime>
#include <cstdint>
#include <functional>

// Monotonic ticks (nanoseconds of CLOCK_MONOTONIC unless a test installed its own source). Callers
// only compare differences.
uint64_t GetTicks();

// The rate of GetTicks: CLOCK_MONOTONIC counts nanoseconds, so there is nothing to measure. A test
// that installs its own source counts at this rate too.
inline constexpr uint64_t kTicksPerMs = 1'000'000;

// Current local date and time (the real clock unless a test installed its own source).
QDateTime CurrentDateTime();

// Test seams. Passing an empty function restores the real source. Not thread-safe against
// concurrent readers: install before starting the threads under test.
void SetTicksSource(std::function<uint64_t()> source);
void SetDateTimeSource(std::function<QDateTime()> source);
