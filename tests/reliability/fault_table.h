// The faults that talpir-flash and the window are both tried against.
//
// A row says what the device does, what the operator does about it, and how that transfer and
// the one right after it must end.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace talpir::test {

constexpr int kFaultBlocks = 3;           // blocks of the image sent into a fault
constexpr int kPayload = 64;              // payload bytes per block
constexpr int kBlockWire = kPayload + 2;  // one block on the wire
constexpr char kDone[] = "Передача файла завершена.";
constexpr char kRefused[] = "default error. File damaged.";
constexpr char kPortBusy[] = "Невозможно открыть последовательный порт.";

struct Fault {
    const char* name;
    std::vector<std::string> device;  // talpir-devsim options
    bool abort;          // the operator stops it: Ctrl+C, or "Прервать" and Yes
    std::string status;  // the status text at the end; empty: none at all
    int exit;            // talpir-flash's exit status
    bool hangsUp;        // the device is gone afterwards: a new one comes under the same name
    std::string after;   // status of a one-block transfer on the same port right after
    int afterExit;
};

inline void PrintTo(const Fault& fault, std::ostream* os) {
    *os << fault.name;
}

// Every fault strikes at block 1, once block 0 has been taken.
const std::vector<Fault>& faultTable();

// Writes an update file of blocks blocks of kPayload bytes; false when it cannot.
bool writeUpdateFile(const std::string& path, int blocks);

}  // namespace talpir::test
