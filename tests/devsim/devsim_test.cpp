// talpir-devsim driven over its pty as the programmer drives it: echoes, status bytes, faults,
// the save file, reopening, hang-up, pacing and the command line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "protocol.h"
#include "support/devsim_fixture.h"
#include "support/subprocess.h"
#include "terminal.h"

namespace talpir::test {
namespace {

using namespace std::chrono_literals;
using devsim::kAccepted;
using devsim::kNoise;
using devsim::kRefused;
using devsim::kVersionError;

// A block with a big-endian length and a payload that differs from block to block.
Bytes block(std::size_t length, std::uint8_t seed = 1) {
    Bytes bytes{static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    for (std::size_t i = 0; i < length; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(seed + i * 7));
    }
    return bytes;
}

Bytes join(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

const Bytes kBlockA = block(3, 0x41);
const Bytes kBlockB = block(5, 0x90);
const Bytes kEmpty = block(0);
const Bytes kLargest = block(2046, 0x11);  // the largest block the programmer sends

// One write of the programmer and everything the device sends back for it.
struct Exchange {
    Bytes sent;
    Bytes reply;  // empty: the device stays silent
};

Exchange answered(const Bytes& sent, std::uint8_t status) {
    return {sent, join(sent, {status})};
}

Exchange badEcho(const Bytes& sent, std::size_t index) {
    Exchange exchange = answered(sent, kAccepted);
    exchange.reply[index] ^= devsim::kBadEchoMask;
    return exchange;
}

Exchange noisy(const Bytes& sent) {
    return {sent, join(join(sent, {kAccepted}), Bytes(kNoise.begin(), kNoise.end()))};
}

// Sends each exchange in turn on path and checks the reply byte for byte.
void runExchanges(const std::string& path, const std::vector<Exchange>& exchanges) {
    Terminal line(path);
    ASSERT_TRUE(line.isOpen()) << path;
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        const Exchange& exchange = exchanges[i];
        ASSERT_TRUE(line.send(exchange.sent));
        if (exchange.reply.empty()) {
            EXPECT_TRUE(line.staysQuiet()) << "exchange " << i;
        } else {
            EXPECT_EQ(line.receive(exchange.reply.size()), exchange.reply) << "exchange " << i;
        }
    }
}

struct FaultCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<Exchange> exchanges;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const FaultCase& row, std::ostream* out) {
    *out << row.name;
}

class DevSimFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(DevSimFaults, EchoesAndAnswersEachSend) {
    DevSim sim(TALPIR_DEVSIM, GetParam().args);
    ASSERT_TRUE(sim.isReady()) << sim.error();
    runExchanges(sim.path(), GetParam().exchanges);
}

const FaultCase kFaultCases[] = {
    {"Accepted",
     {},
     {answered(kBlockA, kAccepted),
      answered(kEmpty, kAccepted),
      answered(kLargest, kAccepted),
      // Two blocks in one write are still framed apart.
      {join(kBlockA, kBlockB), join(join(kBlockA, {kAccepted}), join(kBlockB, {kAccepted}))}}},
    {"RefuseFirstTwo",
     {"--refuse-first", "2"},
     {answered(kBlockA, kRefused), answered(kBlockA, kRefused), answered(kBlockA, kAccepted),
      answered(kBlockB, kRefused), answered(kBlockB, kRefused), answered(kBlockB, kAccepted)}},
    {"RefuseBlock",
     {"--refuse-block", "1"},
     {answered(kBlockA, kAccepted), answered(kBlockB, kRefused), answered(kBlockB, kRefused),
      answered(kBlockB, kRefused), answered(kBlockB, kRefused)}},
    {"VersionError",
     {"--version-error", "1"},
     {answered(kBlockA, kAccepted), answered(kBlockB, kVersionError),
      answered(kBlockA, kAccepted)}},
    {"RefusalBeforeVersionError",
     {"--version-error", "0", "--refuse-first", "1"},
     {answered(kBlockA, kRefused), answered(kBlockA, kVersionError)}},
    {"BadEchoOfLengthByte",
     {"--bad-echo", "0:0"},
     {badEcho(kBlockA, 0), answered(kBlockB, kAccepted)}},
    {"BadEchoOfLastByte",
     {"--bad-echo", "1:6"},
     {answered(kBlockA, kAccepted), badEcho(kBlockB, 6), answered(kBlockA, kAccepted)}},
    {"SilentFromSecondBlock",
     {"--silent", "1"},
     {answered(kBlockA, kAccepted), {kBlockB, {}}, {kBlockA, {}}}},
    {"NoiseAfterStatus", {"--noise"}, {noisy(kBlockA), noisy(kEmpty)}},
};

INSTANTIATE_TEST_SUITE_P(Cases, DevSimFaults, ::testing::ValuesIn(kFaultCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(DevSim, SaveFileHoldsAcceptedBlocksOnly) {
    TempDir dir;
    const std::string saved = dir.file("saved.bin");
    std::ofstream(saved) << "left over from an earlier run";
    DevSim sim(TALPIR_DEVSIM, {"--save", saved, "--refuse-first", "1"});
    ASSERT_TRUE(sim.isReady()) << sim.error();
    Terminal line(sim.path());
    ASSERT_TRUE(line.isOpen());

    Bytes expected;
    for (const Bytes& sent : {kBlockA, kEmpty, kLargest}) {
        for (const std::uint8_t status : {kRefused, kAccepted}) {
            ASSERT_TRUE(line.send(sent));
            ASSERT_EQ(line.receive(sent.size() + 1), join(sent, {status}));
        }
        // On disk by the time its status byte has come.
        expected = join(expected, sent);
        EXPECT_EQ(readFileBytes(saved), expected);
    }
}

TEST(DevSim, ReopenStartsNewTransfer) {
    TempDir dir;
    const std::string link = dir.file("ttyTALPIR");
    DevSim sim(TALPIR_DEVSIM, {"--refuse-block", "1", "--link", link});
    ASSERT_TRUE(sim.isReady()) << sim.error();
    EXPECT_EQ(std::filesystem::read_symlink(link), sim.path());
    {
        Terminal line(link);
        ASSERT_TRUE(line.isOpen());
        ASSERT_TRUE(line.send(kBlockA));
        ASSERT_EQ(line.receive(kBlockA.size() + 1), join(kBlockA, {kAccepted}));
        // A block cut short by the close.
        const Bytes partial(kBlockB.begin(), kBlockB.begin() + 3);
        ASSERT_TRUE(line.send(partial));
        ASSERT_EQ(line.receive(partial.size()), partial);
    }
    // Opened again at once: block numbers start from 0 and the cut block is forgotten.
    runExchanges(sim.path(), {answered(kBlockA, kAccepted), answered(kBlockB, kRefused)});
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(DevSim, HangupAfterClosesTheLineAndExits) {
    TempDir dir;
    const std::string link = dir.file("ttyTALPIR");
    DevSim sim(TALPIR_DEVSIM, {"--hangup-after", "4", "--link", link});
    ASSERT_TRUE(sim.isReady()) << sim.error();
    Terminal line(sim.path());
    ASSERT_TRUE(line.send(kBlockB));
    Bytes received;
    EXPECT_TRUE(line.hangsUp(received));
    // No status: at most the echo of the bytes taken before the hang-up.
    ASSERT_LE(received.size(), 4u);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), kBlockB.begin()));
    EXPECT_EQ(sim.waitForExit(kReplyTimeout), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(DevSim, PacedRepliesTakeTheLineTime) {
    constexpr int kBaud = 100000;   // 10,000 bytes a second
    const Bytes sent = block(997);  // 999 echoed bytes and the status: 100 ms on the line
    DevSim sim(TALPIR_DEVSIM, {"--baud", std::to_string(kBaud), "--noise"});
    ASSERT_TRUE(sim.isReady()) << sim.error();
    Terminal line(sim.path());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(line.send(sent));
    EXPECT_EQ(line.receive(sent.size() + 1 + kNoise.size()), noisy(sent).reply);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 100ms);
    EXPECT_LT(elapsed, 2s);
}

TEST(DevSim, KeepsUpWithAnUnpacedProgrammer) {
    constexpr int kBlocks = 512;  // a full 1 MiB image of the largest blocks
    DevSim sim(TALPIR_DEVSIM);
    ASSERT_TRUE(sim.isReady()) << sim.error();
    Terminal line(sim.path());
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBlocks; ++i) {
        const Bytes sent = block(2046, static_cast<std::uint8_t>(i));
        ASSERT_TRUE(line.send(sent));
        ASSERT_EQ(line.receive(sent.size() + 1), join(sent, {kAccepted})) << "block " << i;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST(DevSim, CommandLine) {
    const std::vector<std::vector<std::string>> usageErrors = {
        {"--bogus"},         {"--refuse-first", "x"},
        {"--bad-echo", "3"}, {"--bad-echo", "3:"},
        {"--baud", "0"},     {"--silent", "-1"},
        {"stray"},           {"--save", "/nonexistent/dir/file"},
    };
    for (const auto& args : usageErrors) {
        const RunResult result = runProgram(TALPIR_DEVSIM, args);
        EXPECT_TRUE(result.exited(1)) << args[0] << ": " << describe(result);
    }
    const RunResult help = runProgram(TALPIR_DEVSIM, {"--help"});
    EXPECT_TRUE(help.exited(0)) << describe(help);
    EXPECT_NE(help.out.find("--hangup-after N"), std::string::npos);
}

}  // namespace
}  // namespace talpir::test
