// The settings file on POSIX systems: where it lies, its text encoding and its safe replacement.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "settings_file.h"

namespace talpir::settings {

namespace {

constexpr char kConfigFolder[] = "talpir-programmer";  // under $XDG_CONFIG_HOME
constexpr char kExtension[] = ".INI";
constexpr int kTempNameTries = 100;        // names taken by other writers before giving up
constexpr mode_t kNewFileMode = 0666;      // narrowed by the umask, as for any new file
constexpr mode_t kPermissionBits = 07777;  // of a replaced file, kept for those who share it

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// $XDG_CONFIG_HOME, or ~/.config when it is unset, empty or (against the rules) relative.
std::string configHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return (home && home[0] != '\0') ? std::string(home) + "/.config" : std::string();
}

bool writeAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t written = ::write(fd, content.data() + done, content.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// A new file beside path, under a name no other writer holds.
int createTemp(const std::string& path, std::string* tempPath) {
    for (int i = 0; i < kTempNameTries; ++i) {
        *tempPath = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(i);
        const int fd =
            ::open(tempPath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// So that the rename itself survives a power cut.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

// Beside the executable for a portable install; otherwise in the user's configuration folder,
// since a system folder such as /usr/bin is not the user's to write.
std::string settingsPath(const std::string& exePath) {
    const std::string beside = exePath + kExtension;
    const std::string home = configHome();
    if (::access(beside.c_str(), F_OK) == 0 || ::access(folderOf(exePath).c_str(), W_OK) == 0 ||
        home.empty()) {
        return beside;
    }
    return home + "/" + kConfigFolder + "/" + nameOf(exePath) + kExtension;
}

std::string toFileText(const std::string& utf8) {
    return utf8;
}

std::string fromFileText(const std::string& fileText) {
    return fileText;
}

std::string_view newFileLineEnd() {
    return "\n";
}

bool replaceFileContents(const std::string& path, const std::string& content) {
    std::string temp;
    const int fd = createTemp(path, &temp);
    if (fd < 0) {
        return false;
    }
    struct stat old {};
    bool ok = ::stat(path.c_str(), &old) != 0 || ::fchmod(fd, old.st_mode & kPermissionBits) == 0;
    ok = ok && writeAll(fd, content) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0) {
        syncFolder(folderOf(path));
        return true;
    }
    ::unlink(temp.c_str());
    return false;
}

}  // namespace talpir::settings
