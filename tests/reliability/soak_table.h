// The round of transfers a soak repeats: a device per fault, and how each transfer must end.
#pragma once

#include <string>
#include <vector>

#include "link/transfer_engine.h"

namespace talpir::test {

constexpr int kSoakTransfers = 200;   // TALPIR_SOAK_TRANSFERS may ask for another number
constexpr long kRssMarginKiB = 2048;  // growth of resident memory a soak may show

enum class SoakPort {
    Steady,   // a device that serves the whole soak
    Fresh,    // a device for one transfer (it hangs up)
    Missing,  // no device at that name
    Held,     // a device that another user of ours holds open
};

struct SoakStep {
    const char* name;
    std::vector<std::string> device;  // talpir-devsim options
    SoakPort port;
    link::Outcome outcome;  // the engine's, with an answer timeout
    std::string status;     // the status text it ends with; empty: none is set
    bool silent = false;    // waits on the device: the window aborts it, the engine gives up
};

const std::vector<SoakStep>& soakRound();
int soakTransfers();

}  // namespace talpir::test
