// talpir-flash write and ports, run as programs against talpir-devsim on a pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "support/devsim_fixture.h"
#include "support/subprocess.h"

extern char** environ;

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

// A program running in the background, its stdout and stderr collected as it runs.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& args);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return m_pidFd >= 0; }
    // Collects output until stderr holds text; false at the deadline or when it exited first.
    bool waitForErr(const std::string& text, Clock::time_point deadline);
    // Collects output until the program exits: its exit code (minus the signal that ended
    // it), or nothing at the deadline.
    std::optional<int> waitForExit(Clock::time_point deadline);
    void signal(int number) { kill(m_pid, number); }

    const std::string& out() const { return m_out; }
    const std::string& err() const { return m_err; }

private:
    bool pump(Clock::time_point deadline);  // false at the deadline, or when it exited

    pid_t m_pid = -1;
    int m_pidFd = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    std::string m_out;
    std::string m_err;
    std::optional<int> m_status;
};

Child::Child(const std::string& program, const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<std::string> strings{program};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : strings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    // The signal the test sends must not be blocked, whatever the test runner blocks.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    const int spawned =
        posix_spawn(&m_pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    m_outFd = out[0];
    m_errFd = err[0];
    if (spawned == 0) {
        // Through syscall(): the C library's header lacks C linkage for C++.
        m_pidFd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
    }
}

Child::~Child() {
    if (started() && !m_status) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    for (const int fd : {m_pidFd, m_outFd, m_errFd}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool Child::waitForErr(const std::string& text, Clock::time_point deadline) {
    while (m_err.find(text) == std::string::npos) {
        if (!pump(deadline)) {
            return false;
        }
    }
    return true;
}

std::optional<int> Child::waitForExit(Clock::time_point deadline) {
    while (pump(deadline)) {
    }
    return m_status;
}

bool Child::pump(Clock::time_point deadline) {
    if (!started() || m_status) {
        return false;
    }
    pollfd fds[] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}, {m_pidFd, POLLIN, 0}};
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left <= 0ms || poll(fds, std::size(fds), static_cast<int>(left.count())) <= 0) {
        return false;
    }
    char buffer[4096];
    int* pipes[] = {&m_outFd, &m_errFd};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
        if (got > 0) {
            (i == 0 ? m_out : m_err).append(buffer, static_cast<std::size_t>(got));
        } else {
            close(*pipes[i]);
            *pipes[i] = -1;  // poll skips it from now on
        }
    }
    if (fds[2].revents != 0 && m_outFd < 0 && m_errFd < 0) {
        // Exited, and both pipes are drained: no output is lost.
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        return false;
    }
    return true;
}

TEST(WriteCommand, InterruptWhileWaitingForTheDevice) {
    test::DevSim sim(kDevSim, {"--quiet", "--silent", "0"});
    ASSERT_TRUE(sim.isReady()) << sim.error();
    Child flash(kFlash, {"write", "--port", sim.path(), kExamples + "/hello.fwx"});
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
