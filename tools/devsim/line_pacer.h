// Paces what the simulated device sends at the rate of a real serial line.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>

namespace talpir::devsim {

class LinePacer {
public:
    // baud 0: no pacing, every wait returns at once.
    explicit LinePacer(std::uint32_t baud);

    bool isPaced() const { return m_byteNs > 0; }
    // Marks the time bytes arrived: the line cannot send their echo earlier.
    void arrived();
    // Waits until the next byte has left the line; returns how many of `pending` bytes have left
    // by then (at least 1), or 0 when stop was set during the wait.
    std::size_t waitForBytes(std::size_t pending, const volatile std::sig_atomic_t& stop);

private:
    std::int64_t m_byteNs = 0;    // time of one byte: start bit, 8 data bits, stop bit
    std::int64_t m_lineFree = 0;  // when the line has sent everything scheduled so far
};

}  // namespace talpir::devsim
