// talpir-flash against faults end to end, and against a port that another program holds.
//
// Each fault ends with the right exit and text, lets the port go, and the next transfer on the
// same port works; a port in use is refused, also when everyone runs as root.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fault_table.h"
#include "port_watch.h"
#include "support/child_process.h"
#include "support/devsim_fixture.h"
#include "support/subprocess.h"

namespace talpir::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kFlash = TALPIR_FLASH;
const std::string kDevSim = TALPIR_DEVSIM;
constexpr auto kDeadline = 20s;              // for one transfer, sanitizers included
constexpr char kSending[] = "progress: 0%";  // the port is open and the first block goes out

std::string line(const std::string& text) {
    return text.empty() ? text : text + "\n";
}

// A device under a fixed name (a link, as /dev/serial/by-id gives), and the update files.
class FlashTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(writeUpdateFile(m_image, kFaultBlocks));
        ASSERT_TRUE(writeUpdateFile(m_oneBlock, 1));
    }

    void startDevice(const std::vector<std::string>& options) {
        std::vector<std::string> args{"--quiet", "--link", m_port};
        args.insert(args.end(), options.begin(), options.end());
        m_device.reset();
        m_device = std::make_unique<DevSim>(kDevSim, args);
        ASSERT_TRUE(m_device->isReady()) << m_device->error();
    }

    // Sends the one-block file on port and checks how it ends.
    void verifyFollowUp(const std::string& port, int exit, const std::string& status) {
        RunOptions options;
        options.timeout = kDeadline;
        const RunResult result = runProgram(kFlash, {"write", "--port", port, m_oneBlock}, options);
        EXPECT_TRUE(result.exited(exit)) << describe(result);
        EXPECT_EQ(result.out, line(status));
    }

    // A talpir-flash that holds port, sending into a device silent from block 1.
    std::unique_ptr<Child> startHolder(const std::string& port) {
        auto holder = std::make_unique<Child>(
            kFlash, std::vector<std::string>{"write", "--port", port, m_image});
        EXPECT_TRUE(holder->waitForErr(kSending, Clock::now() + kDeadline)) << holder->err();
        return holder;
    }

    TempDir m_dir;
    std::string m_port = m_dir.file("port");
    std::string m_image = m_dir.file("image.fwx");
    std::string m_oneBlock = m_dir.file("one.fwx");
    std::unique_ptr<DevSim> m_device;
};

class FlashFaultTest : public FlashTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(FlashFaultTest, EndsRightReleasesThePortAndTheNextTransferWorks) {
    const Fault& fault = GetParam();
    ASSERT_NO_FATAL_FAILURE(startDevice(fault.device));
    const PortWatch watch(m_port);
    const auto deadline = Clock::now() + kDeadline;
    Child flash(kFlash, {"write", "--port", m_port, m_image});
    ASSERT_TRUE(flash.started());
    if (fault.abort) {
        ASSERT_TRUE(flash.waitForErr(kSending, deadline)) << flash.err();
        flash.signal(SIGINT);
    }
    EXPECT_EQ(flash.waitForExit(deadline), fault.exit) << flash.err();
    EXPECT_EQ(flash.out(), line(fault.status));
    EXPECT_FALSE(watch.leftBehind()) << watch.lockFile();
    if (fault.hangsUp) {
        EXPECT_EQ(m_device->waitForExit(5s), 0);
        ASSERT_NO_FATAL_FAILURE(startDevice({}));
    }
    verifyFollowUp(m_port, fault.afterExit, fault.after);
    EXPECT_FALSE(watch.leftBehind()) << watch.lockFile();
}

INSTANTIATE_TEST_SUITE_P(Faults, FlashFaultTest, ::testing::ValuesIn(faultTable()),
                         [](const auto& param) { return std::string(param.param.name); });

// Which names the holder and the second program use for the same device. Run as root, the
// terminal's own exclusive mode lets everyone in: only the lock file keeps the second out.
struct BusyCase {
    const char* name;
    bool holderUsesLink;
    bool secondUsesLink;
};

void PrintTo(const BusyCase& c, std::ostream* os) {
    *os << c.name;
}

class FlashBusyPortTest : public FlashTest, public ::testing::WithParamInterface<BusyCase> {};

TEST_P(FlashBusyPortTest, SecondProgramIsRefusedAndTheHolderGoesOn) {
    const BusyCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(startDevice({"--silent", "1"}));
    const std::string device = m_device->path();
    const PortWatch watch(m_port);
    const std::unique_ptr<Child> holder = startHolder(c.holderUsesLink ? m_port : device);
    ASSERT_TRUE(watch.locked()) << "no lock file where QSerialPort keeps it";

    const std::string second = c.secondUsesLink ? m_port : device;
    RunOptions options;
    options.timeout = kDeadline;
    const RunResult result = runProgram(kFlash, {"write", "--port", second, m_oneBlock}, options);
    EXPECT_TRUE(result.exited(3)) << describe(result);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find(kPortBusy), std::string::npos) << result.err;

    holder->signal(SIGINT);
    EXPECT_EQ(holder->waitForExit(Clock::now() + kDeadline), 130) << holder->err();
    EXPECT_FALSE(watch.leftBehind()) << watch.lockFile();
    verifyFollowUp(second, 0, kDone);
}

const BusyCase kBusyCases[] = {
    {"SameName", true, true},
    {"HolderUsesALink", true, false},
    {"SecondUsesALink", false, true},
};

INSTANTIATE_TEST_SUITE_P(Names, FlashBusyPortTest, ::testing::ValuesIn(kBusyCases),
                         [](const auto& param) { return std::string(param.param.name); });

// A killed holder leaves its lock file behind; it must not shut the operator out.
struct StaleCase {
    const char* name;
    bool pidReused;  // the dead holder's number now belongs to another running program
};

void PrintTo(const StaleCase& c, std::ostream* os) {
    *os << c.name;
}

class FlashStaleLockTest : public FlashTest, public ::testing::WithParamInterface<StaleCase> {};

TEST_P(FlashStaleLockTest, DoesNotLockTheOperatorOut) {
    ASSERT_NO_FATAL_FAILURE(startDevice({"--silent", "1"}));
    const PortWatch watch(m_port);
    {
        const std::unique_ptr<Child> holder = startHolder(m_port);
        holder->signal(SIGKILL);
        EXPECT_EQ(holder->waitForExit(Clock::now() + kDeadline), -SIGKILL);
    }
    const std::string lockFile = watch.lockFile();
    ASSERT_FALSE(lockFile.empty()) << "the killed holder left no lock file";
    if (GetParam().pidReused) {
        std::string rest;
        {
            std::ifstream in(lockFile);
            std::string pid;
            std::getline(in, pid);
            rest.assign(std::istreambuf_iterator<char>(in), {});
        }
        std::ofstream(lockFile) << m_device->pid() << '\n' << rest;
    }
    verifyFollowUp(m_port, 0, kDone);
    EXPECT_FALSE(watch.leftBehind()) << watch.lockFile();
}

const StaleCase kStaleCases[] = {{"LeftByAKilledHolder", false}, {"ItsPidReused", true}};

INSTANTIATE_TEST_SUITE_P(Locks, FlashStaleLockTest, ::testing::ValuesIn(kStaleCases),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace talpir::test
