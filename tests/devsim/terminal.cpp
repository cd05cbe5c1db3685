// The programmer's end of the simulated device's pty: raw line, reads with deadlines.
#include "terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

#include "support/spawn_util.h"

namespace talpir::test {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

Terminal::Terminal(const std::string& path) {
    m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios mode{};
    if (m_fd >= 0 && tcgetattr(m_fd, &mode) == 0) {
        cfmakeraw(&mode);
        tcsetattr(m_fd, TCSANOW, &mode);
    }
}

Terminal::~Terminal() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool Terminal::send(const Bytes& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t written = write(m_fd, bytes.data() + at, bytes.size() - at);
        if (written <= 0) {
            return false;
        }
        at += written;
    }
    return true;
}

Bytes Terminal::receive(std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    Bytes received(count);
    std::size_t have = 0;
    while (have < count) {
        pollfd fd{m_fd, POLLIN, 0};
        if (poll(&fd, 1, remainingMs(deadline)) <= 0) {
            break;
        }
        const ssize_t size = read(m_fd, received.data() + have, count - have);
        if (size <= 0) {
            break;
        }
        have += size;
    }
    received.resize(have);
    return received;
}

bool Terminal::staysQuiet(std::chrono::milliseconds time) {
    pollfd fd{m_fd, POLLIN, 0};
    return poll(&fd, 1, static_cast<int>(time.count())) == 0;
}

bool Terminal::hangsUp(Bytes& received, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        pollfd fd{m_fd, POLLIN, 0};
        if (poll(&fd, 1, remainingMs(deadline)) <= 0) {
            return false;
        }
        std::uint8_t buffer[256];
        const ssize_t size = (fd.revents & POLLIN) ? read(m_fd, buffer, sizeof buffer) : 0;
        if (size <= 0) {
            return true;
        }
        received.insert(received.end(), buffer, buffer + size);
    }
}

}  // namespace talpir::test
