// The device side of the block protocol: block framing, echo, status and injected faults.
#include "device_model.h"

#include <algorithm>
#include <utility>

#include "protocol.h"

namespace talpir::devsim {

namespace {
constexpr std::size_t kLargestWire = 0xFFFF + kLengthBytes;  // a block with the largest length
}

DeviceModel::DeviceModel(Faults faults, BlockListener listener)
    : m_faults(std::move(faults)), m_listener(std::move(listener)) {
    m_wire.reserve(kLargestWire);
    reset();
}

void DeviceModel::reset() {
    m_block = 0;
    m_send = 0;
    m_offset = 0;
    m_silent = false;
    startBlock();
}

void DeviceModel::feed(std::span<const std::uint8_t> in, Output& out) {
    while (!in.empty() && !m_silent) {
        in = in.subspan(takeBytes(in, out));
        if (m_wire.size() == wireSize()) {
            answerBlock(out);
        }
    }
}

// Takes the bytes of the current block that are in `in` (a length byte at a time until the
// length is known) and echoes them.
std::size_t DeviceModel::takeBytes(std::span<const std::uint8_t> in, Output& out) {
    const std::size_t first = m_wire.size();
    const std::size_t count = first < kLengthBytes ? 1 : std::min(in.size(), wireSize() - first);
    m_wire.insert(m_wire.end(), in.begin(), in.begin() + count);
    const std::size_t at = out.bytes.size();
    out.bytes.insert(out.bytes.end(), in.begin(), in.begin() + count);
    corruptEcho(out.bytes.data() + at, first, count);
    return count;
}

void DeviceModel::corruptEcho(std::uint8_t* echo, std::size_t first, std::size_t count) const {
    for (const BadEcho& bad : m_faults.badEchoes) {
        if (bad.block == m_block && bad.index >= first && bad.index < first + count) {
            echo[bad.index - first] ^= kBadEchoMask;
        }
    }
}

void DeviceModel::answerBlock(Output& out) {
    const std::uint8_t status = decideStatus();
    const Output::Answer answer{out.bytes.size(), m_faults.noise ? 1 + kNoise.size() : 1};
    out.bytes.push_back(status);
    if (m_faults.noise) {
        out.bytes.insert(out.bytes.end(), kNoise.begin(), kNoise.end());
    }
    out.answers.push_back(answer);
    if (m_listener) {
        m_listener({m_block, m_send, m_offset, status, m_wire});
    }
    if (status == kRefused) {
        ++m_send;
    } else {
        m_offset += m_wire.size();
        ++m_block;
        m_send = 0;
    }
    startBlock();
}

std::uint8_t DeviceModel::decideStatus() const {
    if (m_faults.refuseBlocks.contains(m_block) || m_send < m_faults.refuseFirst) {
        return kRefused;
    }
    return m_faults.versionErrors.contains(m_block) ? kVersionError : kAccepted;
}

void DeviceModel::startBlock() {
    m_wire.clear();
    m_silent = m_silent || (m_faults.silentFrom && m_block >= *m_faults.silentFrom);
}

// The block's size on the wire, or the length bytes alone while the length is still unknown.
std::size_t DeviceModel::wireSize() const {
    if (m_wire.size() < kLengthBytes) {
        return kLengthBytes;
    }
    return kLengthBytes + (std::size_t{m_wire[0]} << 8 | m_wire[1]);
}

}  // namespace talpir::devsim
