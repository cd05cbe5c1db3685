// Command line of talpir-devsim: option table, number parsing and the usage text.
#include "options.h"

#include <getopt.h>

#include <charconv>
#include <string_view>

namespace talpir::devsim {

namespace {

enum OptionId {
    kLink = 256,
    kRefuseFirst,
    kRefuseBlock,
    kVersionError,
    kBadEcho,
    kSilent,
    kHangupAfter,
    kNoise,
    kBaud,
    kSave,
    kQuiet,
    kVerbose,
    kHelp,
};

const option kLongOptions[] = {
    {"link", required_argument, nullptr, kLink},
    {"refuse-first", required_argument, nullptr, kRefuseFirst},
    {"refuse-block", required_argument, nullptr, kRefuseBlock},
    {"version-error", required_argument, nullptr, kVersionError},
    {"bad-echo", required_argument, nullptr, kBadEcho},
    {"silent", required_argument, nullptr, kSilent},
    {"hangup-after", required_argument, nullptr, kHangupAfter},
    {"noise", no_argument, nullptr, kNoise},
    {"baud", required_argument, nullptr, kBaud},
    {"save", required_argument, nullptr, kSave},
    {"quiet", no_argument, nullptr, kQuiet},
    {"verbose", no_argument, nullptr, kVerbose},
    {"help", no_argument, nullptr, kHelp},
    {nullptr, 0, nullptr, 0},
};

template <typename T>
bool parseNumber(std::string_view text, T& value) {
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc{} && at == end;
}

bool parseBadEcho(std::string_view text, BadEcho& bad) {
    const std::size_t colon = text.find(':');
    return colon != std::string_view::npos && parseNumber(text.substr(0, colon), bad.block) &&
           parseNumber(text.substr(colon + 1), bad.index);
}

// Applies an option that takes a block number.
bool applyBlockOption(int id, std::string_view arg, Faults& faults) {
    std::uint32_t block = 0;
    if (!parseNumber(arg, block)) {
        return false;
    }
    if (id == kRefuseBlock) {
        faults.refuseBlocks.insert(block);
    } else if (id == kVersionError) {
        faults.versionErrors.insert(block);
    } else {
        faults.silentFrom = block;
    }
    return true;
}

// Applies an option that takes a value; false when the value is not valid for it.
bool applyValueOption(int id, std::string_view arg, Options& options) {
    switch (id) {
        case kLink:
            options.linkPath = arg;
            return !arg.empty();
        case kSave:
            options.savePath = arg;
            return !arg.empty();
        case kRefuseFirst:
            return parseNumber(arg, options.faults.refuseFirst);
        case kBaud:
            return parseNumber(arg, options.baud) && options.baud > 0;
        case kHangupAfter:
            options.hangupAfter.emplace();
            return parseNumber(arg, *options.hangupAfter);
        case kBadEcho: {
            BadEcho bad;
            if (!parseBadEcho(arg, bad)) {
                return false;
            }
            options.faults.badEchoes.push_back(bad);
            return true;
        }
        default:
            return applyBlockOption(id, arg, options.faults);
    }
}

bool applyOption(int id, const char* arg, Options& options) {
    switch (id) {
        case kNoise:
            options.faults.noise = true;
            return true;
        case kQuiet:
            options.verbosity = Verbosity::Quiet;
            return true;
        case kVerbose:
            options.verbosity = Verbosity::Verbose;
            return true;
        case kHelp:
            options.help = true;
            return true;
        default:
            return applyValueOption(id, arg, options);
    }
}

}  // namespace

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    opterr = 0;
    optind = 1;
    int id = 0;
    while ((id = getopt_long(argc, argv, "", kLongOptions, nullptr)) != -1) {
        if (id == '?' || id == ':') {
            error = std::string("unknown option or missing value: ") + argv[optind - 1];
            return false;
        }
        if (!applyOption(id, optarg, options)) {
            error = std::string("bad value for ") + argv[optind - 1];
            return false;
        }
    }
    if (optind < argc) {
        error = std::string("unexpected argument: ") + argv[optind];
        return false;
    }
    return true;
}

const char* usageText() {
    return R"(Usage: talpir-devsim [options]
Simulated TALPIR device on a pseudo-terminal. Prints the terminal's path on the first
line of standard output, then answers block transfers until SIGINT or SIGTERM.
Blocks are numbered from 0 within each transfer (each open of the terminal); a resend
of a refused block keeps its number.

  --link PATH          also make PATH a symbolic link to the terminal (removed on exit)
  --refuse-first N     refuse the first N sends of every block, then accept
  --refuse-block K     refuse block K always (may be repeated)
  --version-error K    answer block K with a version error instead of accepting it
                       (may be repeated; refusals take precedence)
  --bad-echo K:I       echo byte I of block K (0 = first length byte) with its bits flipped
                       (may be repeated)
  --silent K           from block K on, echo nothing and answer nothing until reopened
  --hangup-after N     after N bytes received in total, hang up the line and exit 0
  --noise              send a few garbage bytes right after every status byte
  --baud N             pace the replies at N baud (10 bits a byte)
  --save FILE          write every accepted block to FILE (truncated at start)
  --quiet              no messages on standard error
  --verbose            log every answered block on standard error
  --help               show this text

Exit status: 0 stopped by a signal or after --hangup-after, 1 usage error,
2 the terminal (or its link) cannot be set up or fails.
)";
}

}  // namespace talpir::devsim
