// talpir-flash: the command-line programmer for scripts and production lines.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "cli/cli.h"

namespace {

constexpr char kUsage[] =
    "Usage: talpir-flash COMMAND [OPTIONS] ...\n"
    "\n"
    "Programs a TALPIR device over a serial port, and inspects update files.\n"
    "\n"
    "Commands:\n"
    "  info FILE                 show the image an update file gives and whether it can be sent\n"
    "  dump FILE                 write the image bytes, raw, to standard output\n"
    "  write --port PORT FILE    send an update file to the device\n"
    "  ports                     list the serial ports of this machine\n"
    "\n"
    "Run 'talpir-flash COMMAND --help' for a command's options.\n"
    "\n"
    "Exit status: 0 done, 1 usage error, 2 bad update file, 3 port not opened,\n"
    "4 refused by the device, 5 connection lost, 130 interrupted.\n";

struct Command {
    std::string_view name;
    int (*run)(int, char**);
};

constexpr Command kCommands[] = {
    {"info", talpir::cli::runInfo},
    {"dump", talpir::cli::runDump},
    {"write", talpir::cli::runWrite},
    {"ports", talpir::cli::runPorts},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return talpir::cli::kExitUsage;
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        std::fputs(kUsage, stdout);
        return talpir::cli::kExitOk;
    }
    for (const Command& command : kCommands) {
        if (command.name == name) {
            return command.run(argc - 2, argv + 2);
        }
    }
    std::fprintf(stderr, "talpir-flash: unknown command '%s'\n\n%s", argv[1], kUsage);
    return talpir::cli::kExitUsage;
}
