// Child processes for the link benchmarks: timed output lines, exit and resource usage.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace talpir::bench {

using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC, the same in every process

double secondsBetween(Clock::time_point from, Clock::time_point to);
std::int64_t monotonicNs(Clock::time_point when);
Clock::time_point fromMonotonicNs(std::int64_t ns);

struct TimedLine {
    Clock::time_point at;
    std::string text;
};

// Lines read from one pipe by a thread of its own, stamped as they arrive.
class LineLog {
public:
    explicit LineLog(int fd);
    ~LineLog();
    LineLog(const LineLog&) = delete;
    LineLog& operator=(const LineLog&) = delete;

    // The first line from index `from` on that matches; nothing when the deadline passes
    // or the pipe ends first. index (when given) gets the line's place.
    std::optional<TimedLine> waitFor(const std::function<bool(const TimedLine&)>& match,
                                     Clock::time_point deadline, std::size_t from = 0,
                                     std::size_t* index = nullptr);
    std::vector<TimedLine> lines();

private:
    void readAll();

    int m_fd;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<TimedLine> m_lines;
    bool m_ended = false;
    std::thread m_reader;
};

struct Usage {
    bool exited = false;  // false: killed at the deadline, or never started
    int status = -1;      // exit status when it exited
    Clock::time_point started;
    Clock::time_point ended;
    double cpuSeconds = 0;  // user + system, all threads
    long maxRssKb = 0;

    double wallSeconds() const { return secondsBetween(started, ended); }
};

struct ChildOptions {
    std::vector<std::string> environment;  // "NAME=value" added to ours
    bool captureOut = false;               // else to /dev/null
    bool captureErr = false;
    // Put into the environment as NAME=<monotonic ns of the start>, taken just before it.
    std::string startStampVariable;
};

class Child {
public:
    Child(const std::vector<std::string>& argv, const ChildOptions& options);
    ~Child();  // kills it if still running
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return m_pid > 0; }
    Clock::time_point startTime() const { return m_started; }
    LineLog& out() { return *m_out; }
    LineLog& err() { return *m_err; }
    void signal(int number);
    // Waits for the end (killing it at the deadline) and reaps it.
    Usage wait(Clock::time_point deadline);

private:
    pid_t m_pid = -1;
    int m_pidFd = -1;
    Clock::time_point m_started;
    std::unique_ptr<LineLog> m_out;
    std::unique_ptr<LineLog> m_err;
    std::optional<Usage> m_usage;
};

}  // namespace talpir::bench
