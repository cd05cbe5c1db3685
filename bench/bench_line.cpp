// Line efficiency of talpir-flash on a line paced at 38400 baud, and its processor share.
#include <cstdio>
#include <string>

#include "bench_link.h"

namespace talpir::bench {

namespace {

constexpr std::size_t kPayloads[] = {64, 256, 1024, 2046};  // from small to the largest block
constexpr auto kRunSlack = std::chrono::seconds(30);        // beyond twice the line's bound, a hang

bool measurePayload(const Context& context, std::size_t payload) {
    const std::string size = std::to_string(payload);
    const ImageFiles files = prepareImage(context, "line-" + size, kSmallImage, payload);
    const double bound = lineBoundSeconds(files.image, kBaud);
    DevSim devsim(context, {"--baud", std::to_string(kBaud)});
    if (!devsim.ready()) {
        return fail("talpir-devsim did not start");
    }
    std::vector<double> walls;
    std::vector<double> shares;
    for (int run = 1; run <= context.runs; ++run) {
        Child flash({context.flash(), "write", "--port", devsim.port(), files.text}, {});
        const auto deadline =
            Clock::now() +
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(2 * bound)) +
            kRunSlack;
        const Usage usage = flash.wait(deadline);
        if (!endedWith(usage, 0, "talpir-flash write")) {
            return false;
        }
        walls.push_back(usage.wallSeconds());
        shares.push_back(usage.cpuSeconds / usage.wallSeconds());
        note(format("%zu-byte blocks, run %d: %.3f s (bound %.3f s), processor %.3f %%", payload,
                    run, usage.wallSeconds(), bound, 100 * shares.back()));
    }
    putResult("line_" + size + "_blocks", static_cast<double>(files.image.wireSizes.size()), 0);
    putResult("line_" + size + "_bound_s", bound, 3);
    putResult("line_" + size + "_wall_s", median(walls), 3);
    putResult("line_" + size + "_eff", bound / median(walls), 4);
    if (payload == kUsualPayload) {
        putResult("cpu_flash_pct", 100 * median(shares), 3);
    }
    return true;
}

}  // namespace

bool measureLine(const Context& context) {
    for (const std::size_t payload : kPayloads) {
        if (!measurePayload(context, payload)) {
            return false;
        }
    }
    return true;
}

}  // namespace talpir::bench
