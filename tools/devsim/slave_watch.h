// Counts opens and closes of the pty slave, so that a close followed at once by the next open
// still ends the transfer (the master's hang-up is gone again before anyone can poll for it).
#pragma once

#include <string>

namespace talpir::devsim {

class SlaveWatch {
public:
    enum class Change {
        None,
        Opened,    // the slave went from unused to open
        Closed,    // the last user closed it and nobody has opened it since
        Reopened,  // the last user closed it and someone opened it again
    };

    SlaveWatch() = default;
    ~SlaveWatch();
    SlaveWatch(const SlaveWatch&) = delete;
    SlaveWatch& operator=(const SlaveWatch&) = delete;

    // False when opens cannot be watched; the caller then relies on the master's hang-up.
    bool start(const std::string& slavePath);
    bool isWatching() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    bool isOpen() const { return m_opens > 0; }

    // Takes the pending open and close events.
    Change readEvents();
    // The master reported that nobody has the slave open.
    void forgetOpens() { m_opens = 0; }

private:
    int m_fd = -1;
    int m_opens = 0;  // open files on the slave
};

}  // namespace talpir::devsim
