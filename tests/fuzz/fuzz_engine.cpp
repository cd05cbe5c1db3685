// Fuzz target: the engine against a device whose every answer comes from the fuzzer.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "link/transfer_engine.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The fuzzer's bytes, one decision at a time.
class Script {
public:
    Script(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_pos == m_size; }
    std::uint8_t next() { return empty() ? 0 : m_data[m_pos++]; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// A device that follows the script, and a model of what the engine must have seen.
class FuzzPort : public talpir::link::SerialPort {
public:
    FuzzPort(Script& script, std::vector<Bytes> blocks)
        : m_script(script), m_blocks(std::move(blocks)) {}

    bool open(const std::string&, std::string*) override {
        m_open = true;
        return true;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }

    talpir::link::ReadResult read(std::span<std::uint8_t> buffer,
                                  std::chrono::milliseconds) override {
        check(m_open);
        if (m_failed) {
            return {0, false};
        }
        if (m_script.empty()) {
            ++idleAtEnd;
            return {0, true};
        }
        const std::uint8_t op = m_script.next();
        std::size_t n = 0;
        switch (op % 8) {
            case 0:
            case 1:
            case 2: {  // the right echo, then an acceptance
                const std::size_t want = op / 8 % 16 + 1;
                while (n < want && n < buffer.size() && m_writing) {
                    const Bytes& block = m_blocks[m_index];
                    const std::size_t at = m_delivered.size();
                    const std::uint8_t byte = at < block.size() ? block[at] : 0x11;
                    buffer[n++] = byte;
                    m_delivered.push_back(byte);
                    if (at >= block.size()) {
                        break;
                    }
                }
                break;
            }
            case 3:
            case 4:  // any byte: a status, or a wrong echo
                buffer[n++] = m_script.next();
                m_delivered.push_back(buffer[0]);
                break;
            case 5:
                m_failed = true;
                return {0, false};
            default:
                break;  // silence
        }
        return {n, true};
    }

    bool write(std::span<const std::uint8_t> block) override {
        check(m_open);
        if (m_failed) {
            return false;
        }
        settle();
        // Only the block the device expects next, whole, ever goes out.
        check(m_index < m_blocks.size() && !m_finished);
        check(Bytes(block.begin(), block.end()) == m_blocks[m_index]);
        m_writing = true;
        m_delivered.clear();
        ++writes;
        return true;
    }

    bool discardInput() override { return !m_failed; }

    // Decides how the engine must have judged the last block from what it was given.
    void settle() {
        if (!m_writing) {
            return;
        }
        m_writing = false;
        const Bytes& block = m_blocks[m_index];
        if (m_delivered.size() <= block.size() ||
            !std::equal(block.begin(), block.end(), m_delivered.begin())) {
            m_finished = true;  // no answer yet or a wrong echo: no further send is allowed
            return;
        }
        const std::uint8_t status = m_delivered[block.size()];
        if (status == 0x11) {
            ++m_index;
            m_refusals = 0;
        } else if (status == 0x33 || ++m_refusals >= 4) {
            m_finished = true;
        }
    }

    bool allAccepted() const { return m_index == m_blocks.size(); }

    int writes = 0;
    int idleAtEnd = 0;

private:
    Script& m_script;
    std::vector<Bytes> m_blocks;
    std::size_t m_index = 0;
    int m_refusals = 0;
    bool m_open = false;
    bool m_failed = false;
    bool m_writing = false;
    bool m_finished = false;
    Bytes m_delivered;
};

class FuzzHost : public talpir::link::TransferHost {
public:
    FuzzHost(std::string file, FuzzPort& port, bool closeAtEnd)
        : m_file(std::move(file)), m_port(port), m_closeAtEnd(closeAtEnd) {}

    std::string fileName() override { return m_file; }
    std::string portName() override { return "fuzz"; }
    int progressMinimum() override { return 0; }
    void setProgressMinimum(int) override { touch(); }
    void setProgressMaximum(int v) override { touch(), maximum = v; }
    void setProgressPosition(int v) override {
        touch();
        check(v >= position && v <= maximum);
        position = v;
    }
    void setStatusText(const std::string& text) override { touch(), status = text; }
    void showError(const std::string&) override { touch(); }
    bool runEnabled() override { return !stopWanted() || m_closeAtEnd; }
    void setRunCaption(const std::string&) override { touch(), ++idle; }
    void setRunEnabled(bool) override { touch(); }
    void setInputsEnabled(bool) override { touch(); }
    bool closing() override { return stopWanted() && m_closeAtEnd; }

    int maximum = 0;
    int position = 0;
    int idle = 0;
    std::string status;

private:
    // Once the script is spent the operator gives up, so that every run ends.
    bool stopWanted() const { return m_port.idleAtEnd > 2; }
    void touch() { check(!closing()); }

    std::string m_file;
    FuzzPort& m_port;
    bool m_closeAtEnd;
};

int openDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++n;
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Script script(data, size);
    // The image: up to four blocks with lengths taken from the script.
    const std::uint8_t shape = script.next();
    const bool closeAtEnd = (shape & 0x80) != 0;
    std::vector<Bytes> blocks;
    std::string text;
    for (int b = 0; b < shape % 4 + 1; ++b) {
        const std::size_t length = script.next() % 48;
        Bytes block = {0, static_cast<std::uint8_t>(length)};
        for (std::size_t i = 0; i < length; ++i) {
            block.push_back(static_cast<std::uint8_t>(i * 7 + b));
        }
        for (std::uint8_t byte : block) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X ", byte);
            text += hex;
        }
        blocks.push_back(std::move(block));
    }
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("talpir-fuzz-" + std::to_string(getpid())))
            .string();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }

    const int descriptors = openDescriptors();
    FuzzPort port(script, blocks);
    FuzzHost host(path, port, closeAtEnd);
    const talpir::link::Outcome outcome = talpir::link::runTransfer(port, host);
    port.settle();

    using talpir::link::Outcome;
    // Success only when the device took every block; and it is then reported.
    check((outcome == Outcome::Done) == port.allAccepted());
    check(outcome != Outcome::Done || host.position == host.maximum);
    check(!port.isOpen());
    check(openDescriptors() == descriptors);
    check(host.idle == (outcome == Outcome::Closing ? 0 : 1));
    return 0;
}
