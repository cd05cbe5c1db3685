// Paces what the simulated device sends at the rate of a real serial line, on absolute times so
// that rounding and late wake-ups do not add up.
#include "line_pacer.h"

#include <time.h>

#include <algorithm>
#include <cerrno>

namespace talpir::devsim {

namespace {

constexpr std::int64_t kNsPerSecond = 1'000'000'000;
constexpr std::int64_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit

std::int64_t nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * kNsPerSecond + now.tv_nsec;
}

// False when a signal with stop set cut the sleep short.
bool sleepUntil(std::int64_t when, const volatile std::sig_atomic_t& stop) {
    const timespec at{static_cast<time_t>(when / kNsPerSecond),
                      static_cast<long>(when % kNsPerSecond)};
    // A signal that came between two sleeps interrupts neither of them.
    int result = EINTR;
    while (result == EINTR && !stop) {
        result = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
    }
    return result == 0 && !stop;
}

}  // namespace

LinePacer::LinePacer(std::uint32_t baud)
    : m_byteNs(baud == 0 ? 0 : kBitsPerByte * kNsPerSecond / baud) {}

void LinePacer::arrived() {
    if (isPaced()) {
        m_lineFree = std::max(m_lineFree, nowNs());
    }
}

std::size_t LinePacer::waitForBytes(std::size_t pending, const volatile std::sig_atomic_t& stop) {
    if (!isPaced()) {
        return pending;
    }
    if (!sleepUntil(m_lineFree + m_byteNs, stop)) {
        return 0;
    }
    // After a late wake-up, send at once everything that is due by now.
    const std::int64_t due = (nowNs() - m_lineFree) / m_byteNs;
    const std::size_t count = std::clamp<std::int64_t>(due, 1, static_cast<std::int64_t>(pending));
    m_lineFree += static_cast<std::int64_t>(count) * m_byteNs;
    return count;
}

}  // namespace talpir::devsim
