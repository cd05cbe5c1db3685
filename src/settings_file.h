// The settings file: window placement, port name and last file, kept from one run to the next.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talpir::settings {

// Paths and texts in this interface are UTF-8.

struct WindowSettings {
    int left = 200;
    int top = 100;
    int windowState = 0;  // 0 normal, 1 minimised, 2 maximised
    std::string comPortName = "COM1";
    std::string fileName;

    bool operator==(const WindowSettings&) const = default;
};

// Where the settings file of the executable at exePath lies.
std::string settingsPath(const std::string& exePath);

// Reads the five values; anything missing or unreadable gives its default.
WindowSettings readSettings(const std::string& path);

// Writes WindowState, then Left and Top only when windowState is 0, then the two texts,
// keeping everything else in the file as it was. False (with error set to
// "Unable to write to <path>") when the file cannot be written.
bool writeSettings(const std::string& path, const WindowSettings& values, std::string* error);

// The integer rule of the file: decimal, or hexadecimal after $, x, X, 0x or 0X; leading
// blanks; one sign; 32-bit range; anything else gives fallback.
int parseIniInteger(const std::string& text, int fallback);

// A screen's available geometry, or a window's frame, in screen pixels.
struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Whether a window at left, top of the given size shows on at least one of screens; when it
// does not, the window takes the default placement instead of opening out of reach.
bool placementVisible(int left, int top, int width, int height, const std::vector<Rect>& screens);

// exePath with the extension of its file name replaced by ".INI" (appended when it has none).
std::string withIniExtension(const std::string& exePath);

// Platform pieces, one source file per platform.

// UTF-8 to the encoding of the file's texts, and back.
std::string toFileText(const std::string& utf8);
std::string fromFileText(const std::string& fileText);
// The line end of a new file.
std::string_view newFileLineEnd();
// Replaces the file at path by content through a temporary file in the same folder, so the old
// file stays whole when anything fails; no temporary file is left behind.
bool replaceFileContents(const std::string& path, const std::string& content);

}  // namespace talpir::settings
