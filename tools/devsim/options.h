// Command line of talpir-devsim.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "faults.h"

namespace talpir::devsim {

enum class Verbosity { Quiet, Normal, Verbose };

struct Options {
    Faults faults;
    std::optional<std::uint64_t> hangupAfter;  // bytes received before the line hangs up
    std::uint32_t baud = 0;                    // 0: echo as fast as the pty takes it
    std::string linkPath;
    std::string savePath;
    Verbosity verbosity = Verbosity::Normal;
    bool help = false;
};

// Fills options from argv; false with error set on a usage error.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);
const char* usageText();

}  // namespace talpir::devsim
