// The update file reader: "%2X" conversions exactly as the C library does them.
#include "update/update_reader.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace talpir::update {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kRoomy = 64;  // image size for cases that do not test the capacity

struct ParseCase {
    const char* name;
    std::string text;
    Bytes bytes;
    std::size_t stopOffset;
    int stopChar;  // -1: the end of the text
    std::size_t capacity = kRoomy;
    bool tooLarge = false;
    bool bom = false;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

struct Parsed {
    Bytes bytes;
    ReadReport report;
};

Parsed parse(std::string_view text, std::size_t capacity) {
    Parsed parsed;
    parsed.bytes.resize(capacity);
    parsed.report = parseUpdateText(text, parsed.bytes);
    parsed.bytes.resize(parsed.report.count);
    return parsed;
}

const std::string kBom = "\xEF\xBB\xBF";

const ParseCase kParseCases[] = {
    {"OneBlock", "00 03 41 42 43", {0x00, 0x03, 0x41, 0x42, 0x43}, 14, -1},
    {"NoSeparators", "0A1B", {0x0A, 0x1B}, 4, -1},
    {"LineBreaks", "0A\r\n1B\n", {0x0A, 0x1B}, 7, -1},
    {"EveryWhiteSpace", " \t\n\v\f\r7", {0x07}, 7, -1},
    {"LowerAndUpper", "fF aB", {0xFF, 0xAB}, 5, -1},
    {"SingleDigit", "00 1 02", {0x00, 0x01, 0x02}, 7, -1},
    {"WidthTwo", "ABC", {0xAB, 0x0C}, 3, -1},
    {"LeadingZero", "0A", {0x0A}, 2, -1},
    {"PrefixFillsField", "0x1F", {0x00, 0x1F}, 4, -1},
    {"PrefixUpper", "0X", {0x00}, 2, -1},
    {"ZerosThenX", "00x1", {0x00}, 2, 'x'},
    {"PrefixThenX", "0xx", {0x00}, 2, 'x'},
    {"Minus", "-1", {0xFF}, 2, -1},
    {"MinusF", "-F", {0xF1}, 2, -1},
    {"Plus", "+F", {0x0F}, 2, -1},
    {"SignTakesWidth", "-12", {0xFF, 0x02}, 3, -1},
    {"SignedZeroLeavesX", "-0x1", {0x00}, 2, 'x'},
    {"PlusZeroLeavesX", "+0x", {0x00}, 2, 'x'},
    {"SignAfterDigit", "a-b", {0x0A, 0xF5}, 3, -1},
    {"LoneSignAtEnd", "1+", {0x01}, 1, '+'},
    {"SignThenSpace", "1 - 2", {0x01}, 2, '-'},
    {"TwoSigns", "--1", {}, 0, '-'},
    {"LetterBeyondF", "0A 1B XY 2C", {0x0A, 0x1B}, 6, 'X'},
    {"LoneX", "x1", {}, 0, 'x'},
    {"G", "  G1", {}, 2, 'G'},
    {"DosEnd", "01\x1A", {0x01}, 2, 0x1A},
    {"HighByte", "12\x80", {0x12}, 2, 0x80},
    {"Nul", std::string("12\0 34", 6), {0x12}, 2, 0},
    {"Empty", "", {}, 0, -1},
    {"OnlyWhiteSpace", " \r\n ", {}, 4, -1},
    {"Bom", kBom + "0102", {0x01, 0x02}, 7, -1, kRoomy, false, true},
    {"BomOnly", kBom, {}, 3, -1, kRoomy, false, true},
    {"BomTwice", kBom + kBom + "01", {}, 3, 0xEF, kRoomy, false, true},
    {"BomAfterSpace", " " + kBom + "01", {}, 1, 0xEF},
    {"BomAfterValue", "0" + kBom, {0x00}, 1, 0xEF},
    {"PartOfBom",
     "\xEF\xBB"
     "01",
     {},
     0,
     0xEF},
    {"CapacityFilled", "01 02 ", {0x01, 0x02}, 6, -1, 2},
    {"CapacityExceeded", "01 02\n03", {0x01, 0x02}, 6, '0', 2, true},
    {"CapacityThenSign", "01 02 -", {0x01, 0x02}, 6, '-', 2},
    {"CapacityThenStop", "01 02 G", {0x01, 0x02}, 6, 'G', 2},
    {"NoCapacity", " 5", {}, 1, '5', 0, true},
    {"NoCapacityNoValue", " ", {}, 1, -1, 0},
};

class ParseText : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseText, GivesTheBytesAndWhereReadingStopped) {
    const ParseCase& c = GetParam();
    const Parsed parsed = parse(c.text, c.capacity);
    EXPECT_EQ(parsed.bytes, c.bytes);
    EXPECT_EQ(parsed.report.stopOffset, c.stopOffset);
    EXPECT_EQ(parsed.report.stopChar, c.stopChar);
    EXPECT_EQ(parsed.report.tooLarge, c.tooLarge);
    EXPECT_EQ(parsed.report.bomSkipped, c.bom);
}

INSTANTIATE_TEST_SUITE_P(Cases, ParseText, testing::ValuesIn(kParseCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ParseText, FillsTheRealImageAndRefusesOneValueMore) {
    std::string text(2 * kImageCapacity, '7');
    Parsed parsed = parse(text, kImageCapacity);
    EXPECT_EQ(parsed.report.count, kImageCapacity);
    EXPECT_FALSE(parsed.report.tooLarge);
    EXPECT_EQ(parsed.bytes.back(), 0x77);

    text += "\n1";
    parsed = parse(text, kImageCapacity);
    EXPECT_TRUE(parsed.report.tooLarge);
    EXPECT_EQ(parsed.report.count, kImageCapacity);
    EXPECT_EQ(parsed.report.stopOffset, text.size() - 1);
}

// What the C library's own "%2X" loop gives; sscanf needs text without NUL bytes.
Parsed parseWithScanf(const std::string& text, std::size_t capacity) {
    Parsed parsed;
    std::size_t pos = text.starts_with(kBom) ? kBom.size() : 0;
    parsed.report.bomSkipped = pos > 0;
    unsigned value = 0;
    int used = 0;
    while (std::sscanf(text.c_str() + pos, "%2X%n", &value, &used) == 1) {
        if (parsed.bytes.size() == capacity) {
            parsed.report.tooLarge = true;
            break;
        }
        parsed.bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
        pos += static_cast<std::size_t>(used);
    }
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) {
        ++pos;
    }
    parsed.report.count = parsed.bytes.size();
    parsed.report.stopOffset = pos;
    parsed.report.stopChar = pos < text.size() ? static_cast<unsigned char>(text[pos]) : -1;
    return parsed;
}

TEST(ParseText, AgreesWithTheCLibraryOnRandomTexts) {
    const std::string alphabet =
        "0000111789aAbcdefFFxxXX++--     \t\t\n\n\r\v\fGZ\x1A\x80\xC3\xFF\xEF\xBB\xBF";
    std::mt19937 random(20240611);
    for (int round = 0; round < 5000; ++round) {
        std::string text(random() % 24, ' ');
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        const std::size_t capacity = random() % 3 == 0 ? random() % 6 : kRoomy;
        const Parsed expected = parseWithScanf(text, capacity);
        const Parsed actual = parse(text, capacity);
        SCOPED_TRACE(testing::PrintToString(text) + " capacity " + std::to_string(capacity));
        ASSERT_EQ(actual.bytes, expected.bytes);
        ASSERT_EQ(actual.report.tooLarge, expected.report.tooLarge);
        ASSERT_EQ(actual.report.bomSkipped, expected.report.bomSkipped);
        ASSERT_EQ(actual.report.stopOffset, expected.report.stopOffset);
        ASSERT_EQ(actual.report.stopChar, expected.report.stopChar);
    }
}

class ReadFile : public testing::Test {
protected:
    std::string write(const std::string& text) {
        std::ofstream(m_path, std::ios::binary) << text;
        return m_path.string();
    }
    void TearDown() override { std::filesystem::remove(m_path); }

    // Named after the test: ctest runs the tests of this file side by side.
    std::filesystem::path m_path =
        std::filesystem::path(testing::TempDir()) /
        (std::string("talpir-") + testing::UnitTest::GetInstance()->current_test_info()->name() +
         ".fwx");
};

Parsed readFile(const std::string& path, std::size_t capacity) {
    Parsed parsed;
    parsed.bytes.resize(capacity);
    UpdateFile file;
    EXPECT_TRUE(file.open(path)) << file.error();
    EXPECT_TRUE(file.readAll(parsed.bytes, parsed.report)) << file.error();
    parsed.bytes.resize(parsed.report.count);
    return parsed;
}

void expectSame(const Parsed& actual, const Parsed& expected) {
    EXPECT_EQ(actual.bytes, expected.bytes);
    EXPECT_EQ(actual.report.stopOffset, expected.report.stopOffset);
    EXPECT_EQ(actual.report.stopChar, expected.report.stopChar);
    EXPECT_EQ(actual.report.tooLarge, expected.report.tooLarge);
    EXPECT_EQ(actual.report.bomSkipped, expected.report.bomSkipped);
}

// Each tail put so that it straddles the end of the first or second chunk read.
TEST_F(ReadFile, ValuesAcrossChunkEdgesReadAsInOneText) {
    const std::string tails[] = {"0x1F", "-1 ", "AB C", "+0x", "-", "1G", "0", "A\x1A", "7 "};
    for (const std::string& tail : tails) {
        for (std::size_t edge : {kReadChunk, 2 * kReadChunk}) {
            for (std::size_t before = 1; before <= 3; ++before) {
                const std::string text = kBom + std::string(edge - before - 3, ' ') + tail;
                SCOPED_TRACE(testing::PrintToString(tail) + " " + std::to_string(before));
                expectSame(readFile(write(text), kRoomy), parse(text, kRoomy));
            }
        }
    }
}

TEST_F(ReadFile, LongFileReadsAsInOneText) {
    const char* tokens[] = {"0", "1F", "-2", "+a", " ", "\r\n", "\t", " 0x", "B"};
    std::mt19937 random(7);
    std::string text;
    while (text.size() < 3 * kReadChunk + 17) {
        text += tokens[random() % std::size(tokens)];
    }
    text += "Z";
    const Parsed expected = parse(text, kImageCapacity);
    ASSERT_EQ(expected.report.stopOffset, text.size() - 1);  // the text reads to the Z
    expectSame(readFile(write(text), kImageCapacity), expected);
    expectSame(readFile(write(text), 1000), parse(text, 1000));
}

TEST(UpdateFileOpen, FailsWithTheReason) {
    UpdateFile file;
    EXPECT_FALSE(file.open(""));
    EXPECT_FALSE(file.error().empty());
    EXPECT_FALSE(file.open("/nonexistent/talpir.fwx"));
    EXPECT_EQ(file.error(), std::strerror(ENOENT));
    EXPECT_FALSE(file.isOpen());

    Bytes image(kRoomy);
    ReadReport report;
    EXPECT_FALSE(file.open(testing::TempDir()) && file.readAll(image, report));
    EXPECT_FALSE(file.error().empty());
}

}  // namespace
}  // namespace talpir::update
