// PortWatch: QSerialPort's lock file names in the usual lock folders, and /proc/self/fd.
#include "port_watch.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace talpir::test {

namespace {

namespace fs = std::filesystem;

const char* const kLockFolders[] = {"/var/lock", "/etc/locks", "/var/spool/locks",
                                    "/var/spool/uucp", "/tmp"};

std::string lockName(std::string path) {
    constexpr std::string_view kDev = "/dev/";
    if (path.starts_with(kDev)) {
        path.erase(0, kDev.size());
    }
    for (char& c : path) {
        c = c == '/' ? '_' : c;
    }
    return "LCK.." + path;
}

std::string realPath(const std::string& path) {
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    return error ? path : real.string();
}

// The first line of a lock file is its owner's process id.
bool ownerGoneOrUs(const std::string& lockFile) {
    std::ifstream file(lockFile);
    long pid = 0;
    if (!(file >> pid) || pid <= 0) {
        return false;  // being written, or no lock of QSerialPort's
    }
    const bool running = kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
    return pid == getpid() || !running;
}

}  // namespace

PortWatch::PortWatch(const std::string& port) : m_device(realPath(port)) {
    std::vector<std::string> folders(std::begin(kLockFolders), std::end(kLockFolders));
    if (const char* tmp = std::getenv("TMPDIR")) {
        folders.emplace_back(tmp);
    }
    for (const std::string& folder : folders) {
        for (const std::string& name : {port, m_device}) {
            m_lockFiles.push_back(folder + "/" + lockName(name));
        }
    }
}

bool PortWatch::locked() const {
    return !lockFile().empty();
}

std::string PortWatch::lockFile() const {
    for (const std::string& file : m_lockFiles) {
        std::error_code error;
        if (fs::exists(fs::symlink_status(file, error))) {
            return file;
        }
    }
    return {};
}

bool PortWatch::leftBehind() const {
    for (const std::string& file : m_lockFiles) {
        std::error_code error;
        if (fs::exists(fs::symlink_status(file, error)) && ownerGoneOrUs(file)) {
            return true;
        }
    }
    return false;
}

bool PortWatch::openHere() const {
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd", error)) {
        std::error_code ignored;
        const std::string target = fs::read_symlink(entry.path(), ignored).string();
        // A hung-up pty's slave is gone from /dev, and its descriptors say so.
        if (target == m_device || target == m_device + " (deleted)") {
            return true;
        }
    }
    return false;
}

}  // namespace talpir::test
