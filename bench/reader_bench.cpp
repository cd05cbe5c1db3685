// Speed of the update file reader beside the C library's own "%2X" loops on the same text.
// Both ways: from a file, as a transfer reads it, and from memory.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

// The C library's own loop: "%2X" until a conversion fails; closes file.
std::size_t scanWithCLibrary(std::FILE* file, std::vector<std::uint8_t>& image) {
    std::size_t count = 0;
    unsigned value = 0;
    while (std::fscanf(file, "%2X", &value) == 1) {
        image[count++] = static_cast<std::uint8_t>(value & 0xFF);
    }
    std::fclose(file);
    return count;
}

// The way a C program reads the file: fscanf on a stream, here over the text in memory.
void fscanfStream(benchmark::State& state) {
    std::vector<std::uint8_t> image(valueCount());
    std::string text = updateText();
    std::size_t count = 0;
    for (auto _ : state) {
        std::FILE* file = fmemopen(text.data(), text.size(), "rb");
        count = scanWithCLibrary(file, image);
        benchmark::DoNotOptimize(image.data());
    }
    finish(state, count);
}

// The same text in a file, for the readers as a transfer uses them: through the file system.
class TextFile {
public:
    TextFile() {
        const char* tmp = std::getenv("TMPDIR");
        std::string name =
            std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/talpir-bench-XXXXXX";
        const int fd = mkstemp(name.data());
        if (fd >= 0) {
            const std::string& text = updateText();
            m_ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
            ::close(fd);
            m_path = name;
        }
    }
    ~TextFile() {
        if (!m_path.empty()) {
            std::remove(m_path.c_str());
        }
    }
    const std::string& path() const { return m_path; }
    bool ok() const { return m_ok; }

private:
    std::string m_path;
    bool m_ok = false;
};

const TextFile& textFile() {
    static const TextFile file;
    return file;
}

// What the engine does: open the update file, read it whole into the image, close it.
void readUpdateFile(benchmark::State& state) {
    if (!textFile().ok()) {
        state.SkipWithError("cannot write the text file");
        return;
    }
    std::vector<std::uint8_t> image(valueCount());
    std::size_t count = 0;
    for (auto _ : state) {
        talpir::update::UpdateFile file;
        talpir::update::ReadReport report;
        if (!file.open(textFile().path()) || !file.readAll(image, report)) {
            state.SkipWithError("cannot read the text file");
            return;
        }
        count = report.count;
        benchmark::DoNotOptimize(image.data());
    }
    finish(state, count);
}

// The C library's loop on the same file.
void fscanfFile(benchmark::State& state) {
    if (!textFile().ok()) {
        state.SkipWithError("cannot write the text file");
        return;
    }
    std::vector<std::uint8_t> image(valueCount());
    std::size_t count = 0;
    for (auto _ : state) {
        std::FILE* file = std::fopen(textFile().path().c_str(), "rb");
        if (file == nullptr) {
            state.SkipWithError("cannot open the text file");
            return;
        }
        count = scanWithCLibrary(file, image);
        benchmark::DoNotOptimize(image.data());
    }
    finish(state, count);
}

}  // namespace

BENCHMARK(readUpdateFile)->Unit(benchmark::kMillisecond);
BENCHMARK(fscanfFile)->Unit(benchmark::kMillisecond);
BENCHMARK(parseUpdateText)->Unit(benchmark::kMillisecond);
BENCHMARK(sscanfPerLine)->Unit(benchmark::kMillisecond);
BENCHMARK(fscanfStream)->Unit(benchmark::kMillisecond);
