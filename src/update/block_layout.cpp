// The block layout of the update image: walking it, and naming what is wrong with it.
#include "update/block_layout.h"

#include "update/update_reader.h"

namespace talpir::update {

namespace {

// Walks the blocks from offset 0; calls onBlock for each well-formed one.
template <typename OnBlock>
LayoutVerdict walk(std::span<const std::uint8_t> image, OnBlock onBlock) {
    LayoutVerdict verdict;
    std::size_t offset = 0;
    while (offset < image.size()) {
        const std::size_t rest = image.size() - offset;
        const Block block{offset, rest < kLengthBytes ? 0 : blockLength(image, offset)};
        if (rest < kLengthBytes || block.wireSize() > rest) {
            verdict.problem = LayoutProblem::Truncated;
        } else if (block.wireSize() > kMaxWireSize) {
            verdict.problem = LayoutProblem::BlockTooLarge;
        }
        if (!verdict.ok()) {
            verdict.offset = offset;
            return verdict;
        }
        onBlock(block);
        ++verdict.blocks;
        offset += block.wireSize();
    }
    return verdict;
}

}  // namespace

std::size_t blockLength(std::span<const std::uint8_t> image, std::size_t offset) {
    return std::size_t{image[offset]} * 256 + image[offset + 1];
}

LayoutVerdict checkLayout(std::span<const std::uint8_t> image, bool tooLarge) {
    if (tooLarge) {
        return {LayoutProblem::TooLarge, 0, 0};
    }
    if (image.empty()) {
        return {LayoutProblem::Empty, 0, 0};
    }
    return walk(image, [](const Block&) {});
}

std::vector<Block> listBlocks(std::span<const std::uint8_t> image) {
    std::vector<Block> blocks;
    walk(image, [&blocks](const Block& block) { blocks.push_back(block); });
    return blocks;
}

std::string problemText(const LayoutVerdict& verdict) {
    const std::string offset = std::to_string(verdict.offset);
    switch (verdict.problem) {
        case LayoutProblem::None:
            return {};
        case LayoutProblem::Empty:
            return "Файл не содержит данных.";
        case LayoutProblem::TooLarge:
            return "Файл слишком велик: больше " + std::to_string(kImageCapacity) + " байт.";
        case LayoutProblem::Truncated:
            return "Файл повреждён: блок по смещению " + offset + " выходит за конец данных.";
        case LayoutProblem::BlockTooLarge:
            return "Файл повреждён: блок по смещению " + offset + " длиннее " +
                   std::to_string(kMaxWireSize) + " байт.";
    }
    return {};
}

}  // namespace talpir::update
