// Interrupt requests on Windows: Ctrl+C and Ctrl+Break in the console.
#include <windows.h>

#include <atomic>

#include "cli/interrupt.h"

namespace talpir::cli {

namespace {

std::atomic<bool> g_interrupted{false};

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    // A second request falls through to the default handler, which ends the program.
    return g_interrupted.exchange(true) ? FALSE : TRUE;
}

}  // namespace

void installInterruptHandler() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool interrupted() {
    return g_interrupted.load();
}

}  // namespace talpir::cli
