// Runs talpir-devsim for a test (posix_spawn, its stdout read with deadlines), temporary
// directories for its --save files.
#include "support/devsim_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/spawn_util.h"

extern char** environ;

namespace talpir::test {

namespace {

using Clock = std::chrono::steady_clock;

// Default dispositions and no blocked signals in the device, whatever the test runner set.
void resetSignals(posix_spawnattr_t& attributes) {
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGPIPE, SIGHUP}) {
        sigaddset(&defaults, signal);
    }
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
}

pid_t spawn(const std::string& program, const std::vector<std::string>& args, int outFd,
            std::string& error) {
    std::vector<std::string> strings{program};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv = pointers(strings);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    resetSignals(attributes);
    pid_t pid = -1;
    const int result =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        error = "cannot start " + program + ": " + std::strerror(result);
        return -1;
    }
    return pid;
}

}  // namespace

DevSim::DevSim(const std::string& program, const std::vector<std::string>& args,
               std::chrono::milliseconds startTimeout) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        m_error = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    m_pid = spawn(program, args, out[1], m_error);
    close(out[1]);
    m_out = out[0];
    if (m_pid > 0 && !readPath(startTimeout)) {
        stop();
    }
}

DevSim::~DevSim() {
    stop();
    if (m_out >= 0) {
        close(m_out);
    }
}

// The first line of the device's stdout is its pty path.
bool DevSim::readPath(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::string line;
    while (line.find('\n') == std::string::npos) {
        pollfd fd{m_out, POLLIN, 0};
        if (poll(&fd, 1, remainingMs(deadline)) <= 0) {
            m_error = "talpir-devsim printed no path in time";
            return false;
        }
        char buffer[256];
        const ssize_t size = read(m_out, buffer, sizeof buffer);
        if (size <= 0) {
            m_error = "talpir-devsim ended before printing its path";
            return false;
        }
        line.append(buffer, size);
    }
    m_path = line.substr(0, line.find('\n'));
    return true;
}

std::optional<int> DevSim::waitForExit(std::chrono::milliseconds timeout) {
    if (m_exitCode || m_pid <= 0) {
        return m_exitCode;
    }
    // The device never closes its stdout, so the pipe's hang-up means it has exited.
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        pollfd fd{m_out, POLLIN, 0};
        if (poll(&fd, 1, remainingMs(deadline)) <= 0) {
            return std::nullopt;
        }
        char buffer[256];
        if (read(m_out, buffer, sizeof buffer) <= 0) {
            break;
        }
    }
    m_exitCode = reap();
    return m_exitCode;
}

int DevSim::stop(std::chrono::milliseconds timeout) {
    if (m_pid <= 0) {
        return -1;
    }
    if (!m_exitCode) {
        kill(m_pid, SIGTERM);
        if (!waitForExit(timeout)) {
            kill(m_pid, SIGKILL);
            reap();
            m_exitCode = -1;
        }
    }
    return *m_exitCode;
}

int DevSim::reap() {
    int status = 0;
    pid_t result = 0;
    while ((result = waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (result < 0) {
        return -1;
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "talpir-XXXXXX").string();
    if (mkdtemp(pattern.data())) {
        m_path = pattern;
    }
}

TempDir::~TempDir() {
    if (!m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
}

std::vector<unsigned char> readFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace talpir::test
