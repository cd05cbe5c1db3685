// talpir-flash info: what image an update file gives, and whether it can be sent.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/image_load.h"
#include "update/block_layout.h"

namespace talpir::cli {

namespace {

constexpr char kUsage[] =
    "Usage: talpir-flash info FILE\n"
    "\n"
    "Shows the image the update file FILE gives: its size, its blocks, where reading\n"
    "stopped, and whether the image can be sent.\n"
    "\n"
    "Exit status: 0 it can be sent, 1 usage error, 2 it cannot (unreadable, empty,\n"
    "damaged or too large).\n";

constexpr std::size_t kHeadRows = 10;  // blocks listed before an abridged middle
constexpr std::size_t kTailRows = 5;   // and after it
constexpr int kDosEnd = 0x1A;          // end-of-file mark of old editors: a normal end

// A byte shown safely on a terminal: 'X' (0x58), or only its code.
std::string describeChar(int c) {
    char text[32];
    if (c > 0x20 && c < 0x7F) {
        std::snprintf(text, sizeof text, "'%c' (0x%02X)", c, c);
    } else {
        std::snprintf(text, sizeof text, "0x%02X", c);
    }
    return text;
}

void printBlocks(const std::vector<update::Block>& blocks) {
    if (blocks.empty()) {
        return;
    }
    std::printf("  %8s  %6s  %9s\n", "offset", "length", "wire size");
    const bool abridged = blocks.size() > kHeadRows + kTailRows + 1;  // hides two rows or more
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (abridged && i == kHeadRows) {
            const std::size_t hidden = blocks.size() - kHeadRows - kTailRows;
            std::printf("  ... %zu more blocks ...\n", hidden);
            i = blocks.size() - kTailRows;
        }
        const update::Block& block = blocks[i];
        std::printf("  %8zu  %6zu  %9zu\n", block.offset, block.length, block.wireSize());
    }
}

void printStop(const update::ReadReport& report) {
    if (report.bomSkipped) {
        std::puts("Note: a UTF-8 byte-order mark at the start was skipped.");
    }
    if (report.tooLarge || report.stopChar < 0 || report.stopChar == kDosEnd) {
        return;
    }
    const bool sign = report.stopChar == '+' || report.stopChar == '-';
    std::printf(
        "Warning: reading stopped at offset %zu, at %s%s; the rest of the file is "
        "ignored.\n",
        report.stopOffset, describeChar(report.stopChar).c_str(),
        sign ? " with no digit after it" : "");
}

std::string verdictText(const update::LayoutVerdict& verdict, std::span<const std::uint8_t> image) {
    using update::LayoutProblem;
    const std::size_t at = verdict.offset;
    switch (verdict.problem) {
        case LayoutProblem::None:
            return "well-formed";
        case LayoutProblem::Empty:
            return "empty: the file gives no bytes";
        case LayoutProblem::TooLarge:
            return "too large: more than " + std::to_string(update::kImageCapacity) + " values";
        case LayoutProblem::Truncated:
            if (image.size() - at < update::kLengthBytes) {
                return "damaged: the length of the block at offset " + std::to_string(at) +
                       " runs past the end of the data";
            }
            return "damaged: the block at offset " + std::to_string(at) + " (length " +
                   std::to_string(update::blockLength(image, at)) +
                   ") runs past the end of the data";
        case LayoutProblem::BlockTooLarge:
            return "damaged: the block at offset " + std::to_string(at) + " is longer than " +
                   std::to_string(update::kMaxWireSize) + " bytes (length " +
                   std::to_string(update::blockLength(image, at)) + ")";
    }
    return {};
}

}  // namespace

int runInfo(int argc, char** argv) {
    std::string path;
    if (const auto exit = parseFileArgs("info", argc, argv, kUsage, path)) {
        return *exit;
    }
    const auto image = loadImage(path);
    if (!image) {
        return kExitBadFile;
    }
    const auto verdict = update::checkLayout(image->bytes, image->report.tooLarge);
    const auto blocks = update::listBlocks(image->bytes);
    std::printf("File:    %s\n", path.c_str());
    std::printf("Image:   %zu bytes\n", image->bytes.size());
    std::printf("Blocks:  %zu\n", blocks.size());
    printBlocks(blocks);
    printStop(image->report);
    std::printf("Verdict: %s\n", verdictText(verdict, image->bytes).c_str());
    return verdict.ok() ? kExitOk : kExitBadFile;
}

}  // namespace talpir::cli
