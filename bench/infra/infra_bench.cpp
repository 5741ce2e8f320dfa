// Prints the speed of the infrastructure's hot paths: scrambling next to memcpy of the same buffer,
// queue hand-over between two threads and on one, and key look-ups in a command text.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "infra/bytes.h"
#include "infra/json_text.h"
#include "infra/queues.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRound = std::chrono::milliseconds(700);

// Runs `step` until the round time has passed; returns steps per second.
template <typename Step>
double Rate(Step&& step) {
    long long steps = 0;
    const auto start = Clock::now();
    auto now = start;
    while (now - start < kRound) {
        for (int k = 0; k < 16; ++k) {
            step();
        }
        steps += 16;
        now = Clock::now();
    }
    return double(steps) / std::chrono::duration<double>(now - start).count();
}

void Scrambling() {
    constexpr int kSize = 1 << 20;
    QByteArray data(kSize, '\0');
    for (int k = 0; k < kSize; ++k) {
        data[k] = char(k * 31);
    }
    QByteArray copy(kSize, '\0');
    volatile char sink = 0;
    const double scrambles = Rate([&] { ScrambleBytes(data.data(), data.size(), 1); });
    const double copies = Rate([&] {
        std::memcpy(copy.data(), data.constData(), kSize);
        sink = sink + copy[kSize / 2];
    });
    const double mb = double(kSize) / 1e6;
    std::printf("scrambling (1 MiB buffer): %9.0f MB/s\n", scrambles * mb);
    std::printf("memcpy     (1 MiB buffer): %9.0f MB/s   scrambling = %.2f x memcpy\n", copies * mb,
                scrambles / copies);
}

template <typename Queue, typename Message>
void Handover(const char* label, const Message& message) {
    Queue queue;
    queue.SetSizeOch(1000);
    constexpr long long kPairs = 2'000'000;
    std::thread producer([&] {
        for (long long k = 0; k < kPairs;) {
            if (queue.PutSoob(message)) {
                ++k;
            } else {
                std::this_thread::yield();
            }
        }
    });
    Message taken;
    const auto start = Clock::now();
    for (long long k = 0; k < kPairs;) {
        if (queue.GetSoobD(taken)) {
            ++k;
        } else {
            std::this_thread::yield();
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    producer.join();
    std::printf("%s put+take between two threads: %9.0f pairs/s\n", label, double(kPairs) / seconds);
}

// The same hand-over without a second thread: the cost of a put and a take themselves (copying,
// allocation, locking), free of the scheduling that dominates the two-thread figure on a busy machine.
template <typename Queue, typename Message>
void OneThread(const char* label, const Message& message) {
    Queue queue;
    queue.SetSizeOch(1000);
    Message taken;
    const double pairs = Rate([&] {
        queue.PutSoob(message);
        queue.GetSoobD(taken);
    });
    std::printf("%s put+take on one thread:         %9.0f pairs/s\n", label, pairs);
}

void Lookups() {
    QString command =
        QStringLiteral("{\"$c$\":\"database\",\"command\":\"neteditdatadatabase\",\"table\":\"gps\",");
    for (int k = 0; command.size() < 960; ++k) {
        command += QStringLiteral("\"field%1\":\"value %1 with some text\",").arg(k);
    }
    command += QStringLiteral("\"n_abs\":12345,\"fields\":{\"name\":\"x\"}}");
    volatile qsizetype sink = 0;
    const double first = Rate([&] { sink = sink + GetJSONValue(command, QStringLiteral("command")).size(); });
    const double last = Rate([&] { sink = sink + GetJSONValue(command, QStringLiteral("n_abs")).size(); });
    std::printf(
        "GetJSONValue on a %lld-character command: %9.0f look-ups/s (key near the front), %9.0f "
        "look-ups/s (key at the end)\n",
        static_cast<long long>(command.size()), first, last);
}

}  // namespace

int main() {
    Scrambling();
    Handover<OchFIFOJSON>("OchFIFOJSON (32-character text)", QString(32, u'x'));
    Handover<OchFIFO>("OchFIFO (32-byte array)       ", QByteArray(32, 'x'));
    OneThread<OchFIFOJSON>("OchFIFOJSON (32-character text)", QString(32, u'x'));
    OneThread<OchFIFO>("OchFIFO (32-byte array)       ", QByteArray(32, 'x'));
    OneThread<OchFIFO>("OchFIFO (1020-byte datagram)  ", QByteArray(1020, 'x'));
    Lookups();
    return 0;
}
