// QtSerialPort: the line settings, and blocking reads and writes over QSerialPort.
#include "link/qt_serial_port.h"

#include "link/qt_serial_port_platform.h"

#include <QSerialPort>
#include <QString>

#include <algorithm>
#include <climits>
#include <thread>

namespace talpir::link {

namespace {

using std::chrono::microseconds;

static_assert(kDataBits == 8, "the line is set up as 8N1 below");

constexpr microseconds kCharTime{10'000'000 / kBaudRate};  // start bit, 8 data bits, stop bit
constexpr std::size_t kGatherChars = 64;  // echoes taken per wake-up while they trickle in

// Echoes come back at the line's pace, one character at a time; waking for each costs more
// than the transfer itself. While more are due and the last batch came no faster than the line
// carries it, hold the wait off until several can have arrived; the device keeps sending
// meanwhile. A faster peer (a USB adapter that ignores the baud rate) is never held up. Up to
// the last echo but one only, and not at all for the answer: a block then takes no longer than
// the line needs.
microseconds gatherDelay(std::size_t echoesDue, std::size_t lastBatch, microseconds lastInterval,
                         microseconds sinceBatch) {
    const bool atLinePace =
        lastBatch > 0 && lastInterval * 2 >= kCharTime * static_cast<int>(lastBatch);
    if (echoesDue < 2 || !atLinePace) {
        return microseconds::zero();
    }
    const auto chars = static_cast<int>(std::min<std::size_t>(echoesDue - 1, kGatherChars));
    return std::max(kCharTime * chars - sinceBatch, microseconds::zero());
}

microseconds elapsedSince(std::chrono::steady_clock::time_point then) {
    return std::chrono::duration_cast<microseconds>(std::chrono::steady_clock::now() - then);
}

}  // namespace

QtSerialPort::QtSerialPort() = default;

QtSerialPort::~QtSerialPort() {
    close();
}

bool QtSerialPort::open(const std::string& name, std::string* error) {
    close();
    m_port = std::make_unique<QSerialPort>();
    m_port->setPortName(devicePath(name));
    // Set before open so that open applies them, and fails when the device refuses one.
    m_port->setBaudRate(kBaudRate);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_openError = m_port->errorString().toStdString();
        if (error != nullptr) {
            *error = m_openError;
        }
        close();
        return false;
    }
    if (!lockDevice(*m_port, m_openError)) {
        if (error != nullptr) {
            *error = m_openError;
        }
        close();
        return false;
    }
    m_openError.clear();
    // A pseudo-terminal has no modem lines: these fail there, harmlessly.
    m_port->setDataTerminalReady(false);
    m_port->setRequestToSend(false);
    m_port->clearError();
    return true;
}

void QtSerialPort::close() {
    // Dropping the queue first keeps close from waiting for the driver to send it.
    if (isOpen()) {
        m_port->clear(QSerialPort::Output);
        m_port->close();
    }
    m_port.reset();
}

bool QtSerialPort::isOpen() const {
    return m_port && m_port->isOpen();
}

ReadResult QtSerialPort::read(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait) {
    if (!isOpen()) {
        return {0, false};
    }
    if (buffer.empty() || m_port->bytesAvailable() > 0) {
        return {take(buffer), true};
    }
    const auto delay = std::min<microseconds>(
        gatherDelay(m_echoesDue, m_lastBatch, m_lastInterval, elapsedSince(m_batchTime)), wait);
    if (delay > microseconds::zero()) {
        std::this_thread::sleep_for(delay);
    }
    const qint64 queued = m_port->bytesToWrite();
    m_port->clearError();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(wait - delay);
    const auto msecs = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT_MAX));
    if (m_port->waitForReadyRead(msecs)) {
        const std::size_t got = take(buffer);
        const Clock::time_point now = Clock::now();
        m_lastInterval = m_lastBatch > 0
                             ? std::chrono::duration_cast<microseconds>(now - m_batchTime)
                             : microseconds::zero();
        m_lastBatch = got;
        m_batchTime = now;
        return {got, true};
    }
    // Qt ends a wait with no error only after sending some of the queue; with nothing sent,
    // the line reported a hang-up or an error that Qt does not name.
    const QSerialPort::SerialPortError failure = m_port->error();
    const bool timedOut = failure == QSerialPort::TimeoutError ||
                          (failure == QSerialPort::NoError && m_port->bytesToWrite() < queued);
    return {0, timedOut};
}

std::size_t QtSerialPort::take(std::span<std::uint8_t> buffer) {
    const qint64 read =
        m_port->read(reinterpret_cast<char*>(buffer.data()), static_cast<qint64>(buffer.size()));
    const std::size_t got = read > 0 ? static_cast<std::size_t>(read) : 0;
    m_echoesDue -= std::min(got, m_echoesDue);
    return got;
}

bool QtSerialPort::write(std::span<const std::uint8_t> block) {
    if (!isOpen()) {
        return false;
    }
    const auto size = static_cast<qint64>(block.size());
    if (m_port->write(reinterpret_cast<const char*>(block.data()), size) != size) {
        return false;
    }
    m_echoesDue = block.size();
    m_lastBatch = 0;
    // QSerialPort only queues the bytes; start sending now, without waiting. The rest leaves
    // while the echoes are awaited.
    m_port->clearError();
    m_port->waitForBytesWritten(0);
    return lineOk();
}

bool QtSerialPort::discardInput() {
    if (!isOpen()) {
        return false;
    }
    m_echoesDue = 0;
    m_lastBatch = 0;
    m_port->clearError();
    if (!m_port->clear(QSerialPort::Input)) {
        return false;
    }
    // Whatever the driver still hands over after the flush goes too.
    do {
        m_port->readAll();
    } while (m_port->waitForReadyRead(0));
    return lineOk();
}

bool QtSerialPort::lineOk() const {
    const QSerialPort::SerialPortError failure = m_port->error();
    return failure == QSerialPort::NoError || failure == QSerialPort::TimeoutError;
}

}  // namespace talpir::link
