// ProgressDisplay: how often it draws on a terminal and in a pipe, and what it shows.
#include "cli/progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace talpir::cli {
namespace {

using namespace std::chrono_literals;
using Clock = ProgressDisplay::Clock;

class ProgressTest : public ::testing::Test {
protected:
    ~ProgressTest() override { std::fclose(m_file); }

    // Everything written so far.
    std::string output() {
        std::fflush(m_file);
        std::rewind(m_file);
        std::string text;
        for (int c; (c = std::fgetc(m_file)) != EOF;) {
            text += static_cast<char>(c);
        }
        return text;
    }

    // Updates every 10 ms over span, the count growing evenly from 0 to total.
    void feed(ProgressDisplay& display, std::int64_t total, Clock::duration span) {
        display.begin(total, m_start);
        const auto steps = span / 10ms;
        for (std::int64_t i = 0; i <= steps; ++i) {
            display.update(total * i / steps, m_start + i * 10ms);
        }
        display.end(m_start + span);
    }

    std::FILE* m_file = std::tmpfile();
    Clock::time_point m_start = Clock::now();
};

std::size_t count(const std::string& text, char c) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), c));
}

TEST_F(ProgressTest, PlainLinesAtMostOneASecondWithFirstAndLast) {
    ASSERT_NE(m_file, nullptr);
    ProgressDisplay display(m_file, false);
    feed(display, 65536, 5s);
    const std::string text = output();
    EXPECT_EQ(text.find("progress: 0% 0/65536 bytes\n"), 0u) << text;
    EXPECT_NE(text.find("progress: 100% 65536/65536 bytes\n"), std::string::npos) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos);
    // One at the start, one a second after it, and the last.
    EXPECT_GE(count(text, '\n'), 5u) << text;
    EXPECT_LE(count(text, '\n'), 7u) << text;
}

TEST_F(ProgressTest, PlainLineOnlyWhenTheCountMoved) {
    ASSERT_NE(m_file, nullptr);
    ProgressDisplay display(m_file, false);
    display.begin(1000, m_start);
    for (int i = 0; i < 50; ++i) {
        display.update(0, m_start + i * 1s);
    }
    EXPECT_EQ(output(), "progress: 0% 0/1000 bytes\n");
}

TEST_F(ProgressTest, BarRedrawsAboutTenTimesASecondOnOneLine) {
    ASSERT_NE(m_file, nullptr);
    ProgressDisplay display(m_file, true);
    feed(display, 2048, 2s);
    const std::string text = output();
    EXPECT_GE(count(text, '\r'), 15u) << text;
    EXPECT_LE(count(text, '\r'), 23u) << text;
    ASSERT_EQ(count(text, '\n'), 1u) << text;
    EXPECT_EQ(text.back(), '\n');
    const std::string last = text.substr(text.rfind('\r'));
    EXPECT_NE(last.find("100%  2048/2048 bytes"), std::string::npos) << last;
    EXPECT_NE(last.find("KiB/s"), std::string::npos) << last;
}

TEST_F(ProgressTest, NothingBeforeBeginAndNoNewlineWhenNothingWasDrawn) {
    ASSERT_NE(m_file, nullptr);
    ProgressDisplay display(m_file, true);
    display.update(10, m_start);
    display.end(m_start);
    EXPECT_EQ(output(), "");
}

}  // namespace
}  // namespace talpir::cli
