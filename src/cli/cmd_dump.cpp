// talpir-flash dump: writes the image an update file gives, raw, to standard output.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/cli.h"
#include "cli/console.h"
#include "cli/image_load.h"

namespace talpir::cli {

namespace {

constexpr char kUsage[] =
    "Usage: talpir-flash dump FILE\n"
    "\n"
    "Writes the bytes the update file FILE gives, raw, to standard output, whatever\n"
    "their block layout.\n"
    "\n"
    "Exit status: 0 written, 1 usage error, 2 the file cannot be read or is too large,\n"
    "or the output cannot be written.\n";

}  // namespace

int runDump(int argc, char** argv) {
    std::string path;
    if (const auto exit = parseFileArgs("dump", argc, argv, kUsage, path)) {
        return *exit;
    }
    const auto image = loadImage(path);
    if (!image) {
        return kExitBadFile;
    }
    if (image->report.tooLarge) {
        std::fprintf(stderr, "talpir-flash: %s: more than %zu values, too large for the image\n",
                     path.c_str(), update::kImageCapacity);
        return kExitBadFile;
    }
    setBinaryStdout();
    const auto& bytes = image->bytes;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
        std::fflush(stdout) != 0) {
        std::fprintf(stderr, "talpir-flash: standard output: %s\n", std::strerror(errno));
        return kExitBadFile;
    }
    return kExitOk;
}

}  // namespace talpir::cli
