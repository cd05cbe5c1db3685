// PortWatch: an inotify watch on the slave, read by a thread that stamps each event.
#include "port_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>

namespace talpir::bench {

namespace {
constexpr std::size_t kEventBuffer = 4096;  // room for many events; they carry no name here
}

PortWatch::PortWatch(const std::string& slavePath) {
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0 && inotify_add_watch(m_fd, slavePath.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_fd >= 0 && ::pipe2(m_stop, O_CLOEXEC) == 0) {
        m_reader = std::thread([this] { readEvents(); });
    }
}

PortWatch::~PortWatch() {
    if (m_reader.joinable()) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t ignored = ::write(m_stop[1], &byte, 1);
        m_reader.join();
    }
    for (const int fd : {m_fd, m_stop[0], m_stop[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void PortWatch::readEvents() {
    pollfd fds[] = {{m_fd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
    alignas(inotify_event) char buffer[kEventBuffer];
    while (::poll(fds, 2, -1) >= 0 && !(fds[1].revents & POLLIN)) {
        const Clock::time_point now = Clock::now();
        ssize_t size = 0;
        while ((size = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            std::lock_guard lock(m_mutex);
            for (ssize_t at = 0; at < size;) {
                inotify_event event;
                std::memcpy(&event, buffer + at, sizeof event);
                at += static_cast<ssize_t>(sizeof event + event.len);
                if (event.mask & (IN_OPEN | IN_CLOSE)) {
                    m_events.push_back({now, (event.mask & IN_OPEN) != 0});
                }
            }
            m_changed.notify_all();
        }
    }
}

std::optional<double> PortWatch::openSeconds(Clock::time_point after, Clock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    std::optional<double> seconds;
    m_changed.wait_until(lock, deadline,
                         [&] { return (seconds = seenOpenSeconds(after)).has_value(); });
    return seconds;
}

std::optional<double> PortWatch::seenOpenSeconds(Clock::time_point after) const {
    std::optional<Clock::time_point> opened;
    int users = 0;
    for (const Event& event : m_events) {
        if (event.at < after) {
            continue;
        }
        users += event.open ? 1 : -1;
        if (event.open && !opened) {
            opened = event.at;
        } else if (opened && users == 0) {
            return secondsBetween(*opened, event.at);
        }
    }
    return std::nullopt;
}

}  // namespace talpir::bench
