// The settings file: window placement, port name and last file, kept from one run to the next.
#pragma once

#include <string>

namespace talpir::settings {

struct WindowSettings {
    int left = 200;
    int top = 100;
    int windowState = 0;  // 0 normal, 1 minimised, 2 maximised
    std::string comPortName = "COM1";
    std::string fileName;
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

}  // namespace talpir::settings
