// Interrupt requests on POSIX systems: SIGINT and SIGTERM.
#include <signal.h>

#include <atomic>

#include "cli/interrupt.h"

namespace talpir::cli {

namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void onSignal(int) {
    g_interrupted.store(true);
}

void catchSignal(int number) {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(number, &action, nullptr);
}

}  // namespace

void installInterruptHandler() {
    catchSignal(SIGINT);
    catchSignal(SIGTERM);
}

bool interrupted() {
    return g_interrupted.load();
}

}  // namespace talpir::cli
