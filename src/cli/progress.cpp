// ProgressDisplay: when to draw, and the bar and line texts.
#include "cli/progress.h"

#include <algorithm>
#include <cinttypes>

namespace talpir::cli {

namespace {

constexpr auto kBarInterval = std::chrono::milliseconds(100);  // about ten redraws a second
constexpr auto kLineInterval = std::chrono::seconds(1);        // plain lines: one a second
constexpr int kBarCells = 30;                                  // width of the bar itself
constexpr double kKiB = 1024.0;

std::string format(const char* pattern, auto... values) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

std::string minutesAndSeconds(double seconds) {
    const auto whole = static_cast<std::int64_t>(seconds + 0.5);
    return format("%" PRId64 ":%02d", whole / 60, static_cast<int>(whole % 60));
}

}  // namespace

void ProgressDisplay::begin(std::int64_t total, Clock::time_point now) {
    m_active = true;
    m_drawn = false;
    m_total = std::max<std::int64_t>(total, 0);
    m_done = 0;
    m_doneDrawn = -1;
    m_width = 0;
    m_start = now;
}

void ProgressDisplay::update(std::int64_t done, Clock::time_point now) {
    if (!m_active) {
        return;
    }
    m_done = std::clamp<std::int64_t>(done, 0, m_total);
    if (due(now)) {
        draw(now);
    }
}

void ProgressDisplay::end(Clock::time_point now) {
    if (!m_active) {
        return;
    }
    if (m_terminal && m_drawn) {
        if (m_doneDrawn != m_done) {
            draw(now);
        }
        std::fputc('\n', m_out);
        std::fflush(m_out);
    }
    m_active = false;
}

// The first state is always shown, and so is the last; a bar also redraws for the rate and
// the time left, a plain line only when the count moved.
bool ProgressDisplay::due(Clock::time_point now) const {
    if (!m_drawn || (m_done == m_total && m_doneDrawn != m_done)) {
        return true;
    }
    if (m_terminal) {
        return now - m_lastDraw >= kBarInterval;
    }
    return m_done != m_doneDrawn && now - m_lastDraw >= kLineInterval;
}

void ProgressDisplay::draw(Clock::time_point now) {
    if (m_terminal) {
        std::string line = barLine(now);
        const std::size_t width = line.size();
        line.append(m_width > width ? m_width - width : 0, ' ');
        m_width = width;
        std::fputc('\r', m_out);
        std::fputs(line.c_str(), m_out);
    } else {
        std::fputs(plainLine().c_str(), m_out);
    }
    std::fflush(m_out);
    m_drawn = true;
    m_doneDrawn = m_done;
    m_lastDraw = now;
}

std::string ProgressDisplay::barLine(Clock::time_point now) const {
    const int filled = percent() * kBarCells / 100;
    std::string bar = "[" + std::string(filled, '#') + std::string(kBarCells - filled, '.') + "]";
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    std::string speed = "   --- KiB/s  --:-- left";
    if (m_done > 0 && seconds > 0) {
        const double rate = static_cast<double>(m_done) / seconds;
        speed = format("%6.1f KiB/s  %s left", rate / kKiB,
                       minutesAndSeconds(static_cast<double>(m_total - m_done) / rate).c_str());
    }
    return format("%s %3d%%  %" PRId64 "/%" PRId64 " bytes  %s", bar.c_str(), percent(), m_done,
                  m_total, speed.c_str());
}

std::string ProgressDisplay::plainLine() const {
    return format("progress: %d%% %" PRId64 "/%" PRId64 " bytes\n", percent(), m_done, m_total);
}

int ProgressDisplay::percent() const {
    return m_total == 0 ? 100 : static_cast<int>(m_done * 100 / m_total);
}

}  // namespace talpir::cli
