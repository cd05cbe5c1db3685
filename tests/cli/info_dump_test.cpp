// talpir-flash info and dump, run as a program: exit codes, reports and the raw image.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "support/subprocess.h"
#include "update/update_reader.h"

namespace talpir {
namespace {

using test::runProgram;

const std::string kExamples = TALPIR_EXAMPLES_DIR;

struct CliCase {
    const char* name;
    std::vector<std::string> args;  // "@FILE": a file holding fileText; "@EX/": the examples
    std::optional<std::string> fileText;
    int exit;
    std::string outHas = {};
    std::string errHas = {};
    std::string outLacks = {};  // when not empty, a text that must not be in stdout
};

void PrintTo(const CliCase& c, std::ostream* os) {
    *os << c.name;
}

std::string tooLargeText() {
    return std::string(2 * (update::kImageCapacity + 1), '0');
}

std::string zeroBlocksText(int blocks) {
    std::string text;
    for (int i = 0; i < blocks; ++i) {
        text += "00 00\n";
    }
    return text;
}

std::string oversizedBlockText() {
    std::string text = "00 00\n08 00\n";  // wire size 2050
    for (int i = 0; i < 2048; ++i) {
        text += "5A ";
    }
    return text;
}

const CliCase kCliCases[] = {
    {"InfoWellFormed", {"info", "@EX/hello.fwx"}, {}, 0, "Image:   24 bytes\nBlocks:  3\n"},
    {"InfoTable", {"info", "@EX/hello.fwx"}, {}, 0, "\n         7       1          3\n"},
    {"InfoVerdictOk", {"info", "@EX/hello.fwx"}, {}, 0, "Verdict: well-formed\n", "", "Warning"},
    {"InfoAllSixteen",
     {"info", "@EX/demo.fwx"},
     {},
     0,
     "     15390    1024       1026\n",
     "",
     "..."},
    {"InfoAbridged",
     {"info", "@FILE"},
     zeroBlocksText(40),
     0,
     "        18       0          2\n  ... 25 more blocks ...\n        70       0          2\n"},
    {"InfoTruncated",
     {"info", "@EX/damaged.fwx"},
     {},
     2,
     "Verdict: damaged: the block at offset 4 (length 16) runs past the end of the data"},
    {"InfoHalfLength", {"info", "@FILE"}, "00 00 01", 2, "the length of the block at offset 2"},
    {"InfoBlockTooLarge",
     {"info", "@FILE"},
     oversizedBlockText(),
     2,
     "Blocks:  1\n  "
     "  offset  length  wire size\n         0       0          2\n"
     "Verdict: damaged: the block at offset 2 is longer than 2048 bytes (length 2048)"},
    {"InfoEmpty", {"info", "@EX/empty.fwx"}, {}, 2, "Image:   0 bytes\nBlocks:  0\nVerdict: empty"},
    {"InfoTooLarge", {"info", "@FILE"}, tooLargeText(), 2, "Verdict: too large", "", "Warning"},
    {"InfoStopAtLetter",
     {"info", "@FILE"},
     "00 01 41\nG7",
     0,
     "Warning: reading stopped at offset 9, at 'G' (0x47); the rest of the file is ignored."},
    {"InfoStopAtHighByte", {"info", "@FILE"}, "00 00 \xC3\xA9", 0, "at 0xC3;"},
    {"InfoStopAtSign", {"info", "@FILE"}, "00 00 - 1", 0, "at '-' (0x2D) with no digit"},
    {"InfoDosEndIsQuiet", {"info", "@FILE"}, "00 00\r\n\x1A", 0, "well-formed", "", "Warning"},
    {"InfoBom",
     {"info", "@FILE"},
     "\xEF\xBB\xBF"
     "00 00",
     0,
     "byte-order mark"},
    {"InfoMissing",
     {"info", "/nonexistent/x.fwx"},
     {},
     2,
     "",
     "talpir-flash: /nonexistent/x.fwx: No such file or directory\n"},
    {"InfoDirectory", {"info", "/"}, {}, 2, "", "talpir-flash: /: "},
    {"InfoNoFile", {"info"}, {}, 1, "", "Usage: talpir-flash info FILE"},
    {"InfoTwoFiles", {"info", "a", "b"}, {}, 1, "", "Usage: talpir-flash info FILE"},
    {"InfoUnknownOption", {"info", "--bogus", "a"}, {}, 1, "", "unknown option '--bogus'"},
    {"InfoHelp", {"info", "--help"}, {}, 0, "Usage: talpir-flash info FILE"},
    {"InfoAfterDashes", {"info", "--", "@EX/hello.fwx"}, {}, 0, "well-formed"},
    {"DumpHelp", {"dump", "-h"}, {}, 0, "Usage: talpir-flash dump FILE"},
    {"DumpNoFile", {"dump"}, {}, 1, "", "Usage: talpir-flash dump FILE"},
    {"DumpUnknownOption", {"dump", "-x", "a"}, {}, 1, "", "unknown option '-x'"},
    {"DumpMissing", {"dump", "/nonexistent/x.fwx"}, {}, 2, "", "No such file or directory"},
    {"DumpTooLarge", {"dump", "@FILE"}, tooLargeText(), 2, "", "too large"},
    {"DumpDamaged", {"dump", "@EX/damaged.fwx"}, {}, 0, "\x41\x42\x43"},
};

class CliRun : public testing::TestWithParam<CliCase> {
protected:
    void TearDown() override {
        if (!m_file.empty()) {
            std::filesystem::remove(m_file);
        }
    }

    std::string argument(const std::string& arg, const CliCase& c) {
        if (arg == "@FILE") {
            m_file = std::filesystem::path(testing::TempDir()) /
                     (std::string("talpir-cli-") + c.name + ".fwx");
            std::ofstream(m_file, std::ios::binary) << *c.fileText;
            return m_file.string();
        }
        if (arg.starts_with("@EX/")) {
            return kExamples + "/" + arg.substr(4);
        }
        return arg;
    }

    std::filesystem::path m_file;
};

TEST_P(CliRun, ExitsAndReportsAsExpected) {
    const CliCase& c = GetParam();
    std::vector<std::string> args;
    for (const std::string& arg : c.args) {
        args.push_back(argument(arg, c));
    }
    const test::RunResult result = runProgram(TALPIR_FLASH, args);
    ASSERT_TRUE(result.exited(c.exit)) << test::describe(result);
    EXPECT_NE(result.out.find(c.outHas), std::string::npos) << result.out;
    EXPECT_NE(result.err.find(c.errHas), std::string::npos) << result.err;
    if (!c.outLacks.empty()) {
        EXPECT_EQ(result.out.find(c.outLacks), std::string::npos) << result.out;
    }
    if (c.exit == 1) {
        EXPECT_EQ(result.out, "");  // usage errors go to stderr only
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CliRun, testing::ValuesIn(kCliCases),
                         [](const auto& row) { return std::string(row.param.name); });

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Dump, WritesExactlyTheBytesTheReaderGives) {
    for (const char* name : {"hello.fwx", "damaged.fwx", "demo.fwx", "empty.fwx"}) {
        const std::string path = kExamples + "/" + name;
        std::vector<std::uint8_t> image(update::kImageCapacity);
        image.resize(update::parseUpdateText(readText(path), image).count);
        const test::RunResult result = runProgram(TALPIR_FLASH, {"dump", path});
        ASSERT_TRUE(result.exited(0)) << name << ": " << test::describe(result);
        EXPECT_EQ(result.out, std::string(image.begin(), image.end())) << name;
    }
}

}  // namespace
}  // namespace talpir
