// Whether a serial port has been let go: QSerialPort's lock file gone, no descriptor of ours on it.
#pragma once

#include <string>
#include <vector>

namespace talpir::test {

// Taken while the port exists: a link's target is resolved at once, as it may vanish with the
// device.
class PortWatch {
public:
    explicit PortWatch(const std::string& port);

    // A lock file of QSerialPort's names the port (under any of its names) in any lock folder.
    bool locked() const;
    // Such a lock file belongs to this process or to one that has ended. A lock of another
    // running program is not ours to judge: a hung-up pty's number is soon someone else's.
    bool leftBehind() const;
    // A descriptor of this process is open on the device.
    bool openHere() const;
    bool released() const { return !leftBehind() && !openHere(); }

    // Where the lock files would be; the first that exists, or empty.
    std::string lockFile() const;

private:
    std::string m_device;                  // the device's real path
    std::vector<std::string> m_lockFiles;  // every place QSerialPort may keep its lock
};

}  // namespace talpir::test
