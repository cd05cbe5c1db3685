// Child processes for the link benchmarks: posix_spawn, a pidfd to wait on, wait4 for the usage.
#include "bench_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <tuple>

extern char** environ;

namespace talpir::bench {

namespace {

constexpr std::size_t kReadChunk = 4096;  // bytes taken from a pipe at a time

double toSeconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

std::string nameOf(const std::string& assignment) {
    return assignment.substr(0, assignment.find('='));
}

// Ours, with every variable of extra added or replaced.
std::vector<std::string> mergedEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string assignment = *entry;
        bool replaced = false;
        for (const std::string& mine : extra) {
            replaced = replaced || nameOf(mine) == nameOf(assignment);
        }
        if (!replaced) {
            merged.push_back(assignment);
        }
    }
    merged.insert(merged.end(), extra.begin(), extra.end());
    return merged;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

}  // namespace

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

std::int64_t monotonicNs(Clock::time_point when) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
}

Clock::time_point fromMonotonicNs(std::int64_t ns) {
    return Clock::time_point(
        std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(ns)));
}

LineLog::LineLog(int fd) : m_fd(fd), m_reader([this] { readAll(); }) {}

LineLog::~LineLog() {
    m_reader.join();
    ::close(m_fd);
}

void LineLog::readAll() {
    std::string partial;
    char buffer[kReadChunk];
    ssize_t got = 0;
    while ((got = ::read(m_fd, buffer, sizeof buffer)) != 0) {
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        const Clock::time_point now = Clock::now();
        partial.append(buffer, static_cast<std::size_t>(got));
        std::lock_guard lock(m_mutex);
        for (std::size_t end; (end = partial.find('\n')) != std::string::npos;) {
            m_lines.push_back({now, partial.substr(0, end)});
            partial.erase(0, end + 1);
        }
        m_changed.notify_all();
    }
    std::lock_guard lock(m_mutex);
    if (!partial.empty()) {
        m_lines.push_back({Clock::now(), partial});
    }
    m_ended = true;
    m_changed.notify_all();
}

std::optional<TimedLine> LineLog::waitFor(const std::function<bool(const TimedLine&)>& match,
                                          Clock::time_point deadline, std::size_t from,
                                          std::size_t* index) {
    std::unique_lock lock(m_mutex);
    for (std::size_t next = from;;) {
        for (; next < m_lines.size(); ++next) {
            if (match(m_lines[next])) {
                if (index != nullptr) {
                    *index = next;
                }
                return m_lines[next];
            }
        }
        if (m_ended || m_changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            return std::nullopt;
        }
    }
}

std::vector<TimedLine> LineLog::lines() {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

Child::Child(const std::vector<std::string>& argv, const ChildOptions& options) {
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    const bool captureOut = options.captureOut && ::pipe2(outPipe, O_CLOEXEC) == 0;
    const bool captureErr = options.captureErr && ::pipe2(errPipe, O_CLOEXEC) == 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    for (const auto& [pipeFds, target, capture] :
         {std::tuple{outPipe, STDOUT_FILENO, captureOut},
          std::tuple{errPipe, STDERR_FILENO, captureErr}}) {
        if (capture) {
            posix_spawn_file_actions_adddup2(&actions, pipeFds[1], target);
        } else {
            posix_spawn_file_actions_addopen(&actions, target, "/dev/null", O_WRONLY, 0);
        }
    }
    std::vector<std::string> args = argv;
    std::vector<std::string> extra = options.environment;
    m_started = Clock::now();
    if (!options.startStampVariable.empty()) {
        extra.push_back(options.startStampVariable + "=" + std::to_string(monotonicNs(m_started)));
    }
    std::vector<std::string> environment = mergedEnvironment(extra);
    const int failed = posix_spawn(&m_pid, args[0].c_str(), &actions, nullptr,
                                   pointers(args).data(), pointers(environment).data());
    posix_spawn_file_actions_destroy(&actions);
    for (int* pipeFds : {outPipe, errPipe}) {
        if (pipeFds[1] >= 0) {
            ::close(pipeFds[1]);
        }
    }
    if (failed != 0) {
        m_pid = -1;
    } else {
        m_pidFd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    }
    // A log on a pipe that never gets a writer ends at once.
    m_out = std::make_unique<LineLog>(captureOut ? outPipe[0] : ::open("/dev/null", O_RDONLY));
    m_err = std::make_unique<LineLog>(captureErr ? errPipe[0] : ::open("/dev/null", O_RDONLY));
}

Child::~Child() {
    if (started() && !m_usage) {
        wait(Clock::now());
    }
    if (m_pidFd >= 0) {
        ::close(m_pidFd);
    }
}

void Child::signal(int number) {
    if (started() && !m_usage) {
        ::kill(m_pid, number);
    }
}

Usage Child::wait(Clock::time_point deadline) {
    if (m_usage || !started()) {
        return m_usage.value_or(Usage{});
    }
    pollfd exit{m_pidFd, POLLIN, 0};
    bool ended = false;
    while (!ended) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const int ready =
            ::poll(&exit, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (ready > 0) {
            ended = true;
        } else if (ready == 0 || errno != EINTR) {
            break;
        }
    }
    Usage usage;
    usage.started = m_started;
    usage.ended = Clock::now();
    if (!ended) {
        ::kill(m_pid, SIGKILL);
    }
    int status = 0;
    rusage resources{};
    while (::wait4(m_pid, &status, 0, &resources) < 0 && errno == EINTR) {
    }
    usage.exited = ended && WIFEXITED(status);
    usage.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    usage.cpuSeconds = toSeconds(resources.ru_utime) + toSeconds(resources.ru_stime);
    usage.maxRssKb = resources.ru_maxrss;
    m_usage = usage;
    return usage;
}

}  // namespace talpir::bench
