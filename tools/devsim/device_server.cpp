// Serves block transfers on the pty: waits for data or for the next open, echoes and answers,
// and notices when the programmer closes the port.
#include "device_server.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>

#include "protocol.h"

namespace talpir::devsim {

namespace {

constexpr std::size_t kChunk = 4096;  // most bytes taken from the pty in one read
constexpr int kReopenPollMs = 20;     // how often to look for a new open while the port is closed

const char* statusName(std::uint8_t status) {
    switch (status) {
        case kAccepted:
            return "accepted";
        case kVersionError:
            return "version error";
        default:
            return "refused";
    }
}

}  // namespace

DeviceServer::DeviceServer(PtyEndpoint& pty, const Options& options, int saveFd)
    : m_pty(pty),
      m_options(options),
      m_saveFd(saveFd),
      m_model(options.faults, [this](const BlockEvent& event) { onBlock(event); }),
      m_pacer(options.baud) {
    m_output.bytes.reserve(2 * kChunk);
    m_watch.start(m_pty.slavePath());
}

DeviceServer::Outcome DeviceServer::run(const volatile std::sig_atomic_t& stop, int wakeFd) {
    while (!stop) {
        if (hangupDue()) {
            if (m_options.verbosity != Verbosity::Quiet) {
                std::fprintf(stderr, "devsim: hanging up after %" PRIu64 " bytes\n", m_received);
            }
            m_pty.close();
            return Outcome::HungUp;
        }
        if (!m_watch.isWatching() && m_hungUp) {
            m_hungUp = !waitForOpen(wakeFd);
            continue;
        }
        if (serveEvents(stop, wakeFd) == Step::Failed) {
            return Outcome::Failed;
        }
    }
    return Outcome::Stopped;
}

// Waits for data, an open or close of the slave, or a stop, and deals with what came.
DeviceServer::Step DeviceServer::serveEvents(const volatile std::sig_atomic_t& stop, int wakeFd) {
    // Unused, the master reports hang-up without end; then only an open is waited for.
    const bool readMaster = !m_watch.isWatching() || m_watch.isOpen();
    pollfd fds[] = {{wakeFd, POLLIN, 0},
                    {m_watch.fd(), POLLIN, 0},
                    {readMaster ? m_pty.masterFd() : -1, POLLIN, 0}};
    if (poll(fds, 3, -1) < 0) {
        return errno == EINTR ? Step::Ok : Step::Failed;
    }
    // Opens and closes first: data that follows a reopen belongs to the new transfer.
    if ((fds[1].revents & POLLIN) && watchChanged()) {
        return Step::Ok;
    }
    Step step = Step::Ok;
    if (fds[2].revents & POLLIN) {
        step = serveChunk(stop);
    } else if (fds[2].revents & (POLLHUP | POLLERR)) {
        step = Step::Closed;
    }
    if (step == Step::Closed) {
        m_watch.forgetOpens();
        m_hungUp = true;
        onClosed();
        return Step::Ok;
    }
    return step;
}

// True when the slave's users changed in a way that ends the transfer or lets the next start.
bool DeviceServer::watchChanged() {
    switch (m_watch.readEvents()) {
        case SlaveWatch::Change::None:
            return false;
        case SlaveWatch::Change::Opened:
            return true;
        case SlaveWatch::Change::Closed:
            // What the closed port sent last is no start of the next transfer.
            tcflush(m_pty.masterFd(), TCIFLUSH);
            onClosed();
            return true;
        case SlaveWatch::Change::Reopened:
            onClosed();
            return true;
    }
    return false;
}

// Without a watch, a closed slave is looked for on a timer, as its hang-up never ends.
bool DeviceServer::waitForOpen(int wakeFd) {
    pollfd wake{wakeFd, POLLIN, 0};
    poll(&wake, 1, kReopenPollMs);
    pollfd master{m_pty.masterFd(), POLLIN, 0};
    return poll(&master, 1, 0) >= 0 && !(master.revents & POLLHUP);
}

DeviceServer::Step DeviceServer::serveChunk(const volatile std::sig_atomic_t& stop) {
    std::uint8_t buffer[kChunk];
    std::size_t want = sizeof buffer;
    if (m_options.hangupAfter) {
        want = std::min<std::uint64_t>(want, *m_options.hangupAfter - m_received);
    }
    const ssize_t count = read(m_pty.masterFd(), buffer, want);
    if (count < 0) {
        if (errno == EINTR || errno == EAGAIN) {
            return Step::Ok;
        }
        return errno == EIO ? Step::Closed : Step::Failed;
    }
    if (count == 0) {
        return Step::Closed;
    }
    m_received += count;
    m_pacer.arrived();
    m_output.clear();
    m_model.feed({buffer, static_cast<std::size_t>(count)}, m_output);
    return send(stop);
}

// Sends the reply to one chunk: in one write, or byte by byte at the line's rate with every
// status byte and its noise kept together.
DeviceServer::Step DeviceServer::send(const volatile std::sig_atomic_t& stop) {
    const std::span<const std::uint8_t> bytes = m_output.bytes;
    if (!m_pacer.isPaced()) {
        return writeAll(bytes, stop);
    }
    std::size_t at = 0;
    auto answer = m_output.answers.begin();
    while (at < bytes.size()) {
        const bool isAnswer = answer != m_output.answers.end() && answer->begin == at;
        const std::size_t runEnd = answer != m_output.answers.end() ? answer->begin : bytes.size();
        const std::size_t ready = m_pacer.waitForBytes(isAnswer ? 1 : runEnd - at, stop);
        if (ready == 0) {
            return Step::Stopped;
        }
        const std::size_t size = isAnswer ? (answer++)->size : ready;
        if (const Step step = writeAll(bytes.subspan(at, size), stop); step != Step::Ok) {
            return step;
        }
        at += size;
    }
    return Step::Ok;
}

DeviceServer::Step DeviceServer::writeAll(std::span<const std::uint8_t> bytes,
                                          const volatile std::sig_atomic_t& stop) {
    while (!bytes.empty()) {
        const ssize_t written = write(m_pty.masterFd(), bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR && !stop) {
                continue;
            }
            return errno == EINTR ? Step::Stopped : errno == EIO ? Step::Closed : Step::Failed;
        }
        bytes = bytes.subspan(written);
    }
    return Step::Ok;
}

bool DeviceServer::hangupDue() const {
    return m_options.hangupAfter && m_received >= *m_options.hangupAfter;
}

void DeviceServer::onBlock(const BlockEvent& event) {
    if (m_options.verbosity == Verbosity::Verbose) {
        std::fprintf(stderr,
                     "devsim: block %" PRIu32 " send %" PRIu32 " at %" PRIu64 ", length %zu: %s\n",
                     event.block, event.send, event.offset, event.wire.size() - kLengthBytes,
                     statusName(event.status));
    }
    if (m_saveFd < 0 || event.status != kAccepted) {
        return;
    }
    // Written straight to the file, so a test sees the block once the programmer does.
    std::span<const std::uint8_t> rest = event.wire;
    while (!rest.empty()) {
        const ssize_t written = write(m_saveFd, rest.data(), rest.size());
        if (written < 0 && errno != EINTR) {
            std::perror("devsim: cannot write the save file");
            return;
        }
        rest = rest.subspan(std::max<ssize_t>(written, 0));
    }
}

void DeviceServer::onClosed() {
    m_model.reset();
    if (m_options.verbosity != Verbosity::Quiet) {
        std::fputs("devsim: port closed, waiting for the next open\n", stderr);
    }
}

}  // namespace talpir::devsim
