// Faults the simulated device can be told to make, per block of one transfer.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <vector>

namespace talpir::devsim {

struct BadEcho {
    std::uint32_t block = 0;  // block number within the transfer
    std::uint32_t index = 0;  // byte within the block, 0 = first length byte
};

struct Faults {
    std::uint32_t refuseFirst = 0;  // sends of every block refused before one is accepted
    std::set<std::uint32_t> refuseBlocks;
    std::set<std::uint32_t> versionErrors;
    std::vector<BadEcho> badEchoes;
    std::optional<std::uint32_t> silentFrom;  // block from which nothing is sent back
    bool noise = false;
};

}  // namespace talpir::devsim
