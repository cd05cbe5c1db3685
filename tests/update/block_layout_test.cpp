// The block layout check: which images can be sent, and what the operator is told otherwise.
#include "update/block_layout.h"

#include <gtest/gtest.h>

#include "update/update_reader.h"

namespace talpir::update {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A block with the given length field and payload bytes (all 0x5A).
Bytes block(std::size_t length, std::size_t payload) {
    Bytes bytes{static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length & 0xFF)};
    bytes.insert(bytes.end(), payload, 0x5A);
    return bytes;
}
Bytes block(std::size_t length) {
    return block(length, length);
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes bytes;
    for (const Bytes& part : parts) {
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

struct LayoutCase {
    const char* name;
    Bytes image;
    bool tooLarge;
    LayoutProblem problem;
    std::size_t offset;
    std::size_t blocks;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.name;
}

const LayoutCase kLayoutCases[] = {
    {"Empty", {}, false, LayoutProblem::Empty, 0, 0},
    {"OneBlock", {0x00, 0x03, 0x41, 0x42, 0x43}, false, LayoutProblem::None, 0, 1},
    {"TwoBlocks", {0, 3, 0x41, 0x42, 0x43, 0, 2, 1, 2}, false, LayoutProblem::None, 0, 2},
    {"ZeroLength", block(0), false, LayoutProblem::None, 0, 1},
    {"LargestWireSize", join({block(1), block(2046)}), false, LayoutProblem::None, 0, 2},
    {"HighByteCounts", block(0x0102), false, LayoutProblem::None, 0, 1},
    {"TooLarge", block(3), true, LayoutProblem::TooLarge, 0, 0},
    {"HalfALengthField", {0x00}, false, LayoutProblem::Truncated, 0, 0},
    {"ShortPayload", block(3, 2), false, LayoutProblem::Truncated, 0, 0},
    {"LastBlockShort", join({block(1), block(5, 4)}), false, LayoutProblem::Truncated, 3, 1},
    {"TrailingByte", join({block(1), {0x00}}), false, LayoutProblem::Truncated, 3, 1},
    {"OverWireLimit", block(2047), false, LayoutProblem::BlockTooLarge, 0, 0},
    {"LaterOverLimit", join({block(0), block(4000), block(1)}), false, LayoutProblem::BlockTooLarge,
     2, 1},
    {"HugeAndShort", block(0xFFFF, 10), false, LayoutProblem::Truncated, 0, 0},
};

class CheckLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(CheckLayout, GivesTheVerdictAndTheBlocksBeforeIt) {
    const LayoutCase& c = GetParam();
    const LayoutVerdict verdict = checkLayout(c.image, c.tooLarge);
    EXPECT_EQ(verdict.problem, c.problem);
    EXPECT_EQ(verdict.offset, c.offset);
    EXPECT_EQ(verdict.blocks, c.blocks);
    EXPECT_EQ(verdict.ok(), c.problem == LayoutProblem::None);
    if (!c.tooLarge) {
        EXPECT_EQ(listBlocks(c.image).size(), c.blocks);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CheckLayout, testing::ValuesIn(kLayoutCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ListBlocks, GivesOffsetsLengthsAndWireSizes) {
    const Bytes image = join({block(3), block(0x0201), block(0), block(9, 1)});
    const std::vector<Block> blocks = listBlocks(image);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].offset, 0u);
    EXPECT_EQ(blocks[1].offset, 5u);
    EXPECT_EQ(blocks[1].length, 0x0201u);
    EXPECT_EQ(blocks[1].wireSize(), 0x0203u);
    EXPECT_EQ(blocks[2].offset, 5u + 0x0203u);
    EXPECT_EQ(blocks[2].wireSize(), 2u);
}

TEST(ProblemText, NamesTheProblemAndItsOffset) {
    EXPECT_EQ(problemText({LayoutProblem::None, 0, 3}), "");
    EXPECT_EQ(problemText({LayoutProblem::Empty, 0, 0}), "Файл не содержит данных.");
    EXPECT_EQ(problemText({LayoutProblem::TooLarge, 0, 0}),
              "Файл слишком велик: больше 1048576 байт.");
    EXPECT_EQ(problemText({LayoutProblem::Truncated, 517, 2}),
              "Файл повреждён: блок по смещению 517 выходит за конец данных.");
    EXPECT_EQ(problemText({LayoutProblem::BlockTooLarge, 12, 1}),
              "Файл повреждён: блок по смещению 12 длиннее 2048 байт.");
}

}  // namespace
}  // namespace talpir::update
