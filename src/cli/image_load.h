// Shared by info and dump: the one-FILE command line, and reading the file into an image.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "update/update_reader.h"

namespace talpir::cli {

struct LoadedImage {
    std::vector<std::uint8_t> bytes;  // the image: count bytes
    update::ReadReport report;
};

// Parses "[--help] [--] FILE" for command. Returns the exit code to end with (help printed,
// or a usage error reported with usage on stderr), or nothing with path set.
std::optional<int> parseFileArgs(const char* command, int argc, char** argv, const char* usage,
                                 std::string& path);

// Reads path whole; when it cannot be opened or read, says "talpir-flash: PATH: reason" on
// stderr and gives nothing.
std::optional<LoadedImage> loadImage(const std::string& path);

}  // namespace talpir::cli
