// Bytes the simulated device sends back, shared with the tests that check them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace talpir::devsim {

inline constexpr std::uint8_t kAccepted = 0x11;      // block taken
inline constexpr std::uint8_t kVersionError = 0x33;  // image made for another device version
inline constexpr std::uint8_t kRefused = 0x00;       // block refused: send it again
inline constexpr std::size_t kLengthBytes = 2;       // big-endian length in front of each block
inline constexpr std::uint8_t kBadEchoMask = 0xFF;   // a bad echo is the byte with all bits flipped

// Garbage a noisy line adds after a status byte.
inline constexpr std::array<std::uint8_t, 3> kNoise = {0xA5, 0x5A, 0xFF};

}  // namespace talpir::devsim
