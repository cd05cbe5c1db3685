// How far a transfer has got: a bar redrawn in place on a terminal, plain lines elsewhere.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace talpir::cli {

class ProgressDisplay {
public:
    using Clock = std::chrono::steady_clock;

    ProgressDisplay(std::FILE* out, bool terminal) : m_out(out), m_terminal(terminal) {}

    // A transfer of total bytes starts; nothing is shown until the first update.
    void begin(std::int64_t total, Clock::time_point now);
    // May be called often: draws only as often as the output wants it.
    void update(std::int64_t done, Clock::time_point now);
    // Closes the bar's line, so that other output starts on a line of its own.
    void end(Clock::time_point now);

private:
    bool due(Clock::time_point now) const;
    void draw(Clock::time_point now);
    std::string barLine(Clock::time_point now) const;
    std::string plainLine() const;
    int percent() const;

    std::FILE* m_out;
    bool m_terminal;
    bool m_active = false;
    bool m_drawn = false;
    std::int64_t m_total = 0;
    std::int64_t m_done = 0;
    std::int64_t m_doneDrawn = -1;
    std::size_t m_width = 0;  // of the bar line last drawn, to blank what a shorter one leaves
    Clock::time_point m_start;
    Clock::time_point m_lastDraw;
};

}  // namespace talpir::cli
