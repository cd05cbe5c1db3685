// The block layout the update image carries, and the check that an image can be sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace talpir::update {

inline constexpr std::size_t kLengthBytes = 2;     // big-endian length in front of each block
inline constexpr std::size_t kMaxWireSize = 2048;  // the port's transmit queue

struct Block {
    std::size_t offset = 0;  // of the first length byte in the image
    std::size_t length = 0;  // payload bytes
    std::size_t wireSize() const { return length + kLengthBytes; }
};

enum class LayoutProblem {
    None,
    Empty,          // no bytes at all
    TooLarge,       // more values than the image holds
    Truncated,      // a block (or its length field) runs past the bytes read
    BlockTooLarge,  // a block's wire size is over kMaxWireSize
};

struct LayoutVerdict {
    LayoutProblem problem = LayoutProblem::None;
    std::size_t offset = 0;  // of the bad block
    std::size_t blocks = 0;  // well-formed blocks before the problem (all of them when none)
    bool ok() const { return problem == LayoutProblem::None; }
};

// Length field of the block at offset; the caller makes sure two bytes are there.
std::size_t blockLength(std::span<const std::uint8_t> image, std::size_t offset);

// Walks the image block by block. tooLarge is the reader's flag.
LayoutVerdict checkLayout(std::span<const std::uint8_t> image, bool tooLarge = false);

// The well-formed blocks from the start, up to the first problem.
std::vector<Block> listBlocks(std::span<const std::uint8_t> image);

// The status-line text (Russian, UTF-8) for a verdict that is not ok.
std::string problemText(const LayoutVerdict& verdict);

}  // namespace talpir::update
