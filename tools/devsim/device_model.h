// The device side of the block protocol: turns received bytes into echoes and status bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "faults.h"

namespace talpir::devsim {

// What the device sends back for one chunk of received bytes. Each answer (a status byte and
// any noise after it) must leave in one write; the echo bytes around it may be split freely.
struct Output {
    struct Answer {
        std::size_t begin = 0;
        std::size_t size = 0;
    };
    std::vector<std::uint8_t> bytes;
    std::vector<Answer> answers;  // in order of begin

    void clear() {
        bytes.clear();
        answers.clear();
    }
};

// One answered send of a block, reported before its status byte leaves.
struct BlockEvent {
    std::uint32_t block = 0;   // block number within the transfer
    std::uint32_t send = 0;    // 0 for the first send, 1 for the first resend...
    std::uint64_t offset = 0;  // where the block starts in the transfer
    std::uint8_t status = 0;
    std::span<const std::uint8_t> wire;  // length bytes and payload as received
};

class DeviceModel {
public:
    using BlockListener = std::function<void(const BlockEvent&)>;

    explicit DeviceModel(Faults faults, BlockListener listener = {});

    // Takes received bytes and appends the device's reply to out.
    void feed(std::span<const std::uint8_t> in, Output& out);
    // Forgets the transfer in progress: the next byte starts block 0 of a new transfer.
    void reset();

    bool isSilent() const { return m_silent; }

private:
    std::size_t takeBytes(std::span<const std::uint8_t> in, Output& out);
    void corruptEcho(std::uint8_t* echo, std::size_t first, std::size_t count) const;
    void answerBlock(Output& out);
    std::uint8_t decideStatus() const;
    void startBlock();
    std::size_t wireSize() const;

    Faults m_faults;
    BlockListener m_listener;
    std::vector<std::uint8_t> m_wire;  // the block received so far
    std::uint32_t m_block = 0;
    std::uint32_t m_send = 0;
    std::uint64_t m_offset = 0;
    bool m_silent = false;
};

}  // namespace talpir::devsim
