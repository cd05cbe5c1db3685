// talpir-devsim: a simulated TALPIR device on a pseudo-terminal, for trying the programmer and
// for tests.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "device_server.h"
#include "options.h"
#include "pty_endpoint.h"

namespace {

using namespace talpir::devsim;

constexpr int kExitUsage = 1;  // bad command line or save file
constexpr int kExitPty = 2;    // the pty or its link cannot be set up, or failed

volatile std::sig_atomic_t g_stop = 0;
int g_wakeWrite = -1;  // write end of the pipe that wakes the server's poll

void onStopSignal(int) {
    g_stop = 1;
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = write(g_wakeWrite, &byte, 1);
}

// Returns the pipe's read end, or -1. No SA_RESTART: waits in sleeps and writes end at once.
int installStopSignals() {
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        return -1;
    }
    g_wakeWrite = wake[1];
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return wake[0];
}

int openSaveFile(const std::string& path) {
    if (path.empty()) {
        return -1;
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(("devsim: cannot open " + path).c_str());
    }
    return fd;
}

int serve(const Options& options, int saveFd) {
    PtyEndpoint pty;
    std::string error;
    if (!pty.open(error) || (!options.linkPath.empty() && !pty.makeLink(options.linkPath, error))) {
        std::fprintf(stderr, "devsim: %s\n", error.c_str());
        return kExitPty;
    }
    // Signals are caught before the path is out, so whoever reads it may stop us at once.
    const int wakeRead = installStopSignals();
    if (wakeRead < 0) {
        std::perror("devsim: pipe");
        return kExitPty;
    }
    DeviceServer server(pty, options, saveFd);
    std::printf("%s\n", pty.slavePath().c_str());
    std::fflush(stdout);
    const DeviceServer::Outcome outcome = server.run(g_stop, wakeRead);
    if (outcome == DeviceServer::Outcome::Failed) {
        std::perror("devsim: pty failed");
        return kExitPty;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "talpir-devsim: %s\n%s", error.c_str(), usageText());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    const int saveFd = openSaveFile(options.savePath);
    if (!options.savePath.empty() && saveFd < 0) {
        return kExitUsage;
    }
    const int result = serve(options, saveFd);
    if (saveFd >= 0) {
        close(saveFd);
    }
    return result;
}
