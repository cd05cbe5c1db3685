// Fuzz target: the reader against the C library's own "%2X" loop, and the layout check.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "update/block_layout.h"
#include "update/update_reader.h"

namespace {

constexpr std::size_t kCapacity = 4096;  // small, so that "too large" is reached too

// What the C library gives for the same text, value by value.
std::vector<std::uint8_t> referenceBytes(const std::string& text, bool& tooLarge) {
    std::vector<std::uint8_t> out;
    const char* p = text.c_str();
    tooLarge = false;
    unsigned value = 0;
    int used = 0;
    while (std::sscanf(p, "%2X%n", &value, &used) == 1) {
        if (out.size() == kCapacity) {
            tooLarge = true;
            break;
        }
        out.push_back(static_cast<std::uint8_t>(value));
        p += used;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    // sscanf stops at a NUL byte; a file does not, so compare up to the first one only.
    const std::string upToNul(text.c_str());
    // The byte-order mark is skipped by the reader only.
    if (upToNul.rfind("\xEF\xBB\xBF", 0) == 0) {
        return 0;
    }

    std::vector<std::uint8_t> image(kCapacity);
    const talpir::update::ReadReport report = talpir::update::parseUpdateText(upToNul, image);
    bool refTooLarge = false;
    const std::vector<std::uint8_t> expected = referenceBytes(upToNul, refTooLarge);
    if (report.count != expected.size() || report.tooLarge != refTooLarge ||
        !std::equal(expected.begin(), expected.end(), image.begin())) {
        std::abort();
    }
    if (report.stopOffset > upToNul.size()) {
        std::abort();
    }

    // The layout check and the block list must agree with each other.
    const std::span<const std::uint8_t> bytes(image.data(), report.count);
    const talpir::update::LayoutVerdict verdict = talpir::update::checkLayout(bytes);
    const std::vector<talpir::update::Block> blocks = talpir::update::listBlocks(bytes);
    std::size_t end = 0;
    for (const auto& block : blocks) {
        if (block.offset != end || block.wireSize() > talpir::update::kMaxWireSize) {
            std::abort();
        }
        end += block.wireSize();
    }
    if (verdict.ok() != (report.count > 0 && end == report.count) ||
        verdict.blocks != blocks.size() || (!verdict.ok() && verdict.offset != end)) {
        std::abort();
    }
    return 0;
}
