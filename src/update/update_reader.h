// Reads an update file (text of hexadecimal byte values) into the update image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace talpir::update {

inline constexpr std::size_t kImageCapacity = 0x100000;  // bytes the image holds
inline constexpr std::size_t kReadChunk = 64 * 1024;     // bytes UpdateFile reads at a time

// What one read of the text produced, and where it ended.
struct ReadReport {
    std::size_t count = 0;    // bytes stored in the image
    bool tooLarge = false;    // the text holds more values than the image has room for
    bool bomSkipped = false;  // a UTF-8 byte-order mark at the start was skipped
    // Offset in the text (a skipped mark included) where reading ended: where the conversion
    // that failed began after white space (for a sign with no digit, the sign), or with
    // tooLarge the first value that found no room.
    std::size_t stopOffset = 0;
    int stopChar = -1;  // the byte there (0..255), or -1 at the end of the text
};

// Converts text into image exactly as repeated "%2X" conversions would, stopping
// quietly at the first character that cannot begin a value. At most image.size()
// bytes are stored; one value more sets tooLarge.
ReadReport parseUpdateText(std::string_view text, std::span<std::uint8_t> image);

// An update file, open for reading in binary mode from open() to close().
class UpdateFile {
public:
    UpdateFile() = default;
    UpdateFile(const UpdateFile&) = delete;
    UpdateFile& operator=(const UpdateFile&) = delete;
    ~UpdateFile() { close(); }

    // False when the file cannot be opened (an empty path names no file); error() says why.
    bool open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    const std::string& error() const { return error_; }

    // Reads the whole file into image; false (with error()) on a read failure.
    bool readAll(std::span<std::uint8_t> image, ReadReport& report);
    void close();

private:
    std::FILE* file_ = nullptr;
    std::string error_;
};

}  // namespace talpir::update
