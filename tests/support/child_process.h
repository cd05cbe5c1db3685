// A program running in the background for end-to-end tests: its output as it comes, signals, and
// its exit, each waited for with a deadline.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace talpir::test {

class Child {
public:
    using Clock = std::chrono::steady_clock;

    Child(const std::string& program, const std::vector<std::string>& args);
    ~Child();  // kills it (SIGKILL) when it still runs
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return m_pidFd >= 0; }
    pid_t pid() const { return m_pid; }
    // Collects output until stderr holds text; false at the deadline or when it exited first.
    bool waitForErr(const std::string& text, Clock::time_point deadline);
    // Collects output until the program exits: its exit code (minus the signal that ended
    // it), or nothing at the deadline.
    std::optional<int> waitForExit(Clock::time_point deadline);
    void signal(int number);

    const std::string& out() const { return m_out; }
    const std::string& err() const { return m_err; }

private:
    bool pump(Clock::time_point deadline);  // false at the deadline, or when it exited

    pid_t m_pid = -1;
    int m_pidFd = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    std::string m_out;
    std::string m_err;
    std::optional<int> m_status;
};

}  // namespace talpir::test
