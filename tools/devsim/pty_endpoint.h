// The pseudo-terminal the simulated device listens on, and the optional link to its slave.
#pragma once

#include <string>

namespace talpir::devsim {

class PtyEndpoint {
public:
    PtyEndpoint() = default;
    ~PtyEndpoint();
    PtyEndpoint(const PtyEndpoint&) = delete;
    PtyEndpoint& operator=(const PtyEndpoint&) = delete;

    // Creates a raw master/slave pair; false with error set on failure.
    bool open(std::string& error);
    // Points linkPath at the slave, replacing an older link; false with error set on failure.
    bool makeLink(const std::string& linkPath, std::string& error);
    // Hangs up the line: the slave's users see end of file. Removes the link too.
    void close();

    int masterFd() const { return m_master; }
    const std::string& slavePath() const { return m_slavePath; }

private:
    void removeLink();

    int m_master = -1;
    std::string m_slavePath;
    std::string m_linkPath;
};

}  // namespace talpir::devsim
