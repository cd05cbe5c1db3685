// Serves block transfers on the pty, one open of the slave after another.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <span>

#include "device_model.h"
#include "line_pacer.h"
#include "options.h"
#include "pty_endpoint.h"
#include "slave_watch.h"

namespace talpir::devsim {

class DeviceServer {
public:
    enum class Outcome { Stopped, HungUp, Failed };

    // saveFd: where accepted blocks go, or -1. Opens of the slave count from here, so the server
    // is made before the slave's path is published.
    DeviceServer(PtyEndpoint& pty, const Options& options, int saveFd);

    // Runs until stop is set (wakeFd becomes readable then), the line hangs up on purpose, or the
    // pty fails.
    Outcome run(const volatile std::sig_atomic_t& stop, int wakeFd);

private:
    enum class Step { Ok, Closed, Stopped, Failed };

    Step serveEvents(const volatile std::sig_atomic_t& stop, int wakeFd);
    bool watchChanged();
    bool waitForOpen(int wakeFd);
    Step serveChunk(const volatile std::sig_atomic_t& stop);
    Step send(const volatile std::sig_atomic_t& stop);
    Step writeAll(std::span<const std::uint8_t> bytes, const volatile std::sig_atomic_t& stop);
    bool hangupDue() const;
    void onBlock(const BlockEvent& event);
    void onClosed();

    PtyEndpoint& m_pty;
    const Options& m_options;
    int m_saveFd = -1;
    DeviceModel m_model;
    LinePacer m_pacer;
    Output m_output;
    SlaveWatch m_watch;
    bool m_hungUp = false;         // no watch: the master said nobody has the slave open
    std::uint64_t m_received = 0;  // bytes received since start, for the hang-up fault
};

}  // namespace talpir::devsim
