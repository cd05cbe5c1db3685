// Update images for the link benchmarks.
#include "bench_image.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>

namespace talpir::bench {

namespace {

constexpr std::size_t kLengthBytes = 2;  // the length field before every payload
constexpr int kValuesPerLine = 16;       // as update files come
constexpr int kBitsPerChar = 10;         // start bit, 8 data bits, stop bit
constexpr int kCharsPerBlockOver = 2;    // the answer and a turn-around

}  // namespace

BenchImage makeImage(std::size_t total, std::size_t payload) {
    BenchImage image;
    image.bytes.reserve(total);
    std::mt19937 random(1);
    while (image.bytes.size() + kLengthBytes <= total) {
        const std::size_t length = std::min(payload, total - image.bytes.size() - kLengthBytes);
        image.bytes.push_back(static_cast<std::uint8_t>(length >> 8));
        image.bytes.push_back(static_cast<std::uint8_t>(length & 0xFF));
        for (std::size_t i = 0; i < length; ++i) {
            image.bytes.push_back(static_cast<std::uint8_t>(random() & 0xFF));
        }
        image.wireSizes.push_back(length + kLengthBytes);
    }
    return image;
}

bool writeImage(const BenchImage& image, const std::string& textPath, const std::string& rawPath) {
    std::string text;
    text.reserve(image.bytes.size() * 3);
    char value[4];
    for (std::size_t i = 0; i < image.bytes.size(); ++i) {
        std::snprintf(value, sizeof value, "%02X", image.bytes[i]);
        text += value;
        text += (i + 1) % kValuesPerLine == 0 ? '\n' : ' ';
    }
    std::ofstream textFile(textPath, std::ios::binary);
    textFile << text;
    std::ofstream rawFile(rawPath, std::ios::binary);
    rawFile.write(reinterpret_cast<const char*>(image.bytes.data()),
                  static_cast<std::streamsize>(image.bytes.size()));
    return textFile.good() && rawFile.good();
}

double lineBoundSeconds(const BenchImage& image, int baud) {
    std::size_t chars = 0;
    for (const std::size_t wire : image.wireSizes) {
        chars += wire + kCharsPerBlockOver;
    }
    return static_cast<double>(chars) * kBitsPerChar / baud;
}

}  // namespace talpir::bench
