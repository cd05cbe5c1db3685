// The programmer's end of the simulated device's pty, for the devsim tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace talpir::test {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::chrono::milliseconds kReplyTimeout{5000};  // a reply that never comes
inline constexpr std::chrono::milliseconds kQuietTime{200};      // how long silence is awaited

class Terminal {
public:
    // Opens path as a raw serial line; isOpen() tells whether that worked.
    explicit Terminal(const std::string& path);
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    bool send(const Bytes& bytes);
    // Reads until count bytes have come, the line hangs up or timeout passes.
    Bytes receive(std::size_t count, std::chrono::milliseconds timeout = kReplyTimeout);
    // True when nothing arrives for the whole time.
    bool staysQuiet(std::chrono::milliseconds time = kQuietTime);
    // True when the line hangs up within timeout; what arrived before goes to received.
    bool hangsUp(Bytes& received, std::chrono::milliseconds timeout = kReplyTimeout);

private:
    int m_fd = -1;
};

}  // namespace talpir::test
