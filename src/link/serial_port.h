// The serial port the transfer engine drives: the narrow interface the Qt adapter and test fakes
// implement.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace talpir::link {

// Line settings applied on every open.
inline constexpr int kBaudRate = 38400;
inline constexpr int kDataBits = 8;  // no parity, 1 stop bit, no flow control, DTR and RTS inactive

struct ReadResult {
    std::size_t count = 0;  // bytes placed in the buffer; 0 when the wait ran out
    bool ok = true;         // false: the port failed (device gone, read error)
};

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens name for exclusive use with the line settings above. On failure the port stays
    // closed and error (when given) says why.
    virtual bool open(const std::string& name, std::string* error) = 0;
    // Stops transmission, drops what is queued and closes; harmless when closed.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Takes what has arrived, waiting at most `wait` for the first byte.
    virtual ReadResult read(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait) = 0;
    // Queues the whole block for transmission and returns while it goes out; false on failure.
    virtual bool write(std::span<const std::uint8_t> block) = 0;
    // Drops every byte received so far; false on failure.
    virtual bool discardInput() = 0;
};

}  // namespace talpir::link
