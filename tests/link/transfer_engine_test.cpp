// The transfer engine against a scripted in-process device.
#include "link/transfer_engine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "fake_port.h"
#include "link/texts.h"

namespace talpir::test {
namespace {

using link::Outcome;
using Bytes = std::vector<std::uint8_t>;

const Bytes kA = {0x00, 0x03, 0x41, 0x42, 0x43};
const Bytes kB = {0x00, 0x02, 0x01, 0x02};
constexpr char kAB[] = "00 03 41 42 43\n00 02 01 02\n";

Answer accept(const Bytes& block) {
    return {block, 0x11, false};
}

Answer acceptAll(int, int, const Bytes& block) {
    return accept(block);
}

// Every block refused `times` times, then taken.
FakePort::Device refuseFirst(int times) {
    return [times](int, int send, const Bytes& block) {
        return send < times ? Answer{block, 0x00, false} : accept(block);
    };
}

FakePort::Device onBlock(int index, std::function<Answer(const Bytes&)> special) {
    return [index, special](int block, int, const Bytes& bytes) {
        return block == index ? special(bytes) : accept(bytes);
    };
}

Bytes flipAt(Bytes block, std::size_t k) {
    block[k] ^= 0xFF;
    return block;
}

struct Case {
    const char* name;
    const char* text;  // the update file; nullptr: no such file
    FakePort::Device device;
    std::function<void(FakePort&, FakeHost&)> setup;
    Outcome outcome;
    std::vector<Bytes> writes;
    std::optional<std::string> status;  // the last status text; none: no text at all
    std::vector<int> positions;         // progress positions set, in order
    std::vector<std::string> errors = {};
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

std::string echoText(int k) {
    return link::texts::kEchoMismatch + std::to_string(k);
}

const std::string kDone = link::texts::kDone;

std::vector<Case> cases() {
    const auto silentAfterEcho = [](std::size_t n) {
        return [n](const Bytes& b) { return Answer{Bytes(b.begin(), b.begin() + n), {}, false}; };
    };
    return {
        {"Accepted", kAB, acceptAll, {}, Outcome::Done, {kA, kB}, kDone, {0, 5, 9}},
        {"RefusedThriceThenAccepted",
         kAB,
         refuseFirst(3),
         {},
         Outcome::Done,
         {kA, kA, kA, kA, kB, kB, kB, kB},
         kDone,
         {0, 5, 9}},
        {"RefusedFourTimes",
         kAB,
         refuseFirst(4),
         {},
         Outcome::Refused,
         {kA, kA, kA, kA},
         link::texts::kRefused,
         {0}},
        {"VersionError",
         kAB,
         onBlock(1,
                 [](const Bytes& b) {
                     return Answer{b, 0x33, false};
                 }),
         {},
         Outcome::VersionError,
         {kA, kB},
         link::texts::kVersionError,
         {0, 5}},
        {"EchoWrongAtFirstLengthByte",
         kAB,
         onBlock(0,
                 [](const Bytes& b) {
                     return Answer{flipAt(b, 0), 0x11, false};
                 }),
         {},
         Outcome::EchoMismatch,
         {kA},
         echoText(0),
         {0}},
        {"EchoWrongAtSecondLengthByte",
         kAB,
         onBlock(1,
                 [](const Bytes& b) {
                     return Answer{flipAt(b, 1), 0x11, false};
                 }),
         {},
         Outcome::EchoMismatch,
         {kA, kB},
         echoText(1),
         {0, 5}},
        {"EchoWrongAtThirdByte",
         kAB,
         onBlock(0,
                 [](const Bytes& b) {
                     return Answer{flipAt(b, 2), 0x11, false};
                 }),
         {},
         Outcome::EchoMismatch,
         {kA},
         echoText(2),
         {0}},
        {"EchoWrongAtLastByte",
         kAB,
         onBlock(0,
                 [](const Bytes& b) {
                     return Answer{flipAt(b, 4), 0x11, false};
                 }),
         {},
         Outcome::EchoMismatch,
         {kA},
         echoText(4),
         {0}},
        {"ZeroLengthBlock", "00 00", acceptAll, {}, Outcome::Done, {{0x00, 0x00}}, kDone, {0, 2}},
        // Stale bytes would pass as a bad echo or an early status if they were not discarded.
        {"NoiseBeforeEveryBlockIsDiscarded",
         kAB,
         acceptAll,
         [](FakePort& port, FakeHost&) {
             port.injectStale({0xEE, 0x11, 0x00, 0x03});
             port.chunk = 64;  // the answer and the noise arrive in one read
         },
         Outcome::Done,
         {kA, kB},
         kDone,
         {0, 5, 9}},
        {"AbortWhileWaitingForEcho",
         kAB,
         onBlock(1, silentAfterEcho(2)),
         [](FakePort& port, FakeHost& host) {
             port.onIdleRead = [&host] { host.running = false; };
         },
         Outcome::Aborted,
         {kA, kB},
         std::nullopt,
         {0, 5}},
        {"ClosingWhileWaitingForStatus",
         kAB,
         onBlock(0, silentAfterEcho(5)),
         [](FakePort& port, FakeHost& host) {
             port.onIdleRead = [&host] { host.isClosing = true; };
         },
         Outcome::Closing,
         {kA},
         std::nullopt,
         {0}},
        {"PortFailsInTheMiddleOfABlock",
         kAB,
         onBlock(1,
                 [](const Bytes& b) {
                     return Answer{Bytes(b.begin(), b.begin() + 2), {}, true};
                 }),
         {},
         Outcome::LinkLost,
         {kA, kB},
         link::texts::kLinkLost,
         {0, 5}},
        {"FileMissing",
         nullptr,
         acceptAll,
         {},
         Outcome::FileNotOpened,
         {},
         link::texts::kFileNotOpened,
         {0}},
        {"PortMissing",
         kAB,
         acceptAll,
         [](FakePort& port, FakeHost&) { port.failOpen = true; },
         Outcome::PortNotOpened,
         {},
         std::nullopt,
         {0},
         {link::texts::kPortNotOpened}},
        {"DamagedFileSendsNothing",
         "00 05 41 42",
         acceptAll,
         {},
         Outcome::FileRejected,
         {},
         "Файл повреждён: блок по смещению 0 выходит за конец данных.",
         {0}},
        {"EmptyFileSendsNothing",
         " \n",
         acceptAll,
         {},
         Outcome::FileRejected,
         {},
         "Файл не содержит данных.",
         {0}},
    };
}

class TransferEngine : public testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() /
                ("talpir-engine-" + std::to_string(::getpid()) + "-" +
                 testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_dir.parent_path());
    }
    void TearDown() override { std::filesystem::remove(m_dir); }

    std::string writeFile(const char* text) {
        std::ofstream(m_dir, std::ios::binary) << text;
        return m_dir.string();
    }

    std::filesystem::path m_dir;
};

TEST_P(TransferEngine, EndsAsTheDeviceAnswers) {
    const Case& c = GetParam();
    FakePort port(c.device);
    FakeHost host;
    host.file = c.text ? writeFile(c.text) : (m_dir.string() + ".missing");
    if (c.setup) {
        c.setup(port, host);
    }

    const Outcome outcome = link::runTransfer(port, host);

    EXPECT_EQ(link::outcomeName(outcome), std::string(link::outcomeName(c.outcome)));
    EXPECT_EQ(port.writes, c.writes);
    if (c.status) {
        ASSERT_FALSE(host.statusTexts.empty());
        EXPECT_EQ(host.statusTexts.back(), *c.status);
        EXPECT_EQ(host.statusTexts.size(), 1u) << "one status text per transfer";
    } else {
        EXPECT_TRUE(host.statusTexts.empty());
    }
    EXPECT_EQ(host.positions, c.positions);
    EXPECT_EQ(host.errors, c.errors);
    // Whatever happened, the port is released, and the window is idle unless it is closing.
    EXPECT_FALSE(port.isOpen());
    if (c.outcome == Outcome::Closing) {
        EXPECT_EQ(host.callsAfterClosing, 0);
        EXPECT_EQ(host.idleReturns, 0);
    } else {
        EXPECT_EQ(host.idleReturns, 1);
        EXPECT_TRUE(host.running);
        EXPECT_TRUE(host.inputsEnabled);
    }
    if (c.outcome == Outcome::Done) {
        EXPECT_EQ(host.maximum, host.positions.back()) << "the bar ends full";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TransferEngine, testing::ValuesIn(cases()),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(TransferEngineOptions, SilentDeviceEndsWithNoAnswerAfterTheTimeout) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "talpir-engine-timeout").string();
    std::ofstream(path) << kAB;
    FakePort port([](int, int, const Bytes&) { return Answer{}; });
    FakeHost host;
    host.file = path;
    link::TransferOptions options;
    options.answerTimeout = std::chrono::milliseconds(30);

    EXPECT_EQ(link::runTransfer(port, host, options), Outcome::NoAnswer);
    EXPECT_EQ(host.statusTexts, std::vector<std::string>{link::texts::kNoAnswer});
    EXPECT_FALSE(port.isOpen());
    std::filesystem::remove(path);
}

TEST(TransferEngineOptions, UsesThePortNameAsGiven) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "talpir-engine-name").string();
    std::ofstream(path) << "00 00";
    FakePort port(acceptAll);
    FakeHost host;
    host.file = path;
    host.port = "COM12";
    link::runTransfer(port, host);
    EXPECT_EQ(port.openedName, "COM12");
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace talpir::test
