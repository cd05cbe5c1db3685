// talpir-flash: the commands and the exit codes they share.
#pragma once

namespace talpir::cli {

enum Exit : int {
    kExitOk = 0,
    kExitUsage = 1,
    kExitBadFile = 2,   // cannot be opened or read, damaged, empty or too large
    kExitPort = 3,      // the port could not be opened
    kExitRefused = 4,   // echo mismatch, version error, fourth refusal
    kExitLinkLost = 5,  // connection lost, or no answer within --timeout
    kExitInterrupted = 130,
};

// Each takes the arguments after the command's name.
int runInfo(int argc, char** argv);
int runDump(int argc, char** argv);
int runWrite(int argc, char** argv);
int runPorts(int argc, char** argv);

}  // namespace talpir::cli
