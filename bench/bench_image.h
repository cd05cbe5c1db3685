// Update images for the link benchmarks, as update-file text and as raw bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace talpir::bench {

struct BenchImage {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> wireSizes;  // of each block, in order
};

// total bytes in blocks of `payload` bytes, the last one shorter to make total exact
// (total must leave no single byte over). Random payload from a fixed seed.
BenchImage makeImage(std::size_t total, std::size_t payload);

// Writes the image as update-file text (16 values a line) and, beside it, its raw bytes.
bool writeImage(const BenchImage& image, const std::string& textPath, const std::string& rawPath);

// Seconds the line needs at baud for each block, its echoes and the answer with a turn-around:
// the sum over blocks of (wire size + 2) characters of 10 bits.
double lineBoundSeconds(const BenchImage& image, int baud);

}  // namespace talpir::bench
