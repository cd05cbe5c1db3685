// The test helper that runs programs: what the end-to-end tests rely on from it.
#include "support/subprocess.h"

#include <gtest/gtest.h>

namespace talpir::test {
namespace {

using namespace std::chrono_literals;

constexpr char kShell[] = "/bin/sh";

TEST(RunProgram, PassesInputAndCollectsBothOutputsAndTheExitCode) {
    RunOptions options;
    options.input = std::string(300000, 'a') + "\n";  // more than a pipe holds at once
    options.environment = {"TALPIR_PROBE=seen"};
    const RunResult result =
        runProgram(kShell, {"-c", "wc -c; echo \"$TALPIR_PROBE\" >&2; exit 7"}, options);
    ASSERT_TRUE(result.exited(7)) << describe(result);
    EXPECT_EQ(std::stoul(result.out), 300001u);
    EXPECT_EQ(result.err, "seen\n");
}

TEST(RunProgram, KillsAProgramThatOutlivesTheDeadline) {
    RunOptions options;
    options.timeout = 200ms;
    const auto started = std::chrono::steady_clock::now();
    const RunResult result = runProgram(kShell, {"-c", "exec sleep 30"}, options);
    EXPECT_TRUE(result.timedOut) << describe(result);
    EXPECT_FALSE(result.exited(0));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST(RunProgram, SurvivesAProgramThatIgnoresItsInput) {
    RunOptions options;
    options.input = std::string(1 << 20, 'x');
    const RunResult result = runProgram(kShell, {"-c", "exit 3"}, options);
    EXPECT_TRUE(result.exited(3)) << describe(result);
}

TEST(RunProgram, ReportsAProgramThatCannotStart) {
    const RunResult result = runProgram("/nonexistent/talpir-none", {});
    EXPECT_FALSE(result.started);
    EXPECT_NE(result.startError.find("No such file"), std::string::npos) << result.startError;
}

}  // namespace
}  // namespace talpir::test
