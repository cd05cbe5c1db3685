// What this process holds, from /proc/self: threads, open descriptors, resident memory.
#pragma once

#include <string>

namespace talpir::test {

struct ProcessStats {
    int threads = 0;
    int fds = 0;
    long rssKiB = 0;

    std::string describe() const;
};

ProcessStats processStats();

}  // namespace talpir::test
