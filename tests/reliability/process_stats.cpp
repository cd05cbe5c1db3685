// processStats: /proc/self/task, /proc/self/fd and VmRSS of /proc/self/status.
#include "process_stats.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace talpir::test {

namespace {

int entries(const char* folder) {
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    return error ? -1 : static_cast<int>(std::distance(it, std::filesystem::directory_iterator()));
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = -1;
            status >> kib;
            return kib;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

}  // namespace

ProcessStats processStats() {
    ProcessStats stats;
    stats.threads = entries("/proc/self/task");
    stats.fds = entries("/proc/self/fd") - 1;  // the listing's own descriptor
    stats.rssKiB = residentKiB();
    return stats;
}

std::string ProcessStats::describe() const {
    return std::to_string(threads) + " threads, " + std::to_string(fds) + " fds, " +
           std::to_string(rssKiB) + " KiB resident";
}

}  // namespace talpir::test
