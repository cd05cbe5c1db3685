// SoakBench: one talpir-devsim per step under a fixed link, and the soak's comparison.
#include "soak_bench.h"

#include <chrono>

#include "fault_table.h"

namespace talpir::test {

namespace {

using namespace std::chrono_literals;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kRssTells = false;  // freed memory waits in the sanitizer's quarantine
#else
constexpr bool kRssTells = true;
#endif

}  // namespace

SoakBench::SoakBench(const std::string& devsim)
    : m_devsim(devsim), m_image(m_dir.file("image.fwx")) {
    if (!writeUpdateFile(m_image, kFaultBlocks)) {
        m_error = "cannot write " + m_image;
        return;
    }
    const auto& round = soakRound();
    m_devices.resize(round.size());
    for (std::size_t i = 0; i < round.size() && m_error.empty(); ++i) {
        if (round[i].port != SoakPort::Steady && round[i].port != SoakPort::Held) {
            continue;
        }
        const std::string port = prepare(i);
        if (round[i].port == SoakPort::Held && m_error.empty() && !m_holder.open(port, &m_error)) {
            m_error = "holder: " + m_error;
        }
    }
}

std::string SoakBench::prepare(std::size_t step) {
    const SoakStep& s = soakRound()[step];
    const std::string port = m_dir.file("port" + std::to_string(step));
    if (s.port == SoakPort::Missing || (m_devices[step] && s.port != SoakPort::Fresh)) {
        return port;
    }
    std::vector<std::string> args{"--quiet", "--link", port};
    args.insert(args.end(), s.device.begin(), s.device.end());
    m_devices[step].reset();
    m_devices[step] = std::make_unique<DevSim>(m_devsim, args);
    if (!m_devices[step]->isReady()) {
        m_error = s.name + std::string(": ") + m_devices[step]->error();
    }
    return port;
}

bool SoakBench::finish(std::size_t step) {
    if (soakRound()[step].port != SoakPort::Fresh) {
        return true;
    }
    const bool hungUp = m_devices[step]->waitForExit(5s) == 0;
    m_devices[step].reset();
    if (!hungUp) {
        m_error = "the device did not hang up";
    }
    return hungUp;
}

std::string SoakFigures::problems() const {
    std::string text;
    if (last.threads > first.threads) {
        text += "threads grew; ";
    }
    if (last.fds > first.fds) {
        text += "open descriptors grew; ";
    }
    if (kRssTells && last.rssKiB > first.rssKiB + kRssMarginKiB) {
        text += "resident memory grew; ";
    }
    return text;
}

std::string SoakFigures::describe() const {
    return "after the first transfer " + first.describe() + "; after the last " + last.describe() +
           (kRssTells ? "" : " (memory not judged under a sanitizer)");
}

}  // namespace talpir::test
