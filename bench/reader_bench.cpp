// Speed of the update file reader beside the C library's own "%2X" loops on the same text.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "update/update_reader.h"

namespace {

constexpr std::size_t kTextSize = 4 * 1024 * 1024;  // about the size of a large update file
constexpr int kPerLine = 16;                        // values per line, as update files come

// "XX " values with a line break after every 16, from a fixed seed.
const std::string& updateText() {
    static const std::string text = [] {
        std::string t;
        std::mt19937 random(1);
        char value[4];
        for (int i = 1; t.size() < kTextSize; ++i) {
            std::snprintf(value, sizeof value, "%02X", static_cast<unsigned>(random() & 0xFF));
            t += value;
            t += i % kPerLine == 0 ? '\n' : ' ';
        }
        return t;
    }();
    return text;
}

std::size_t valueCount() {
    return (updateText().size() + 2) / 3;
}

void finish(benchmark::State& state, std::size_t count) {
    if (count != valueCount()) {
        state.SkipWithError("not every value was read");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * updateText().size()));
}

void parseUpdateText(benchmark::State& state) {
    std::vector<std::uint8_t> image(valueCount());
    std::size_t count = 0;
    for (auto _ : state) {
        count = talpir::update::parseUpdateText(updateText(), image).count;
        benchmark::DoNotOptimize(image.data());
    }
    finish(state, count);
}

// sscanf over the whole text measures strlen: glibc finds the end again on every call,
// so each line goes to sscanf on its own.
void sscanfPerLine(benchmark::State& state) {
    std::vector<std::uint8_t> image(valueCount());
    const std::string& text = updateText();
    std::size_t count = 0;
    for (auto _ : state) {
        count = 0;
        std::string line;
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            line.assign(text, start, end - start);
            unsigned value = 0;
            int used = 0;
            for (const char* p = line.c_str(); std::sscanf(p, "%2X%n", &value, &used) == 1;
                 p += used) {
                image[count++] = static_cast<std::uint8_t>(value & 0xFF);
            }
            start = end + 1;
        }
        benchmark::DoNotOptimize(image.data());
    }
    finish(state, count);
}

// The way a C program reads the file: fscanf on a stream, here over the text in memory.
void fscanfStream(benchmark::State& state) {
    std::vector<std::uint8_t> image(valueCount());
    std::string text = updateText();
    std::size_t count = 0;
    for (auto _ : state) {
        count = 0;
        std::FILE* file = fmemopen(text.data(), text.size(), "rb");
        unsigned value = 0;
        while (std::fscanf(file, "%2X", &value) == 1) {
            image[count++] = static_cast<std::uint8_t>(value & 0xFF);
        }
        std::fclose(file);
        benchmark::DoNotOptimize(image.data());
    }
    finish(state, count);
}

}  // namespace

BENCHMARK(parseUpdateText)->Unit(benchmark::kMillisecond);
BENCHMARK(sscanfPerLine)->Unit(benchmark::kMillisecond);
BENCHMARK(fscanfStream)->Unit(benchmark::kMillisecond);
