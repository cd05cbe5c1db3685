// One complete transfer of an update file to the device: the engine behind DoExchange.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "link/serial_port.h"
#include "link/transfer_host.h"

namespace talpir::link {

// Device's answer after the echo of a block.
inline constexpr std::uint8_t kAccepted = 0x11;      // block taken
inline constexpr std::uint8_t kVersionError = 0x33;  // wrong software version
inline constexpr int kMaxSends = 4;                  // a block refused this often ends the transfer

enum class Outcome {
    Done,           // every block accepted
    OutOfMemory,    // the image could not be allocated
    FileNotOpened,  // the update file could not be opened
    FileRejected,   // damaged, empty or too large: nothing was sent
    PortNotOpened,
    EchoMismatch,
    VersionError,
    Refused,   // fourth refusal of one block
    LinkLost,  // the port failed during the transfer
    NoAnswer,  // the device stayed silent past the answer timeout
    Aborted,   // the operator confirmed an abort
    Closing,   // the window is closing: it was left alone
};

const char* outcomeName(Outcome outcome);

struct TransferOptions {
    std::chrono::milliseconds pollInterval{20};  // longest single wait on the port
    // Longest wait for one byte from the device; none: wait until a stop request.
    std::optional<std::chrono::milliseconds> answerTimeout;
};

// Runs one transfer with host's file and port. The port is closed afterwards on every
// path, the silent one (closing) included.
Outcome runTransfer(SerialPort& port, TransferHost& host, const TransferOptions& options = {});

}  // namespace talpir::link
