// The window's processor share and start-up, and both programmers' peak memory.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bench_link.h"
#include "bench_window.h"

namespace talpir::bench {

namespace {

constexpr auto kPacedDeadline = std::chrono::seconds(120);  // 64 KiB at 38400 baud takes 17 s
constexpr auto kUnpacedDeadline = std::chrono::seconds(60);
constexpr char kTime[] = "/usr/bin/time";

double number(const DriverRun& run, const std::string& key) {
    const auto found = run.values.find(key);
    return found == run.values.end() ? 0 : std::atof(found->second.c_str());
}

// Peak resident memory in KiB as /usr/bin/time reports it for argv, with the transfer good.
std::optional<double> peakMemory(const Context& context, const std::vector<std::string>& argv,
                                 const std::string& name) {
    const std::string report = context.path("time-" + name + ".txt");
    std::vector<std::string> timed{kTime, "-f", "%M", "-o", report};
    timed.insert(timed.end(), argv.begin(), argv.end());
    ChildOptions options;
    options.environment = {"QT_QPA_PLATFORM=offscreen"};
    Child child(timed, options);
    const Usage usage = child.wait(Clock::now() + kUnpacedDeadline);
    if (!usage.exited || usage.status != 0) {
        fail(name + " did not finish the 1 MiB transfer");
        return std::nullopt;
    }
    std::ifstream file(report);
    std::string line;
    std::string last;
    while (std::getline(file, line)) {
        last = line.empty() ? last : line;
    }
    return std::atof(last.c_str());
}

}  // namespace

std::string prepareWindow(const Context& context, const std::string& port,
                          const std::string& file) {
    namespace fs = std::filesystem;
    const fs::path folder = context.path("window");
    fs::create_directories(folder);
    const fs::path exe = folder / "talpir-bench-window";
    fs::copy_file(context.windowDriver(), exe, fs::copy_options::overwrite_existing);
    std::ofstream ini(exe.string() + ".INI", std::ios::binary);
    ini << "[Main]\nLeft=200\nTop=100\nWindowState=0\n[USER]\ncomPortName=" << port
        << "\nFileName=" << file << "\n";
    return exe.string();
}

DriverRun runDriver(const std::string& exe, const std::string& mode, const std::string& port,
                    const std::string& file, Clock::time_point deadline) {
    ChildOptions options;
    options.environment = {"QT_QPA_PLATFORM=offscreen"};
    options.captureOut = true;
    options.startStampVariable = kSpawnVariable;
    Child child({exe, mode, port, file}, options);
    DriverRun run;
    run.usage = child.wait(deadline);
    for (const TimedLine& line : child.out().lines()) {
        const std::size_t equals = line.text.find('=');
        if (equals != std::string::npos) {
            run.values[line.text.substr(0, equals)] = line.text.substr(equals + 1);
        }
    }
    run.ok = run.usage.exited && run.usage.status == 0;
    return run;
}

bool measureWindow(const Context& context) {
    const ImageFiles files = prepareImage(context, "window", kSmallImage, kUsualPayload);
    const double bound = lineBoundSeconds(files.image, kBaud);
    DevSim devsim(context, {"--baud", std::to_string(kBaud)});
    if (!devsim.ready()) {
        return fail("talpir-devsim did not start");
    }
    const std::string exe = prepareWindow(context, devsim.port(), files.text);
    std::vector<double> shares;
    std::vector<double> transfers;
    std::vector<double> starts;
    for (int run = 1; run <= context.runs; ++run) {
        const DriverRun result =
            runDriver(exe, "run", devsim.port(), files.text, Clock::now() + kPacedDeadline);
        if (!result.ok) {
            return fail("the window did not finish the transfer: " +
                        (result.values.count("status") ? result.values.at("status") : "no status"));
        }
        transfers.push_back(number(result, "transfer_s"));
        shares.push_back(number(result, "cpu_s") / transfers.back());
        starts.push_back(number(result, "start_ms"));
        note(
            format("window, run %d: transfer %.3f s (bound %.3f s), processor %.3f %%, "
                   "shown after %.1f ms",
                   run, transfers.back(), bound, 100 * shares.back(), starts.back()));
    }
    putResult("cpu_window_pct", 100 * median(shares), 3);
    putResult("window_1024_eff", bound / median(transfers), 4);
    putResult("start_window_ms", median(starts), 1);
    return true;
}

bool measureSize(const Context& context) {
    const ImageFiles files = prepareImage(context, "size", kLargeImage, kUsualPayload);
    DevSim devsim(context, {});
    if (!devsim.ready()) {
        return fail("talpir-devsim did not start");
    }
    const std::string exe = prepareWindow(context, devsim.port(), files.text);
    double flashPeak = 0;
    double windowPeak = 0;
    for (int run = 1; run <= context.runs; ++run) {
        const auto flash = peakMemory(
            context, {context.flash(), "write", "--port", devsim.port(), files.text}, "flash");
        const auto window = peakMemory(context, {exe, "run", devsim.port(), files.text}, "window");
        if (!flash || !window) {
            return false;
        }
        flashPeak = std::max(flashPeak, *flash);
        windowPeak = std::max(windowPeak, *window);
        note(format("1 MiB, run %d: peak memory talpir-flash %.0f KiB, window %.0f KiB", run,
                    *flash, *window));
    }
    putResult("rss_flash_kb", flashPeak, 0);
    putResult("rss_window_kb", windowPeak, 0);
    return true;
}

}  // namespace talpir::bench
