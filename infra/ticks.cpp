#include "infra/ticks.h"

#include <time.h>

#include <utility>

namespace {

std::function<uint64_t()> ticksSource;
std::function<QDateTime()> dateTimeSource;

}  // namespace

uint64_t GetTicks() {
    if (ticksSource) {
        return ticksSource();
    }
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
        return 0;
    }
    return uint64_t(now.tv_sec) * 1'000'000'000u + uint64_t(now.tv_nsec);
}

QDateTime CurrentDateTime() {
    if (dateTimeSource) {
        return dateTimeSource();
    }
    return QDateTime::currentDateTime();
}

void SetTicksSource(std::function<uint64_t()> source) {
    ticksSource = std::move(source);
}

void SetDateTimeSource(std::function<QDateTime()> source) {
    dateTimeSource = std::move(source);
}
