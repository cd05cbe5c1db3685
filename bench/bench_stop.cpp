// Stop latency: from the abort request to the port closed, for talpir-flash and the window.
// Both wait on a device that stays silent; talpir-flash gets SIGINT, the window an abort.
#include <signal.h>

#include <cstdio>
#include <string>
#include <thread>

#include "bench_link.h"
#include "bench_window.h"

namespace talpir::bench {

namespace {

constexpr int kInterruptedStatus = 130;                   // talpir-flash after Ctrl-C
constexpr auto kSettle = std::chrono::milliseconds(200);  // well into the wait for an echo
constexpr auto kEndDeadline = std::chrono::seconds(5);    // for the port to close after a stop
constexpr auto kAbortDeadline = std::chrono::seconds(30);

double msBetween(Clock::time_point from, Clock::time_point to) {
    return 1000 * secondsBetween(from, to);
}

// One interrupt: milliseconds until devsim saw the close and until the process had ended.
bool interruptFlash(const Context& context, DevSim& devsim, const std::string& file,
                    std::vector<double>& closeMs, std::vector<double>& exitMs) {
    const std::size_t from = devsim.logSize();
    ChildOptions options;
    options.captureErr = true;
    Child flash({context.flash(), "write", "--port", devsim.port(), file}, options);
    if (!flash.err().waitFor([](const TimedLine& l) { return l.text.starts_with("progress:"); },
                             Clock::now() + kStartDeadline)) {
        return fail("talpir-flash showed no progress line");
    }
    std::this_thread::sleep_for(kSettle);
    const Clock::time_point request = Clock::now();
    flash.signal(SIGINT);
    const auto closed = devsim.closeSeen(from, request, Clock::now() + kEndDeadline);
    const Usage usage = flash.wait(Clock::now() + kEndDeadline);
    if (!closed || !usage.exited || usage.status != kInterruptedStatus) {
        return fail("talpir-flash did not stop as asked (status " + std::to_string(usage.status) +
                    ")");
    }
    closeMs.push_back(msBetween(request, *closed));
    exitMs.push_back(msBetween(request, usage.ended));
    note(format("talpir-flash interrupted: port closed after %.2f ms, exited after %.2f ms",
                closeMs.back(), exitMs.back()));
    return true;
}

// One confirmed abort in the window: milliseconds until it was idle and until devsim saw the
// close.
bool abortWindow(const std::string& exe, DevSim& devsim, const std::string& file,
                 std::vector<double>& idleMs, std::vector<double>& closeMs) {
    const std::size_t from = devsim.logSize();
    const DriverRun run =
        runDriver(exe, "abort", devsim.port(), file, Clock::now() + kAbortDeadline);
    if (!run.ok || run.values.count("abort_ns") == 0 || run.values.count("idle_ns") == 0) {
        return fail("the window did not abort as asked");
    }
    const Clock::time_point request = fromMonotonicNs(std::stoll(run.values.at("abort_ns")));
    const Clock::time_point idle = fromMonotonicNs(std::stoll(run.values.at("idle_ns")));
    const auto closed = devsim.closeSeen(from, request, Clock::now() + kEndDeadline);
    if (!closed) {
        return fail("talpir-devsim saw no close after the window's abort");
    }
    idleMs.push_back(msBetween(request, idle));
    closeMs.push_back(msBetween(request, *closed));
    note(format("window aborted: idle after %.2f ms, port closed after %.2f ms", idleMs.back(),
                closeMs.back()));
    return true;
}

}  // namespace

bool measureStop(const Context& context) {
    const ImageFiles files = prepareImage(context, "stop", kSmallImage, kUsualPayload);
    DevSim devsim(context, {"--silent", "0"});
    if (!devsim.ready()) {
        return fail("talpir-devsim did not start");
    }
    std::vector<double> closeMs;
    std::vector<double> exitMs;
    for (int run = 0; run < context.runs; ++run) {
        if (!interruptFlash(context, devsim, files.text, closeMs, exitMs)) {
            return false;
        }
    }
    putResult("stop_flash_close_ms", median(closeMs), 2);
    putResult("stop_flash_exit_ms", median(exitMs), 2);
    return true;
}

bool measureWindowStop(const Context& context) {
    const ImageFiles files = prepareImage(context, "stop", kSmallImage, kUsualPayload);
    DevSim devsim(context, {"--silent", "0"});
    if (!devsim.ready()) {
        return fail("talpir-devsim did not start");
    }
    const std::string exe = prepareWindow(context, devsim.port(), files.text);
    std::vector<double> idleMs;
    std::vector<double> closeMs;
    for (int run = 0; run < context.runs; ++run) {
        if (!abortWindow(exe, devsim, files.text, idleMs, closeMs)) {
            return false;
        }
    }
    putResult("stop_window_idle_ms", median(idleMs), 2);
    putResult("stop_window_close_ms", median(closeMs), 2);
    return true;
}

}  // namespace talpir::bench
