// The scripted device behind the fake port.
#include "fake_port.h"

#include <algorithm>

namespace talpir::test {

bool FakePort::open(const std::string& name, std::string* error) {
    ++opens;
    openedName = name;
    if (failOpen) {
        if (error) {
            *error = "no such device";
        }
        return false;
    }
    m_open = true;
    m_input.assign(m_stale.begin(), m_stale.end());
    return true;
}

void FakePort::close() {
    if (m_open) {
        ++closes;
    }
    m_open = false;
}

link::ReadResult FakePort::read(std::span<std::uint8_t> buffer, std::chrono::milliseconds) {
    if (!m_open || m_failed) {
        return {0, false};
    }
    if (m_input.empty()) {
        if (m_failPending) {
            m_failed = true;
            return {0, false};
        }
        ++idleReads;
        if (onIdleRead) {
            onIdleRead();
        }
        return {0, true};
    }
    const std::size_t n = std::min({buffer.size(), chunk, m_input.size()});
    std::copy_n(m_input.begin(), n, buffer.begin());
    m_input.erase(m_input.begin(), m_input.begin() + static_cast<std::ptrdiff_t>(n));
    return {n, true};
}

bool FakePort::write(std::span<const std::uint8_t> block) {
    if (!m_open || m_failed) {
        return false;
    }
    std::vector<std::uint8_t> bytes(block.begin(), block.end());
    // As the device sees it: after an acceptance comes the next block, otherwise a resend.
    if (!writes.empty()) {
        if (m_lastAccepted) {
            ++m_block;
            m_send = 0;
        } else {
            ++m_send;
        }
    }
    writes.push_back(bytes);
    const Answer answer = m_device(m_block, m_send, bytes);
    m_lastAccepted = answer.status == std::optional<std::uint8_t>(0x11);
    m_input.insert(m_input.end(), answer.echo.begin(), answer.echo.end());
    if (answer.status) {
        m_input.push_back(*answer.status);
    }
    m_failPending = answer.failAfterEcho;
    // Stale bytes come after this block's answer, ready to confuse the next one.
    m_input.insert(m_input.end(), m_stale.begin(), m_stale.end());
    return true;
}

bool FakePort::discardInput() {
    if (!m_open || m_failed) {
        return false;
    }
    m_input.clear();
    return true;
}

void FakeHost::setRunCaption(const std::string& c) {
    touch();
    caption = c;
    if (c == "СТАРТ") {
        ++idleReturns;
    }
}

}  // namespace talpir::test
