// Runs talpir-devsim, the simulated device, for a test: start, pty path, stop with a deadline.
//
// Tests find the binary through a compile definition set by their CMakeLists:
//   target_compile_definitions(my_test PRIVATE TALPIR_DEVSIM="$<TARGET_FILE:talpir-devsim>")
// and start it with DevSim sim(TALPIR_DEVSIM, {"--refuse-first", "1"});
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace talpir::test {

class DevSim {
public:
    // Starts program with args and waits at most startTimeout for the pty path it prints.
    // Its stderr goes to the test's stderr.
    explicit DevSim(const std::string& program, const std::vector<std::string>& args = {},
                    std::chrono::milliseconds startTimeout = std::chrono::seconds(10));
    ~DevSim();  // stop()
    DevSim(const DevSim&) = delete;
    DevSim& operator=(const DevSim&) = delete;

    // True when the device runs and its path is known; otherwise error() says why.
    bool isReady() const { return !m_path.empty(); }
    const std::string& error() const { return m_error; }
    // The pty slave to open as the device's serial port.
    const std::string& path() const { return m_path; }
    pid_t pid() const { return m_pid; }

    // Waits at most timeout for the device to exit by itself (as after --hangup-after); gives
    // its exit code, 128 + signal when a signal ended it, or nothing when it still runs.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    // SIGTERM, then SIGKILL when it has not ended within timeout; gives the exit code as
    // waitForExit does, or -1 when it had to be killed or never ran.
    int stop(std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    bool readPath(std::chrono::milliseconds timeout);
    int reap();

    pid_t m_pid = -1;
    int m_out = -1;  // the device's stdout; it hangs up when the device exits
    std::optional<int> m_exitCode;
    std::string m_path;
    std::string m_error;
};

// A fresh directory under the system's temporary directory, removed with all its content.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // A path for a file named name inside the directory (the file is not created).
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// The whole content of a file, as bytes; empty when it cannot be read.
std::vector<unsigned char> readFileBytes(const std::string& path);

}  // namespace talpir::test
