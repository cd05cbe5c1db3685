// The pseudo-terminal the simulated device listens on: creation, raw mode and the link.
#include "pty_endpoint.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace talpir::devsim {

namespace {

std::string failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Raw 8-bit line with no echo, no line editing and no flow control, like a device's UART.
bool makeRaw(int fd) {
    termios mode{};
    if (tcgetattr(fd, &mode) != 0) {
        return false;
    }
    cfmakeraw(&mode);
    mode.c_iflag &= ~(IXON | IXOFF | IXANY);
    mode.c_cflag &= ~CRTSCTS;
    mode.c_cflag |= CLOCAL | CREAD;
    return tcsetattr(fd, TCSANOW, &mode) == 0;
}

// True when path is the link we made: it still points at target.
bool linksTo(const std::string& path, const std::string& target) {
    char buffer[256];
    const ssize_t size = readlink(path.c_str(), buffer, sizeof buffer);
    return size >= 0 && target.compare(0, std::string::npos, buffer, size) == 0;
}

}  // namespace

PtyEndpoint::~PtyEndpoint() {
    close();
}

bool PtyEndpoint::open(std::string& error) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        error = failure("posix_openpt");
        return false;
    }
    const char* name = nullptr;
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 || !(name = ptsname(m_master))) {
        error = failure("cannot unlock the pty slave");
        return false;
    }
    m_slavePath = name;
    if (!makeRaw(m_master)) {
        error = failure("cannot make the pty raw");
        return false;
    }
    return true;
}

bool PtyEndpoint::makeLink(const std::string& linkPath, std::string& error) {
    struct stat existing {};
    if (lstat(linkPath.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        error = linkPath + " exists and is not a symbolic link";
        return false;
    }
    // A link under a temporary name renamed over the old one replaces it in one step.
    const std::string temporary = linkPath + ".tmp" + std::to_string(getpid());
    ::unlink(temporary.c_str());
    if (symlink(m_slavePath.c_str(), temporary.c_str()) != 0) {
        error = failure(("cannot create " + linkPath).c_str());
        return false;
    }
    if (rename(temporary.c_str(), linkPath.c_str()) != 0) {
        error = failure(("cannot create " + linkPath).c_str());
        ::unlink(temporary.c_str());
        return false;
    }
    m_linkPath = linkPath;
    return true;
}

void PtyEndpoint::close() {
    removeLink();
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

void PtyEndpoint::removeLink() {
    // Another instance may have taken the name over since; its link stays.
    if (!m_linkPath.empty() && linksTo(m_linkPath, m_slavePath)) {
        ::unlink(m_linkPath.c_str());
    }
    m_linkPath.clear();
}

}  // namespace talpir::devsim
