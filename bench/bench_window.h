// Running the window driver (talpir-bench-window) the way talpir-programmer is run.
// A copy of it with its settings file beside it, on Qt's offscreen platform.
#pragma once

#include <map>
#include <string>

#include "bench_process.h"

namespace talpir::bench {

struct Context;

struct DriverRun {
    bool ok = false;  // it exited with 0: the transfer (or the abort) went as asked
    Usage usage;
    std::map<std::string, std::string> values;  // its key=value lines
};

// Copies the driver into the work folder and writes its settings file with port and file;
// returns the copy's path.
std::string prepareWindow(const Context& context, const std::string& port, const std::string& file);

// mode is "run" or "abort".
DriverRun runDriver(const std::string& exe, const std::string& mode, const std::string& port,
                    const std::string& file, Clock::time_point deadline);

}  // namespace talpir::bench
