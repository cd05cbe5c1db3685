// Shared by info and dump: the one-FILE command line, and reading the file into an image.
#include "cli/image_load.h"

#include <cstdio>
#include <string_view>

#include "cli/cli.h"

namespace talpir::cli {

namespace {

int usageError(const char* command, const std::string& what, const char* usage) {
    std::fprintf(stderr, "talpir-flash %s: %s\n\n%s", command, what.c_str(), usage);
    return kExitUsage;
}

}  // namespace

std::optional<int> parseFileArgs(const char* command, int argc, char** argv, const char* usage,
                                 std::string& path) {
    std::vector<std::string> files;
    bool options = true;  // until "--"
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options && (arg == "--help" || arg == "-h")) {
            std::fputs(usage, stdout);
            return kExitOk;
        }
        if (options && arg == "--") {
            options = false;
        } else if (options && arg.size() > 1 && arg.front() == '-') {
            return usageError(command, "unknown option '" + std::string(arg) + "'", usage);
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.size() != 1) {
        return usageError(command, files.empty() ? "no FILE given" : "more than one FILE given",
                          usage);
    }
    path = files.front();
    return std::nullopt;
}

std::optional<LoadedImage> loadImage(const std::string& path) {
    update::UpdateFile file;
    LoadedImage image;
    image.bytes.resize(update::kImageCapacity);
    if (!file.open(path) || !file.readAll(image.bytes, image.report)) {
        std::fprintf(stderr, "talpir-flash: %s: %s\n", path.c_str(), file.error().c_str());
        return std::nullopt;
    }
    image.bytes.resize(image.report.count);
    return image;
}

}  // namespace talpir::cli
