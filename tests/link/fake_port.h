// In-process serial port and host fakes: a scripted device behind the engine's interfaces.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "link/transfer_host.h"

namespace talpir::test {

// What the device does with one send of a block.
struct Answer {
    std::vector<std::uint8_t> echo;      // bytes sent back (normally the block itself)
    std::optional<std::uint8_t> status;  // the status byte; none: falls silent
    bool failAfterEcho = false;          // the port fails once the echo has been read
};

class FakePort : public link::SerialPort {
public:
    // device(blockIndex, sendIndex, block): blockIndex counts distinct blocks, sendIndex the
    // sends of the current one.
    using Device = std::function<Answer(int, int, const std::vector<std::uint8_t>&)>;

    explicit FakePort(Device device) : m_device(std::move(device)) {}

    bool open(const std::string& name, std::string* error) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    link::ReadResult read(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait) override;
    bool write(std::span<const std::uint8_t> block) override;
    bool discardInput() override;

    // Bytes waiting at open and after every answer (late echoes, noise).
    void injectStale(std::vector<std::uint8_t> bytes) { m_stale = std::move(bytes); }
    // Fails the open, as a missing device would.
    bool failOpen = false;
    // Hands out at most this many bytes a read, to exercise partial reads.
    std::size_t chunk = 3;
    // Called on every read that finds nothing: lets a test act while the engine waits.
    std::function<void()> onIdleRead;

    std::vector<std::vector<std::uint8_t>> writes;  // every block written, in order
    int opens = 0;
    int closes = 0;
    int idleReads = 0;
    std::string openedName;

private:
    Device m_device;
    bool m_open = false;
    std::deque<std::uint8_t> m_input;
    std::vector<std::uint8_t> m_stale;
    bool m_failPending = false;
    std::size_t m_failAt = 0;  // input bytes left before the pending failure
    bool m_failed = false;
    int m_block = 0;
    int m_send = 0;
    bool m_lastAccepted = false;
};

// Records everything the engine does to its host.
class FakeHost : public link::TransferHost {
public:
    std::string file;
    std::string port = "FAKE";
    bool running = true;  // btRun enabled
    bool isClosing = false;

    std::vector<std::string> statusTexts;
    std::vector<std::string> errors;
    std::vector<int> positions;
    int minimum = 0;
    int maximum = 100;
    std::string caption = "Прервать";
    bool inputsEnabled = false;
    int idleReturns = 0;  // times the caption went back to "СТАРТ"
    int callsAfterClosing = 0;

    std::string fileName() override { return file; }
    std::string portName() override { return port; }
    int progressMinimum() override { return minimum; }
    void setProgressMinimum(int v) override {
        touch();
        minimum = v;
    }
    void setProgressMaximum(int v) override {
        touch();
        maximum = v;
    }
    void setProgressPosition(int v) override {
        touch();
        positions.push_back(v);
    }
    void setStatusText(const std::string& t) override {
        touch();
        statusTexts.push_back(t);
    }
    void showError(const std::string& t) override {
        touch();
        errors.push_back(t);
    }
    bool runEnabled() override { return running; }
    void setRunCaption(const std::string& c) override;
    void setRunEnabled(bool e) override {
        touch();
        running = e;
    }
    void setInputsEnabled(bool e) override {
        touch();
        inputsEnabled = e;
    }
    bool closing() override { return isClosing; }

private:
    void touch() { callsAfterClosing += isClosing ? 1 : 0; }
};

}  // namespace talpir::test
