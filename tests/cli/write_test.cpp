// talpir-flash write and ports, run as programs against talpir-devsim on a pseudo-terminal.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/devsim_fixture.h"
#include "support/subprocess.h"

namespace talpir {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

const std::string kFlash = TALPIR_FLASH;
const std::string kDevSim = TALPIR_DEVSIM;
const std::string kExamples = TALPIR_EXAMPLES_DIR;

constexpr char kDone[] = "Передача файла завершена.\n";
constexpr std::size_t kPayloads[] = {0, 1, 2046, 300, 1024};  // the largest fills the queue

// The image the test file gives, block by block, and its text.
struct TestImage {
    std::vector<Bytes> blocks;
    std::string text;

    Bytes firstBlocks(std::size_t count) const {
        Bytes bytes;
        for (std::size_t i = 0; i < count && i < blocks.size(); ++i) {
            bytes.insert(bytes.end(), blocks[i].begin(), blocks[i].end());
        }
        return bytes;
    }
};

TestImage makeImage() {
    TestImage image;
    unsigned value = 7;
    for (const std::size_t payload : kPayloads) {
        Bytes block{static_cast<unsigned char>(payload >> 8), static_cast<unsigned char>(payload)};
        for (std::size_t i = 0; i < payload; ++i) {
            value = value * 1103515245u + 12345u;
            block.push_back(static_cast<unsigned char>(value >> 16));
        }
        for (const unsigned char byte : block) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X ", byte);
            image.text += hex;
        }
        image.text += '\n';
        image.blocks.push_back(block);
    }
    return image;
}

struct WriteCase {
    const char* name;
    std::vector<std::string> device;  // options of talpir-devsim
    std::vector<std::string> extra;   // options of talpir-flash write
    int exit;
    std::string outHas;                     // stdout is one line, the status, holding this
    std::string errHas = {};                // a text stderr must hold
    std::optional<std::size_t> saved = {};  // blocks the device took, the image's first ones
    const char* file = nullptr;             // an example instead of the test image
    bool deviceMustHearNothing = false;     // it hangs up at the first byte it gets
};

void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.name;
}

const WriteCase kWriteCases[] = {
    {"Done", {}, {}, 0, kDone, "progress: 100% 3381/3381 bytes\n", 5},
    {"DoneAfterThreeRefusalsOfEveryBlock", {"--refuse-first", "3"}, {}, 0, kDone, "", 5},
    {"NoiseAfterAnswersIsDropped", {"--noise"}, {}, 0, kDone, "", 5},
    // The timeout bounds one wait, not the transfer, which takes about a second here.
    {"PacedLineWithinTimeout", {"--baud", "38400"}, {"--timeout", "0.5"}, 0, kDone, "", 5},
    {"DamagedFileSendsNothing",
     {"--hangup-after", "1"},
     {},
     2,
     "Файл повреждён",
     "",
     0,
     "damaged.fwx",
     true},
    {"RefusedFourTimes", {"--refuse-block", "1"}, {}, 4, "default error. File damaged.\n", "", 1},
    {"VersionError", {"--version-error", "2"}, {}, 4, "Ошибка версии.\n", "", 2},
    // The device takes the block whose echo it spoils: what it saved is its business.
    {"BadEcho", {"--bad-echo", "2:2"}, {}, 4, "Ошибка чтения эха =2\n"},
    {"HangUp", {"--hangup-after", "100"}, {}, 5, "Связь с устройством потеряна.\n", "", 2},
    {"SilentDevice",
     {"--silent", "1"},
     {"--timeout", "0.5"},
     5,
     "Устройство не отвечает.\n",
     "",
     1},
};

class WriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteTest, AgainstDevice) {
    const WriteCase& c = GetParam();
    test::TempDir dir;
    const TestImage image = makeImage();
    const std::string file = c.file ? kExamples + "/" + c.file : dir.file("image.fwx");
    std::ofstream(dir.file("image.fwx")) << image.text;
    std::vector<std::string> device{"--quiet", "--save", dir.file("saved.bin")};
    device.insert(device.end(), c.device.begin(), c.device.end());
    test::DevSim sim(kDevSim, device);
    ASSERT_TRUE(sim.isReady()) << sim.error();

    std::vector<std::string> args{"write", "--port", sim.path()};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    args.push_back(file);
    test::RunOptions options;
    options.timeout = 15s;
    const test::RunResult result = test::runProgram(kFlash, args, options);

    EXPECT_TRUE(result.exited(c.exit)) << test::describe(result);
    EXPECT_NE(result.out.find(c.outHas), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find('\n'), result.out.size() - 1) << result.out;
    EXPECT_NE(result.err.find(c.errHas), std::string::npos) << result.err;
    if (c.deviceMustHearNothing) {
        EXPECT_EQ(sim.waitForExit(0ms), std::nullopt) << "the device got a byte";
    }
    if (c.saved) {
        sim.stop();
        EXPECT_EQ(test::readFileBytes(dir.file("saved.bin")), image.firstBlocks(*c.saved));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteTest, ::testing::ValuesIn(kWriteCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(WriteCommand, PortThatDoesNotExist) {
    test::TempDir dir;
    const test::RunResult result = test::runProgram(
        kFlash, {"write", "--port", dir.file("no-such-port"), kExamples + "/hello.fwx"});
    EXPECT_TRUE(result.exited(3)) << test::describe(result);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("Невозможно открыть последовательный порт.\n"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("No such file or directory"), std::string::npos) << result.err;
}

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    int exit;
    std::string outHas = {};
};

void PrintTo(const UsageCase& c, std::ostream* os) {
    *os << c.name;
}

const UsageCase kUsageCases[] = {
    {"WriteHelp", {"write", "--help"}, 0, "Usage: talpir-flash write --port PORT"},
    {"HelpTellsOutOfMemoryStatus", {"write", "-h"}, 0, "1 usage error, or no memory"},
    {"NoPort", {"write", "image.fwx"}, 1},
    {"NoFile", {"write", "--port", "ttyS0"}, 1},
    {"TwoFiles", {"write", "--port", "ttyS0", "a.fwx", "b.fwx"}, 1},
    {"PortWithoutValue", {"write", "a.fwx", "--port"}, 1},
    {"ZeroTimeout", {"write", "--port", "ttyS0", "--timeout", "0", "a.fwx"}, 1},
    {"NegativeTimeout", {"write", "--port=ttyS0", "--timeout=-1", "a.fwx"}, 1},
    {"TimeoutNotANumber", {"write", "--port", "ttyS0", "--timeout", "1s", "a.fwx"}, 1},
    {"UnknownOption", {"write", "--port", "ttyS0", "--fast", "a.fwx"}, 1},
    {"PortsHelp", {"ports", "--help"}, 0, "Usage: talpir-flash ports"},
    {"PortsArgument", {"ports", "ttyS0"}, 1},
};

class UsageTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageTest, ExitAndText) {
    const UsageCase& c = GetParam();
    const test::RunResult result = test::runProgram(kFlash, c.args);
    EXPECT_TRUE(result.exited(c.exit)) << test::describe(result);
    EXPECT_NE(result.out.find(c.outHas), std::string::npos) << result.out;
    if (c.exit != 0) {
        EXPECT_NE(result.err, "");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UsageTest, ::testing::ValuesIn(kUsageCases),
                         [](const auto& param) { return std::string(param.param.name); });

// Every line is one port with its device path, or the one line that says there are none.
TEST(PortsCommand, ListsPortsWithTheirPaths) {
    const test::RunResult result = test::runProgram(kFlash, {"ports"});
    ASSERT_TRUE(result.exited(0)) << test::describe(result);
    ASSERT_FALSE(result.out.empty());
    if (result.out == "no serial ports found\n") {
        return;
    }
    std::size_t start = 0;
    while (start < result.out.size()) {
        const std::size_t end = result.out.find('\n', start);
        ASSERT_NE(end, std::string::npos) << "unterminated line";
        const std::string line = result.out.substr(start, end - start);
        EXPECT_NE(line.find(" /dev/"), std::string::npos) << line;
        start = end + 1;
    }
}

TEST(WriteCommand, InterruptWhileWaitingForTheDevice) {
    test::DevSim sim(kDevSim, {"--quiet", "--silent", "0"});
    ASSERT_TRUE(sim.isReady()) << sim.error();
    test::Child flash(kFlash, {"write", "--port", sim.path(), kExamples + "/hello.fwx"});
    ASSERT_TRUE(flash.started());
    const Clock::time_point deadline = Clock::now() + 15s;
    // The first progress line comes when the first block is about to go out.
    ASSERT_TRUE(flash.waitForErr("progress: 0%", deadline)) << flash.err();
    flash.signal(SIGINT);
    EXPECT_EQ(flash.waitForExit(deadline), 130) << flash.err();
    EXPECT_EQ(flash.out(), "") << "no status text";
    EXPECT_NE(flash.err().find("interrupted"), std::string::npos) << flash.err();
}

}  // namespace
}  // namespace talpir
