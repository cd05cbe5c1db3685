// talpir-flash write: sends an update file to the device, one transfer.
#include <QCoreApplication>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "cli/cli.h"
#include "cli/cli_host.h"
#include "cli/console.h"
#include "cli/interrupt.h"
#include "cli/progress.h"
#include "link/qt_serial_port.h"
#include "link/transfer_engine.h"

namespace talpir::cli {

namespace {

constexpr char kUsage[] =
    "Usage: talpir-flash write --port PORT [--timeout SECONDS] FILE\n"
    "\n"
    "Sends the update file FILE to the device on the serial port PORT (38400 baud, 8N1),\n"
    "block by block, checking every echo and the device's answer to every block.\n"
    "\n"
    "Options:\n"
    "  -p, --port PORT        the serial port: COM3, ttyUSB0 or a full path such as /dev/ttyUSB0\n"
    "  -t, --timeout SECONDS  give up when the device stays silent this long (fractions allowed);\n"
    "                         without it the wait for the device has no end, as in the window\n"
    "  -h, --help             show this text\n"
    "\n"
    "Progress goes to stderr: a bar on a terminal, otherwise a line a second such as\n"
    "\"progress: 42% 27540/65536 bytes\". The final status goes to stdout, error messages to\n"
    "stderr. Ctrl+C (or SIGTERM) stops the transfer and closes the port.\n"
    "\n"
    "Exit status: 0 done; 1 usage error, or no memory for the image; 2 the file cannot be\n"
    "opened or read, or is damaged, empty or too large (nothing is sent then); 3 the port\n"
    "cannot be opened; 4 echo mismatch, version error or block refused four times;\n"
    "5 connection lost, or no answer within --timeout; 130 interrupted.\n";

constexpr double kMaxTimeoutSeconds = 1e6;  // keeps the milliseconds far from overflow

struct WriteArgs {
    std::string port;
    std::string file;
    std::optional<std::chrono::milliseconds> timeout;
    bool help = false;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "talpir-flash write: %s\nRun 'talpir-flash write --help' for usage.\n",
                 message.c_str());
    return kExitUsage;
}

std::optional<std::chrono::milliseconds> parseTimeout(std::string_view text) {
    double seconds = 0;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, seconds);
    if (text.empty() || ec != std::errc{} || at != end || !(seconds > 0) ||
        seconds > kMaxTimeoutSeconds) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(seconds * 1000)));
}

enum class ValueOption { Port, Timeout };

std::optional<ValueOption> valueOption(std::string_view name) {
    if (name == "-p" || name == "--port") {
        return ValueOption::Port;
    }
    if (name == "-t" || name == "--timeout") {
        return ValueOption::Timeout;
    }
    return std::nullopt;
}

// Returns an exit status when the value is wrong.
std::optional<int> applyValue(ValueOption option, std::string_view value, WriteArgs& args) {
    if (option == ValueOption::Port) {
        args.port = std::string(value);
        if (args.port.empty()) {
            return usageError("--port wants a port name");
        }
    } else if (!(args.timeout = parseTimeout(value))) {
        return usageError("--timeout wants a positive number of seconds, not '" +
                          std::string(value) + "'");
    }
    return std::nullopt;
}

// Takes one option, and its value from "--name=value" or from the next argument.
std::optional<int> applyOption(int argc, char** argv, int& i, WriteArgs& args) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
        args.help = true;
        return std::nullopt;
    }
    const std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string_view::npos;
    const std::string_view name = arg.substr(0, equals);
    const std::optional<ValueOption> option = valueOption(name);
    if (!option) {
        return usageError("unknown option '" + std::string(arg) + "'");
    }
    if (equals != std::string_view::npos) {
        return applyValue(*option, arg.substr(equals + 1), args);
    }
    if (++i >= argc) {
        return usageError(std::string(name) + " needs a value");
    }
    return applyValue(*option, argv[i], args);
}

// Fills args; returns an exit status when the arguments are wrong.
std::optional<int> parseArgs(int argc, char** argv, WriteArgs& args) {
    bool optionsEnd = false;
    std::optional<std::string> file;
    for (int i = 0; i < argc && !args.help; ++i) {
        const std::string_view arg = argv[i];
        if (!optionsEnd && arg == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && arg.size() > 1 && arg.starts_with('-')) {
            if (const std::optional<int> status = applyOption(argc, argv, i, args)) {
                return status;
            }
        } else if (file) {
            return usageError("only one FILE may be given");
        } else {
            file = std::string(arg);
        }
    }
    if (args.help) {
        return std::nullopt;
    }
    if (args.port.empty()) {
        return usageError("--port PORT is required");
    }
    if (!file) {
        return usageError("FILE is required");
    }
    args.file = *file;
    return std::nullopt;
}

int exitStatus(link::Outcome outcome) {
    using link::Outcome;
    switch (outcome) {
        case Outcome::Done:
            return kExitOk;
        case Outcome::FileNotOpened:
        case Outcome::FileRejected:
            return kExitBadFile;
        case Outcome::PortNotOpened:
            return kExitPort;
        case Outcome::EchoMismatch:
        case Outcome::VersionError:
        case Outcome::Refused:
            return kExitRefused;
        case Outcome::LinkLost:
        case Outcome::NoAnswer:
            return kExitLinkLost;
        case Outcome::Aborted:
        case Outcome::Closing:
            return kExitInterrupted;
        case Outcome::OutOfMemory:
            break;
    }
    return kExitUsage;
}

link::Outcome transfer(const WriteArgs& args) {
    // QSerialPort wants an event dispatcher on its thread, even when it is used blocking.
    static char appName[] = "talpir-flash";
    static char* appArgv[] = {appName, nullptr};
    int appArgc = 1;
    QCoreApplication app(appArgc, appArgv);

    ProgressDisplay progress(stderr, isTerminal(stderr));
    CliHost host(args.file, args.port, progress);
    link::TransferOptions options;
    options.answerTimeout = args.timeout;
    link::QtSerialPort port;
    const link::Outcome outcome = link::runTransfer(port, host, options);
    host.finish();
    if (outcome == link::Outcome::PortNotOpened) {
        std::fprintf(stderr, "talpir-flash write: %s: %s\n", args.port.c_str(),
                     port.openError().c_str());
    }
    return outcome;
}

}  // namespace

int runWrite(int argc, char** argv) {
    WriteArgs args;
    if (const std::optional<int> status = parseArgs(argc, argv, args)) {
        return *status;
    }
    if (args.help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    prepareConsole();
    installInterruptHandler();
    const link::Outcome outcome = transfer(args);
    if (outcome == link::Outcome::Aborted) {
        std::fputs("talpir-flash write: interrupted, the port is closed\n", stderr);
    }
    return exitStatus(outcome);
}

}  // namespace talpir::cli
