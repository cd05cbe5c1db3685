// What the link benchmarks share: program paths, the simulated device, medians, the output.
// Results go out as key=value lines, which bench/report.sh turns into the report.
#pragma once

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_image.h"
#include "bench_process.h"

namespace talpir::bench {

inline constexpr int kBaud = 38400;                                // the line of the real device
inline constexpr std::size_t kSmallImage = 64 * 1024;              // paced transfers
inline constexpr std::size_t kLargeImage = 1 << 20;                // the largest image there is
inline constexpr std::size_t kUsualPayload = 1024;                 // as update files usually come
inline constexpr auto kStartDeadline = std::chrono::seconds(10);   // for a program to get going
inline constexpr char kSpawnVariable[] = "TALPIR_BENCH_SPAWN_NS";  // read by the window driver

struct Context {
    std::string buildDir;
    std::string workDir;
    int runs = 3;

    std::string flash() const { return buildDir + "/src/cli/talpir-flash"; }
    std::string devsim() const { return buildDir + "/tools/devsim/talpir-devsim"; }
    std::string reference() const { return buildDir + "/bench/talpir-bench-reference"; }
    std::string windowDriver() const { return buildDir + "/bench/talpir-bench-window"; }
    std::string path(const std::string& name) const { return workDir + "/" + name; }
};

// talpir-devsim for the length of one measurement; stopped when destroyed.
class DevSim {
public:
    DevSim(const Context& context, const std::vector<std::string>& args);
    ~DevSim();
    DevSim(const DevSim&) = delete;
    DevSim& operator=(const DevSim&) = delete;

    bool ready() const { return !m_port.empty(); }
    const std::string& port() const { return m_port; }
    LineLog& log() { return m_child->err(); }
    std::size_t logSize() { return log().lines().size(); }
    // When it logged the close of the port, from line `from` on, no earlier than after.
    std::optional<Clock::time_point> closeSeen(std::size_t from, Clock::time_point after,
                                               Clock::time_point deadline);

private:
    std::unique_ptr<Child> m_child;
    std::string m_port;
};

// An image written as update-file text (name.fwx) and raw bytes (name.bin) in the work folder.
struct ImageFiles {
    BenchImage image;
    std::string text;
    std::string raw;
};
ImageFiles prepareImage(const Context& context, const std::string& name, std::size_t total,
                        std::size_t payload);

double median(std::vector<double> values);
std::string format(const char* pattern, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}
// One result line: key=value, the value with the given decimals.
void putResult(const std::string& key, double value, int decimals);
void putText(const std::string& key, const std::string& value);
void note(const std::string& text);  // progress on stderr
bool fail(const std::string& text);  // says what went wrong; false
// True when the run exited with status; otherwise says how what ended.
bool endedWith(const Usage& usage, int status, const std::string& what);

// The measurements; each emits its results and is false when a run failed.
bool measureLine(const Context& context);        // paced efficiency and processor share
bool measureUnpaced(const Context& context);     // speed beside the reference loop
bool measureStop(const Context& context);        // talpir-flash interrupted
bool measureWindow(const Context& context);      // processor share over a paced transfer
bool measureWindowStop(const Context& context);  // the window's confirmed abort
bool measureSize(const Context& context);        // start-up and peak memory

}  // namespace talpir::bench
