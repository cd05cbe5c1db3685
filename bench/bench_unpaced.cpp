// Unpaced speed: talpir-flash beside the reference loop, from the port's open to its close.
// Also how much of talpir-flash's time with the port open goes to reading the file.
#include <algorithm>

#include "bench_link.h"
#include "port_watch.h"

namespace talpir::bench {

namespace {

constexpr auto kRunDeadline = std::chrono::seconds(60);
constexpr auto kWatchDeadline = std::chrono::seconds(5);  // for the close to be seen
constexpr int kRejectedStatus = 2;                        // talpir-flash: a damaged file

// Runs of one program: seconds with the port open and seconds of the whole process.
struct Runs {
    std::string name;
    std::vector<std::string> argv;
    int status = 0;
    std::vector<double> open = {};
    std::vector<double> process = {};
};

bool runOnce(PortWatch& watch, Runs& runs) {
    Child child(runs.argv, {});
    const Usage usage = child.wait(Clock::now() + kRunDeadline);
    if (!endedWith(usage, runs.status, runs.name)) {
        return false;
    }
    const std::optional<double> open =
        watch.openSeconds(child.startTime(), Clock::now() + kWatchDeadline);
    if (!open) {
        return fail("no open and close of the port seen for " + runs.name);
    }
    runs.open.push_back(*open);
    runs.process.push_back(usage.wallSeconds());
    note(format("%s: port open %.2f ms, process %.2f ms", runs.name.c_str(), 1000 * *open,
                1000 * usage.wallSeconds()));
    return true;
}

// The same image with its last byte gone: talpir-flash reads it whole, then refuses it.
std::string writeDamaged(const Context& context, const ImageFiles& files) {
    BenchImage damaged = files.image;
    damaged.bytes.pop_back();
    const std::string text = context.path("damaged.fwx");
    writeImage(damaged, text, context.path("damaged.bin"));
    return text;
}

}  // namespace

bool measureUnpaced(const Context& context) {
    const ImageFiles files = prepareImage(context, "unpaced", kLargeImage, kUsualPayload);
    const ImageFiles tiny = prepareImage(context, "tiny", 2, 0);  // one empty block
    DevSim devsim(context, {});
    if (!devsim.ready()) {
        return fail("talpir-devsim did not start");
    }
    PortWatch watch(devsim.port());
    if (!watch.watching()) {
        return fail("cannot watch " + devsim.port());
    }
    const std::vector<std::string> write{context.flash(), "write", "--port", devsim.port()};
    auto with = [](std::vector<std::string> argv, const std::string& arg) {
        argv.push_back(arg);
        return argv;
    };
    Runs flash{"talpir-flash, 1 MiB", with(write, files.text)};
    Runs reference{"reference loop, 1 MiB", {context.reference(), devsim.port(), files.raw}};
    Runs empty{"talpir-flash, one empty block", with(write, tiny.text)};
    Runs damaged{"talpir-flash, 1 MiB refused", with(write, writeDamaged(context, files)),
                 kRejectedStatus};
    // Taken in turns, so that all meet the same state of the machine.
    for (int run = 0; run < context.runs; ++run) {
        for (Runs* runs : {&flash, &reference, &empty, &damaged}) {
            if (!runOnce(watch, *runs)) {
                return false;
            }
        }
    }
    const auto total = static_cast<double>(files.image.bytes.size());
    const double flashRate = total / median(flash.open);
    const double referenceRate = total / median(reference.open);
    putResult("unpaced_flash_Bps", flashRate, 0);
    putResult("unpaced_ref_Bps", referenceRate, 0);
    putResult("unpaced_pct", 100 * flashRate / referenceRate, 1);
    // Noise only ever adds time: the best runs show what each can do.
    const double best = *std::min_element(reference.open.begin(), reference.open.end()) /
                        *std::min_element(flash.open.begin(), flash.open.end());
    putResult("unpaced_best_pct", 100 * best, 1);
    putResult("unpaced_flash_open_ms", 1000 * median(flash.open), 1);
    putResult("unpaced_ref_open_ms", 1000 * median(reference.open), 1);
    // Reading and checking 3 MB of text while the port is open, as the engine does.
    const double reading = median(damaged.open) - median(empty.open);
    putResult("unpaced_flash_read_ms", 1000 * reading, 1);
    putResult("unpaced_flash_noread_pct",
              100 * (total / (median(flash.open) - reading)) / referenceRate, 1);
    const double flashProcess = total / median(flash.process);
    const double referenceProcess = total / median(reference.process);
    putResult("unpaced_flash_proc_Bps", flashProcess, 0);
    putResult("unpaced_ref_proc_Bps", referenceProcess, 0);
    putResult("unpaced_proc_pct", 100 * flashProcess / referenceProcess, 1);
    putResult("flash_empty_proc_ms", 1000 * median(empty.process), 1);
    return true;
}

}  // namespace talpir::bench
