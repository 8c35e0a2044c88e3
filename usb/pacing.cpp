#include "pacing.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace Pacing {

namespace {
std::atomic<bool> instantMode{false};
std::atomic<qint64> skippedUs{0};
std::atomic<qint64> totalMs{0};
std::atomic<int> timerScale{1};

std::chrono::steady_clock::time_point origin()
{
    static const auto start = std::chrono::steady_clock::now();
    return start;
}
} // namespace

void wait(int ms)
{
    if (ms <= 0)
        return;
    totalMs.fetch_add(ms, std::memory_order_relaxed);
    if (instantMode.load(std::memory_order_relaxed)) {
        skippedUs.fetch_add(qint64(ms) * 1000, std::memory_order_relaxed);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void setInstant(bool instant)
{
    instantMode.store(instant);
}

int interval(int ms)
{
    const int scaled = ms / timerScale.load(std::memory_order_relaxed);
    return scaled > 0 ? scaled : 1;
}

int timeout(int ms)
{
    // At scale 1 this is ms itself.
    return std::max(ms / timerScale.load(std::memory_order_relaxed), std::min(ms, 200));
}

void setTimerScale(int divisor)
{
    timerScale.store(divisor);
}

qint64 clockUs()
{
    const auto real = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - origin())
                          .count();
    return real + skippedUs.load(std::memory_order_relaxed);
}

qint64 requestedMs()
{
    return totalMs.load(std::memory_order_relaxed);
}

} // namespace Pacing
