// Runs a program to its end for end-to-end tests (POSIX: fork, exec, poll over pipes).
#include "support/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "support/spawn_util.h"

extern char** environ;

namespace talpir::test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadSize = 64 * 1024;  // bytes taken from a pipe at a time

struct Pipe {
    int read = -1;
    int write = -1;
};

bool openPipe(Pipe& pipe) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    pipe = {fds[0], fds[1]};
    return true;
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view current = *entry;
        const auto name = current.substr(0, current.find('=') + 1);
        bool replaced = false;
        for (const std::string& item : extra) {
            replaced = replaced || item.starts_with(name);
        }
        if (!replaced) {
            merged.emplace_back(current);
        }
    }
    merged.insert(merged.end(), extra.begin(), extra.end());
    return merged;
}

// In the forked child: only async-signal-safe calls until exec.
[[noreturn]] void becomeProgram(const Pipe& in, const Pipe& out, const Pipe& err,
                                const Pipe& report, char** argv, char** envp) {
    ::dup2(in.read, STDIN_FILENO);
    ::dup2(out.write, STDOUT_FILENO);
    ::dup2(err.write, STDERR_FILENO);
    ::signal(SIGPIPE, SIG_DFL);
    ::execve(argv[0], argv, envp);
    const int error = errno;
    [[maybe_unused]] const auto written = ::write(report.write, &error, sizeof error);
    ::_exit(127);
}

// Feeds input and collects both outputs until they close or the deadline passes.
class Exchange {
public:
    Exchange(const std::string& input, int in, int out, int err, RunResult& result)
        : m_input(input), m_result(result), m_fds{in, out, err} {
        if (m_input.empty()) {
            closeFd(m_fds[0]);
        } else {
            ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) | O_NONBLOCK);
        }
    }
    ~Exchange() {
        for (int& fd : m_fds) {
            closeFd(fd);
        }
    }

    // False when the deadline passed first.
    bool run(Clock::time_point deadline);

private:
    void feed();
    void drain(int index, std::string& into);

    const std::string& m_input;
    std::size_t m_written = 0;
    RunResult& m_result;
    int m_fds[3];  // stdin (our writing end), stdout, stderr (our reading ends)
};

bool Exchange::run(Clock::time_point deadline) {
    while (m_fds[0] >= 0 || m_fds[1] >= 0 || m_fds[2] >= 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd polls[3];
        for (int i = 0; i < 3; ++i) {
            polls[i] = {m_fds[i], static_cast<short>(i == 0 ? POLLOUT : POLLIN), 0};
        }
        if (::poll(polls, 3, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            return false;
        }
        if (polls[0].revents != 0) {
            feed();
        }
        if (polls[1].revents != 0) {
            drain(1, m_result.out);
        }
        if (polls[2].revents != 0) {
            drain(2, m_result.err);
        }
    }
    return true;
}

void Exchange::feed() {
    const ssize_t n = ::write(m_fds[0], m_input.data() + m_written, m_input.size() - m_written);
    if (n > 0) {
        m_written += static_cast<std::size_t>(n);
    }
    if (m_written == m_input.size() || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        closeFd(m_fds[0]);  // all given, or the program stopped reading
    }
}

void Exchange::drain(int index, std::string& into) {
    char buffer[kReadSize];
    const ssize_t n = ::read(m_fds[index], buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
        closeFd(m_fds[index]);
    }
}

// Reaps pid; kills it when it is still running at the deadline.
void reap(pid_t pid, Clock::time_point deadline, RunResult& result) {
    int status = 0;
    while (true) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            break;
        }
        if (result.timedOut || Clock::now() >= deadline) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        ::poll(nullptr, 0, 1);  // its outputs are closed: it is on its way out
    }
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
}

bool startError(RunResult& result, const std::string& what, int error) {
    result.startError = what + ": " + std::strerror(error);
    return false;
}

// Fork and exec; true when the program is running. The pipes' other ends are closed here.
bool start(Pipe& in, Pipe& out, Pipe& err, char** argv, char** envp, pid_t& pid,
           RunResult& result) {
    Pipe report;
    if (!openPipe(report)) {
        return startError(result, "pipe", errno);
    }
    pid = ::fork();
    if (pid == 0) {
        becomeProgram(in, out, err, report, argv, envp);
    }
    const int forkError = errno;
    closeFd(in.read);
    closeFd(out.write);
    closeFd(err.write);
    closeFd(report.write);
    int execError = 0;
    const ssize_t n = pid < 0 ? 0 : ::read(report.read, &execError, sizeof execError);
    closeFd(report.read);
    if (pid < 0) {
        return startError(result, "fork", forkError);
    }
    if (n == sizeof execError) {
        ::waitpid(pid, nullptr, 0);
        return startError(result, argv[0], execError);
    }
    return true;
}

}  // namespace

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options) {
    ::signal(SIGPIPE, SIG_IGN);
    RunResult result;
    const auto deadline = Clock::now() + options.timeout;
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings = mergedEnvironment(options.environment);
    std::vector<char*> argv = pointers(argStrings);
    std::vector<char*> envp = pointers(envStrings);

    Pipe in, out, err;
    if (!openPipe(in) || !openPipe(out) || !openPipe(err)) {
        startError(result, "pipe", errno);
        for (int* fd : {&in.read, &in.write, &out.read, &out.write, &err.read, &err.write}) {
            closeFd(*fd);
        }
        return result;
    }
    pid_t pid = -1;
    if (!start(in, out, err, argv.data(), envp.data(), pid, result)) {
        for (int* fd : {&in.write, &out.read, &err.read}) {
            closeFd(*fd);
        }
        return result;
    }
    result.started = true;
    result.timedOut = !Exchange(options.input, in.write, out.read, err.read, result).run(deadline);
    reap(pid, deadline, result);
    return result;
}

std::string describe(const RunResult& result) {
    std::string text;
    if (!result.started) {
        text = "not started: " + result.startError;
    } else if (result.timedOut) {
        text = "killed at the deadline";
    } else if (result.signal != 0) {
        text = "ended by signal " + std::to_string(result.signal);
    } else {
        text = "exit code " + std::to_string(result.exitCode);
    }
    return result.err.empty() ? text : text + "; stderr: " + result.err;
}

}  // namespace talpir::test
