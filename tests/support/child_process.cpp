// Child: posix_spawn with both outputs on pipes, and a pidfd to see the exit among them.
#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iterator>

#include "support/spawn_util.h"

extern char** environ;

namespace talpir::test {

using namespace std::chrono_literals;

Child::Child(const std::string& program, const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return;
    }
    std::vector<std::string> strings{program};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv = pointers(strings);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    // The signal the test sends must not be blocked, whatever the test runner blocks.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    const int spawned =
        posix_spawn(&m_pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    m_outFd = out[0];
    m_errFd = err[0];
    if (spawned == 0) {
        // Through syscall(): the C library's header lacks C linkage for C++.
        m_pidFd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
    }
}

Child::~Child() {
    if (started() && !m_status) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    for (const int fd : {m_pidFd, m_outFd, m_errFd}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void Child::signal(int number) {
    if (started() && !m_status) {
        kill(m_pid, number);
    }
}

bool Child::waitForErr(const std::string& text, Clock::time_point deadline) {
    while (m_err.find(text) == std::string::npos) {
        if (!pump(deadline)) {
            return false;
        }
    }
    return true;
}

std::optional<int> Child::waitForExit(Clock::time_point deadline) {
    while (pump(deadline)) {
    }
    return m_status;
}

bool Child::pump(Clock::time_point deadline) {
    if (!started() || m_status) {
        return false;
    }
    pollfd fds[] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}, {m_pidFd, POLLIN, 0}};
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left <= 0ms || poll(fds, std::size(fds), static_cast<int>(left.count())) <= 0) {
        return false;
    }
    char buffer[4096];
    int* pipes[] = {&m_outFd, &m_errFd};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
        if (got > 0) {
            (i == 0 ? m_out : m_err).append(buffer, static_cast<std::size_t>(got));
        } else {
            close(*pipes[i]);
            *pipes[i] = -1;  // poll skips it from now on
        }
    }
    if (fds[2].revents != 0 && m_outFd < 0 && m_errFd < 0) {
        // Exited, and both pipes are drained: no output is lost.
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        return false;
    }
    return true;
}

}  // namespace talpir::test
