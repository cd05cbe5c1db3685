// Reads and writes the five values of the settings file, and the rules behind them.
#include "settings_file.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "settings_ini.h"

namespace talpir::settings {

namespace {

namespace fs = std::filesystem;

constexpr char kMainSection[] = "Main";
constexpr char kUserSection[] = "USER";
constexpr char kLeftKey[] = "Left";
constexpr char kTopKey[] = "Top";
constexpr char kWindowStateKey[] = "WindowState";
constexpr char kPortKey[] = "comPortName";
constexpr char kFileKey[] = "FileName";
constexpr int kLastWindowState = 2;           // 0 normal, 1 minimised, 2 maximised
constexpr std::size_t kMaxTextLength = 2047;  // characters the Windows profile read returns
constexpr std::int64_t kMaxHex = 0xFFFFFFFF;  // hexadecimal stands for a 32-bit pattern
constexpr std::int64_t kMaxPositive = 2147483647;
constexpr std::int64_t kMaxNegative = 2147483648;  // magnitude of the 32-bit minimum

fs::path fsPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

int digitValue(char c, int base) {
    int digit = base;
    if (c >= '0' && c <= '9') {
        digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
    }
    return digit < base ? digit : -1;
}

// Cuts at kMaxTextLength code points, never inside one.
std::string cutText(std::string text) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool startsCharacter = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (startsCharacter && characters++ == kMaxTextLength) {
            text.resize(i);
            break;
        }
    }
    return text;
}

std::string readText(const IniDocument& ini, const char* section, const char* key,
                     const std::string& fallback) {
    const auto value = ini.value(section, key);
    return value ? cutText(fromFileText(*value)) : fallback;
}

int readInteger(const IniDocument& ini, const char* section, const char* key, int fallback) {
    return parseIniInteger(readText(ini, section, key, {}), fallback);
}

// A missing file reads as empty; false when the file is there but cannot be read.
bool loadFile(const fs::path& path, std::string* content) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    content->clear();
    if (status.type() == fs::file_type::not_found) {
        return true;
    }
    std::ifstream in(path, std::ios::binary);
    if (!fs::is_regular_file(status) || !in) {
        return false;
    }
    content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// A settings file shared through a link is changed where it really lies.
fs::path resolvedTarget(const std::string& path) {
    fs::path target = fsPath(path);
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(target, error))) {
        fs::path real = fs::canonical(target, error);
        if (!error) {
            target = std::move(real);
        }
    }
    return target;
}

bool createFolderOf(const fs::path& file) {
    const fs::path folder = file.parent_path();
    std::error_code error;
    if (!folder.empty()) {
        fs::create_directories(folder, error);
    }
    return !error;
}

bool overlaps(std::int64_t start, std::int64_t length, std::int64_t otherStart,
              std::int64_t otherLength) {
    return start < otherStart + otherLength && otherStart < start + length;
}

}  // namespace

int parseIniInteger(const std::string& text, int fallback) {
    std::string_view rest = text;
    while (rest.starts_with(' ')) {
        rest.remove_prefix(1);
    }
    const bool negative = rest.starts_with('-');
    if (negative || rest.starts_with('+')) {
        rest.remove_prefix(1);
    }
    int base = 10;
    if (rest.starts_with("0x") || rest.starts_with("0X")) {
        base = 16;
        rest.remove_prefix(2);
    } else if (rest.starts_with('$') || rest.starts_with('x') || rest.starts_with('X')) {
        base = 16;
        rest.remove_prefix(1);
    }
    if (rest.empty()) {
        return fallback;
    }
    const std::int64_t limit = base == 16 ? kMaxHex : (negative ? kMaxNegative : kMaxPositive);
    std::int64_t magnitude = 0;
    for (const char c : rest) {
        const int digit = digitValue(c, base);
        if (digit < 0) {
            return fallback;
        }
        magnitude = magnitude * base + digit;
        if (magnitude > limit) {
            return fallback;
        }
    }
    if (base == 16) {
        // As Delphi's Val gives it: $FFFFFFFF is -1, $80000000 the minimum, and a sign
        // negates the 32-bit pattern (-$FFFFFFFF is 1).
        const auto bits = static_cast<std::uint32_t>(magnitude);
        return static_cast<std::int32_t>(negative ? 0u - bits : bits);
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

WindowSettings readSettings(const std::string& path) {
    std::string content;
    if (!loadFile(resolvedTarget(path), &content)) {
        content.clear();
    }
    const IniDocument ini(content, newFileLineEnd());
    const WindowSettings defaults;
    WindowSettings values;
    values.left = readInteger(ini, kMainSection, kLeftKey, defaults.left);
    values.top = readInteger(ini, kMainSection, kTopKey, defaults.top);
    values.windowState = readInteger(ini, kMainSection, kWindowStateKey, defaults.windowState);
    if (values.windowState < 0 || values.windowState > kLastWindowState) {
        values.windowState = defaults.windowState;
    }
    values.comPortName = readText(ini, kUserSection, kPortKey, defaults.comPortName);
    values.fileName = readText(ini, kUserSection, kFileKey, defaults.fileName);
    return values;
}

bool writeSettings(const std::string& path, const WindowSettings& values, std::string* error) {
    const fs::path target = resolvedTarget(path);
    std::string content;
    const bool loaded = loadFile(target, &content);
    IniDocument ini(content, newFileLineEnd());
    ini.setValue(kMainSection, kWindowStateKey, std::to_string(values.windowState));
    if (values.windowState == 0) {
        ini.setValue(kMainSection, kLeftKey, std::to_string(values.left));
        ini.setValue(kMainSection, kTopKey, std::to_string(values.top));
    }
    ini.setValue(kUserSection, kPortKey, toFileText(values.comPortName));
    ini.setValue(kUserSection, kFileKey, toFileText(values.fileName));
    if (loaded && createFolderOf(target) && replaceFileContents(utf8Of(target), ini.text())) {
        return true;
    }
    if (error) {
        *error = "Unable to write to " + path;
    }
    return false;
}

bool placementVisible(int left, int top, int width, int height, const std::vector<Rect>& screens) {
    if (width <= 0 || height <= 0) {
        return false;
    }
    return std::any_of(screens.begin(), screens.end(), [&](const Rect& screen) {
        return screen.width > 0 && screen.height > 0 &&
               overlaps(left, width, screen.x, screen.width) &&
               overlaps(top, height, screen.y, screen.height);
    });
}

std::string withIniExtension(const std::string& exePath) {
    const std::size_t nameStart = exePath.find_last_of("/\\") + 1;  // 0 when there is no folder
    const std::size_t dot = exePath.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot >= nameStart;
    return (hasExtension ? exePath.substr(0, dot) : exePath) + ".INI";
}

}  // namespace talpir::settings
