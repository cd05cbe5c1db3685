// The devices of a soak round, and the figures that tell whether the soak left anything behind.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "link/qt_serial_port.h"
#include "process_stats.h"
#include "soak_table.h"
#include "support/devsim_fixture.h"

namespace talpir::test {

// Starts a device for every step of the round; the port in use is held by a port of our own.
// Needs a QCoreApplication.
class SoakBench {
public:
    explicit SoakBench(const std::string& devsim);

    const std::string& error() const { return m_error; }
    const std::string& image() const { return m_image; }
    // The port name of step; starts its device when it needs a new one.
    std::string prepare(std::size_t step);
    // After step's transfer: a device that hung up must have gone. False, with error, if not.
    bool finish(std::size_t step);

private:
    std::string m_devsim;
    TempDir m_dir;
    std::string m_image;
    std::vector<std::unique_ptr<DevSim>> m_devices;  // by step; none for a missing port
    link::QtSerialPort m_holder;
    std::string m_error;
};

// Figures after the first transfer and after the last; problems() is empty when the last are
// no higher (resident memory within kRssMarginKiB, unless a sanitizer owns the memory).
struct SoakFigures {
    ProcessStats first;
    ProcessStats last;

    std::string problems() const;
    std::string describe() const;
};

}  // namespace talpir::test
