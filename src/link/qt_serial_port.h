// The serial port over QSerialPort, used in blocking mode on the thread that calls it.
#pragma once

#include <chrono>
#include <memory>

#include "link/serial_port.h"

class QSerialPort;

namespace talpir::link {

// The calling thread needs an event dispatcher (QCoreApplication's thread or a QThread):
// QSerialPort keeps socket notifiers even in blocking mode and warns without one.
class QtSerialPort : public SerialPort {
public:
    QtSerialPort();
    ~QtSerialPort() override;
    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;

    bool open(const std::string& name, std::string* error) override;
    void close() override;
    bool isOpen() const override;
    // Why the last open failed, as the system put it; empty after a good one.
    const std::string& openError() const { return m_openError; }

    ReadResult read(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait) override;
    bool write(std::span<const std::uint8_t> block) override;
    bool discardInput() override;

private:
    bool lineOk() const;  // no error since the last clearError(), a timeout aside
    std::size_t take(std::span<std::uint8_t> buffer);

    using Clock = std::chrono::steady_clock;

    // Made in open() and destroyed in close(), so that it lives on the thread that uses it.
    std::unique_ptr<QSerialPort> m_port;
    // The device echoes what it gets: how many echoes of the last block are still to come,
    // and the last batch that a wait brought in.
    std::size_t m_echoesDue = 0;
    std::size_t m_lastBatch = 0;
    Clock::time_point m_batchTime;
    std::chrono::microseconds m_lastInterval{0};  // between the last two batches
    std::string m_openError;
};

}  // namespace talpir::link
