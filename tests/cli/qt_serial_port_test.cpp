// QtSerialPort against talpir-devsim on a pseudo-terminal: echoes, answers, silence, hang-up.
#include "link/qt_serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "support/devsim_fixture.h"

namespace talpir::link {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

const std::string kDevSim = TALPIR_DEVSIM;
constexpr std::uint8_t kAccepted = 0x11;
constexpr auto kPoll = 20ms;  // the engine's wait per read

// QSerialPort wants an event dispatcher on its thread.
class QtApp : public ::testing::Environment {
public:
    void SetUp() override { m_app = std::make_unique<QCoreApplication>(m_argc, m_argv); }
    void TearDown() override { m_app.reset(); }

private:
    char m_name[16] = "port_test";
    char* m_argv[2] = {m_name, nullptr};
    int m_argc = 1;
    std::unique_ptr<QCoreApplication> m_app;
};

[[maybe_unused]] ::testing::Environment* const kQtApp =
    ::testing::AddGlobalTestEnvironment(new QtApp);

Bytes makeBlock(std::size_t payload) {
    Bytes block{static_cast<std::uint8_t>(payload >> 8), static_cast<std::uint8_t>(payload)};
    for (std::size_t i = 0; i < payload; ++i) {
        block.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    }
    return block;
}

struct Received {
    Bytes bytes;
    bool ok = true;
};

// Reads until count bytes came, a read failed or the deadline passed; never takes more than
// count, so what follows stays in the port.
Received receive(SerialPort& port, std::size_t count, Clock::time_point deadline) {
    Received received;
    std::uint8_t buffer[4096];
    while (received.bytes.size() < count && Clock::now() < deadline) {
        const std::size_t want = std::min(sizeof buffer, count - received.bytes.size());
        const ReadResult got = port.read(std::span(buffer, want), kPoll);
        received.bytes.insert(received.bytes.end(), buffer, buffer + got.count);
        if (!got.ok) {
            received.ok = false;
            break;
        }
    }
    return received;
}

std::chrono::microseconds threadCpuTime() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

class QtSerialPortTest : public ::testing::Test {
protected:
    void start(const std::vector<std::string>& options) {
        std::vector<std::string> args{"--quiet"};
        args.insert(args.end(), options.begin(), options.end());
        m_sim = std::make_unique<test::DevSim>(kDevSim, args);
        ASSERT_TRUE(m_sim->isReady()) << m_sim->error();
        std::string error;
        ASSERT_TRUE(m_port.open(m_sim->path(), &error)) << error;
        ASSERT_TRUE(m_port.discardInput());
    }

    std::unique_ptr<test::DevSim> m_sim;
    QtSerialPort m_port;
};

// The largest block fills the transmit queue at once; its echoes must come back while it
// goes out, at the line's pace. The noise after each answer must not reach the next block.
TEST_F(QtSerialPortTest, FullBlockEchoedAndAnsweredOnAPacedLine) {
    ASSERT_NO_FATAL_FAILURE(start({"--baud", "38400", "--noise"}));
    const Bytes block = makeBlock(2046);
    ASSERT_EQ(block.size(), 2048u);
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(m_port.discardInput());
        ASSERT_TRUE(m_port.write(block));
        const Received received = receive(m_port, block.size() + 1, Clock::now() + 10s);
        ASSERT_TRUE(received.ok);
        ASSERT_EQ(received.bytes.size(), block.size() + 1) << "round " << round;
        EXPECT_EQ(Bytes(received.bytes.begin(), received.bytes.end() - 1), block);
        EXPECT_EQ(received.bytes.back(), kAccepted);
    }
}

// A silent line is a timeout after the wait, without burning the processor meanwhile.
TEST_F(QtSerialPortTest, SilentLineTimesOutAfterTheWait) {
    ASSERT_NO_FATAL_FAILURE(start({"--silent", "0"}));
    ASSERT_TRUE(m_port.write(makeBlock(3)));
    std::uint8_t buffer[64];
    const Clock::time_point begin = Clock::now();
    const auto cpuBefore = threadCpuTime();
    const ReadResult got = m_port.read(buffer, 200ms);
    const auto cpu = threadCpuTime() - cpuBefore;
    const auto took = Clock::now() - begin;
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.count, 0u);
    EXPECT_GE(took, 190ms);
    EXPECT_LT(took, 2s);
    EXPECT_LT(cpu, 50ms);
}

// The device hangs up after a few bytes: the reads fail at once, not as timeouts forever.
TEST_F(QtSerialPortTest, HungUpLineIsAnErrorAtOnce) {
    ASSERT_NO_FATAL_FAILURE(start({"--hangup-after", "10"}));
    const Bytes block = makeBlock(100);
    ASSERT_TRUE(m_port.write(block));
    const Clock::time_point begin = Clock::now();
    const Received received = receive(m_port, block.size() + 1, begin + 5s);
    EXPECT_FALSE(received.ok);
    EXPECT_LT(Clock::now() - begin, 2s);
    EXPECT_LE(received.bytes.size(), 10u);
    std::uint8_t buffer[16];
    EXPECT_FALSE(m_port.read(buffer, kPoll).ok);
    m_port.close();
    EXPECT_FALSE(m_port.isOpen());
}

TEST(QtSerialPort, MissingDeviceFailsAndStaysClosed) {
    test::TempDir dir;
    QtSerialPort port;
    std::string error;
    EXPECT_FALSE(port.open(dir.file("no-such-tty"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(port.openError(), error);
    EXPECT_FALSE(port.isOpen());
    std::uint8_t buffer[4];
    EXPECT_FALSE(port.read(buffer, kPoll).ok);
    EXPECT_FALSE(port.write(makeBlock(1)));
    EXPECT_FALSE(port.discardInput());
    port.close();
}

// A second user is turned away while the first has the port, and gets it once it is closed.
TEST(QtSerialPort, ExclusiveWhileOpen) {
    test::DevSim sim(kDevSim, {"--quiet"});
    ASSERT_TRUE(sim.isReady()) << sim.error();
    QtSerialPort first;
    QtSerialPort second;
    std::string error;
    ASSERT_TRUE(first.open(sim.path(), &error)) << error;
    EXPECT_FALSE(second.open(sim.path(), &error));
    EXPECT_FALSE(second.isOpen());
    EXPECT_FALSE(error.empty());
    first.close();
    EXPECT_TRUE(second.open(sim.path(), &error)) << error;
}

// A program that keeps no lock file but locks the device it holds keeps the port, root or not.
TEST(QtSerialPort, RefusedWhileAnotherProgramLocksTheDevice) {
    test::DevSim sim(kDevSim, {"--quiet"});
    ASSERT_TRUE(sim.isReady()) << sim.error();
    const int holder = ::open(sim.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

    QtSerialPort port;
    std::string error;
    EXPECT_FALSE(port.open(sim.path(), &error));
    EXPECT_FALSE(port.isOpen());
    EXPECT_NE(error.find("in use"), std::string::npos) << error;

    ::close(holder);
    EXPECT_TRUE(port.open(sim.path(), &error)) << error;
}

}  // namespace
}  // namespace talpir::link
