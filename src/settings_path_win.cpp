// The settings file on Windows: beside the executable, in the ANSI code page, replaced safely.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "settings_file.h"

namespace talpir::settings {

namespace {

constexpr int kTempNameTries = 100;  // names taken by other writers before giving up

std::wstring toWide(const std::string& text, UINT codePage) {
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (size <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), size);
    return wide;
}

std::string fromWide(const std::wstring& wide, UINT codePage) {
    const int length = static_cast<int>(wide.size());
    const int size =
        WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), length, text.data(), size, nullptr, nullptr);
    return text;
}

// A new file beside target, under a name no other writer holds.
HANDLE createTemp(const std::wstring& target, std::wstring* tempPath) {
    for (int i = 0; i < kTempNameTries; ++i) {
        *tempPath =
            target + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(i);
        const HANDLE file = CreateFileW(tempPath->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

std::string settingsPath(const std::string& exePath) {
    return withIniExtension(exePath);
}

std::string toFileText(const std::string& utf8) {
    return fromWide(toWide(utf8, CP_UTF8), CP_ACP);
}

std::string fromFileText(const std::string& fileText) {
    return fromWide(toWide(fileText, CP_ACP), CP_UTF8);
}

std::string_view newFileLineEnd() {
    return "\r\n";
}

bool replaceFileContents(const std::string& path, const std::string& content) {
    const std::wstring target = toWide(path, CP_UTF8);
    std::wstring temp;
    const HANDLE file = createTemp(target, &temp);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool ok =
        content.empty() ||
        (WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
         written == content.size());
    ok = ok && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    if (ok && MoveFileExW(temp.c_str(), target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    DeleteFileW(temp.c_str());
    return false;
}

}  // namespace talpir::settings
