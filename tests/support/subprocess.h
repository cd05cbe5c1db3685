// Runs a program to its end for end-to-end tests: its output, its exit and a deadline.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace talpir::test {

struct RunOptions {
    std::string input;                         // written to the program's stdin, then closed
    std::chrono::milliseconds timeout{20000};  // the program is killed when it runs longer
    std::vector<std::string> environment;      // "NAME=value" added to (or replacing) ours
};

struct RunResult {
    bool started = false;  // false: fork or exec failed; startError says why
    std::string startError;
    bool timedOut = false;  // killed (SIGKILL) at the deadline
    int exitCode = -1;      // when the program exited by itself
    int signal = 0;         // the signal that ended it, 0 when it exited
    std::string out;        // everything it wrote to stdout
    std::string err;        // and to stderr

    bool exited(int code) const { return started && !timedOut && signal == 0 && exitCode == code; }
};

// Runs program (a path; PATH is not searched) with args, waits until it ends or the
// deadline passes, and returns what happened. Ignores SIGPIPE in the calling process (the
// program may exit without reading its input); the program gets the default back.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options = {});

// A one-line account of result for test failure messages: how it ended, and its stderr.
std::string describe(const RunResult& result);

}  // namespace talpir::test
