// The update file reader: a hand-written "%2X" scanner, fed whole texts or file chunks.
#include "update/update_reader.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace talpir::update {

namespace {

constexpr std::uint8_t kOther = 0xFF;              // cannot begin a value
constexpr std::uint8_t kSpace = 0xFE;              // skipped before a value
constexpr std::uint8_t kSign = 0xFD;               // '+' or '-'
constexpr std::string_view kBom = "\xEF\xBB\xBF";  // UTF-8 byte-order mark

// Class of every byte in the C locale: a hex digit's value, or one of the marks above.
constexpr std::array<std::uint8_t, 256> makeClasses() {
    std::array<std::uint8_t, 256> classes{};
    classes.fill(kOther);
    for (int c = 0; c < 10; ++c) {
        classes['0' + c] = static_cast<std::uint8_t>(c);
    }
    for (int c = 0; c < 6; ++c) {
        classes['a' + c] = static_cast<std::uint8_t>(10 + c);
        classes['A' + c] = static_cast<std::uint8_t>(10 + c);
    }
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        classes[static_cast<unsigned char>(c)] = kSpace;
    }
    classes['+'] = kSign;
    classes['-'] = kSign;
    return classes;
}

constexpr std::array<std::uint8_t, 256> kClass = makeClasses();

bool isPrefixX(unsigned char c) {
    return (c | 0x20) == 'x';
}

// Converts values one after another; its place survives from one chunk of text to the next.
class HexScanner {
public:
    HexScanner(std::span<std::uint8_t> image, ReadReport& report)
        : m_image(image), m_report(report) {}

    // Scans chunk, which starts at offset base of the text; returns the bytes used. Unless
    // last, a value that may run on into the next chunk is left for it (at most one byte).
    std::size_t scan(std::string_view chunk, std::size_t base, bool last);
    bool stopped() const { return m_stopped; }

private:
    void stop(std::size_t offset, int c);
    bool store(unsigned value, std::size_t offset, unsigned char c);

    std::span<std::uint8_t> m_image;
    ReadReport& m_report;
    bool m_stopped = false;
};

std::size_t HexScanner::scan(std::string_view chunk, std::size_t base, bool last) {
    const auto* s = reinterpret_cast<const unsigned char*>(chunk.data());
    const std::size_t n = chunk.size();
    std::size_t i = 0;
    while (true) {
        while (i < n && kClass[s[i]] == kSpace) {
            ++i;
        }
        if (i == n) {
            if (last) {
                stop(base + i, -1);
            }
            return i;
        }
        if (i + 1 == n && !last) {
            return i;
        }
        const std::size_t start = i;
        const std::uint8_t first = kClass[s[i]];
        const std::uint8_t next = i + 1 < n ? kClass[s[i + 1]] : kOther;
        unsigned value = 0;
        if (first < 16) {
            // The field holds two characters: "0x" is a prefix that fills it, giving 0.
            const bool prefix = first == 0 && i + 1 < n && isPrefixX(s[i + 1]);
            if (prefix || next < 16) {
                value = prefix ? 0u : first * 16u + next;
                i += 2;
            } else {
                value = first;
                i += 1;
            }
        } else if (first == kSign && next < 16) {
            value = s[i] == '-' ? 0u - next : unsigned{next};
            i += 2;
        } else {
            stop(base + start, s[start]);  // a lone sign, or nothing that begins a value
            return start;
        }
        if (!store(value, base + start, s[start])) {
            return start;
        }
    }
}

void HexScanner::stop(std::size_t offset, int c) {
    m_stopped = true;
    m_report.stopOffset = offset;
    m_report.stopChar = c;
}

bool HexScanner::store(unsigned value, std::size_t offset, unsigned char c) {
    if (m_report.count == m_image.size()) {
        m_report.tooLarge = true;
        stop(offset, c);
        return false;
    }
    m_image[m_report.count++] = static_cast<std::uint8_t>(value & 0xFF);
    return true;
}

std::size_t bomLength(std::string_view text) {
    return text.starts_with(kBom) ? kBom.size() : 0;
}

}  // namespace

ReadReport parseUpdateText(std::string_view text, std::span<std::uint8_t> image) {
    ReadReport report;
    const std::size_t skip = bomLength(text);
    report.bomSkipped = skip > 0;
    HexScanner(image, report).scan(text.substr(skip), skip, true);
    return report;
}

bool UpdateFile::open(const std::string& path) {
    close();
    error_.clear();
    if (path.empty()) {
        error_ = std::strerror(ENOENT);
        return false;
    }
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
        error_ = std::strerror(errno);
        return false;
    }
    return true;
}

bool UpdateFile::readAll(std::span<std::uint8_t> image, ReadReport& report) {
    report = {};
    if (file_ == nullptr) {
        error_ = std::strerror(EBADF);
        return false;
    }
    HexScanner scanner(image, report);
    // Room for the byte carried over; not zeroed, as fread fills what is used.
    const auto buffer = std::make_unique_for_overwrite<char[]>(kReadChunk + 1);
    std::size_t carried = 0;  // bytes left over from the previous chunk
    std::size_t base = 0;     // offset in the file of buffer[0]
    bool first = true;
    while (!scanner.stopped()) {
        errno = 0;
        const std::size_t got = std::fread(buffer.get() + carried, 1, kReadChunk, file_);
        if (std::ferror(file_)) {
            error_ = std::strerror(errno != 0 ? errno : EIO);
            return false;
        }
        const bool last = got < kReadChunk;  // fread comes up short only at the end
        const std::string_view chunk(buffer.get(), carried + got);
        std::size_t skip = 0;
        if (first) {
            skip = bomLength(chunk);
            report.bomSkipped = skip > 0;
            first = false;
        }
        const std::size_t used = skip + scanner.scan(chunk.substr(skip), base + skip, last);
        if (last) {
            break;
        }
        carried = chunk.size() - used;
        std::memmove(buffer.get(), buffer.get() + used, carried);
        base += used;
    }
    return true;
}

void UpdateFile::close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

}  // namespace talpir::update
