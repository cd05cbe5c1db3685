// When a pseudo-terminal's slave is opened and closed, seen through inotify as it happens.
// A transfer can so be timed from the port's open to its close without looking at the line.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_process.h"

namespace talpir::bench {

class PortWatch {
public:
    explicit PortWatch(const std::string& slavePath);
    ~PortWatch();
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    bool watching() const { return m_fd >= 0; }
    // Seconds from the first open at or after `after` to the close that left the slave unused;
    // nothing when that is not seen by the deadline.
    std::optional<double> openSeconds(Clock::time_point after, Clock::time_point deadline);

private:
    struct Event {
        Clock::time_point at;
        bool open;
    };
    void readEvents();
    std::optional<double> seenOpenSeconds(Clock::time_point after) const;

    int m_fd = -1;
    int m_stop[2] = {-1, -1};  // wakes the reader at the end
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
    std::thread m_reader;
};

}  // namespace talpir::bench
