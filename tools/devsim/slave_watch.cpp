// Counts opens and closes of the pty slave through inotify.
#include "slave_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>

namespace talpir::devsim {

namespace {
constexpr std::size_t kEventBuffer = 4096;  // many events at once; they carry no name here
}

SlaveWatch::~SlaveWatch() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool SlaveWatch::start(const std::string& slavePath) {
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0 && inotify_add_watch(m_fd, slavePath.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        close(m_fd);
        m_fd = -1;
    }
    return m_fd >= 0;
}

SlaveWatch::Change SlaveWatch::readEvents() {
    const bool wasOpen = isOpen();
    bool lastClosed = false;
    alignas(inotify_event) char buffer[kEventBuffer];
    ssize_t size = 0;
    while ((size = read(m_fd, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < size;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            at += sizeof event + event.len;
            if (event.mask & IN_OPEN) {
                ++m_opens;
            } else if ((event.mask & IN_CLOSE) && m_opens > 0 && --m_opens == 0) {
                lastClosed = true;
            }
        }
    }
    if (lastClosed) {
        return isOpen() ? Change::Reopened : Change::Closed;
    }
    return !wasOpen && isOpen() ? Change::Opened : Change::None;
}

}  // namespace talpir::devsim
