// The serial port over QSerialPort, used in blocking mode on the thread that calls it.
#pragma once

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

    ReadResult read(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait) override;
    bool write(std::span<const std::uint8_t> block) override;
    bool discardInput() override;

private:
    bool configure();
    std::size_t take(std::span<std::uint8_t> buffer);

    // Made in open() and destroyed in close(), so that it lives on the thread that uses it.
    std::unique_ptr<QSerialPort> m_port;
};

}  // namespace talpir::link
