// The transfer: reads the update file, sends it block by block, checks echoes and answers.
#include "link/transfer_engine.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "link/texts.h"
#include "update/block_layout.h"
#include "update/update_reader.h"

namespace talpir::link {

const char* outcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Done:
            return "done";
        case Outcome::OutOfMemory:
            return "out of memory";
        case Outcome::FileNotOpened:
            return "file not opened";
        case Outcome::FileRejected:
            return "file rejected";
        case Outcome::PortNotOpened:
            return "port not opened";
        case Outcome::EchoMismatch:
            return "echo mismatch";
        case Outcome::VersionError:
            return "version error";
        case Outcome::Refused:
            return "refused";
        case Outcome::LinkLost:
            return "connection lost";
        case Outcome::NoAnswer:
            return "no answer";
        case Outcome::Aborted:
            return "aborted";
        case Outcome::Closing:
            return "closing";
    }
    return "unknown";
}

namespace {

using Clock = std::chrono::steady_clock;

// How one wait for a byte from the device ended.
enum class Wait { Got, Closing, Aborted, LinkLost, NoAnswer };

// How one block's send ended.
enum class Send {
    Accepted,
    Refused,
    VersionError,
    EchoMismatch,
    Closing,
    Aborted,
    LinkLost,
    NoAnswer
};

Send fromWait(Wait wait) {
    switch (wait) {
        case Wait::Closing:
            return Send::Closing;
        case Wait::Aborted:
            return Send::Aborted;
        case Wait::LinkLost:
            return Send::LinkLost;
        case Wait::NoAnswer:
            return Send::NoAnswer;
        case Wait::Got:
            break;
    }
    return Send::LinkLost;
}

class Transfer {
public:
    Transfer(SerialPort& port, TransferHost& host, const TransferOptions& options)
        : m_port(port), m_host(host), m_options(options) {}

    // The port is closed on every way out, an escaping exception included.
    ~Transfer() { m_port.close(); }

    Outcome run();

private:
    Outcome sendImage();
    Send sendBlock(std::span<const std::uint8_t> block);
    Wait waitByte(std::uint8_t& byte);
    bool discardInput();

    Outcome errorExit(Outcome outcome);
    Outcome abortExit();
    Outcome silentExit();
    void releaseFileAndImage();
    void freeImage();
    std::span<std::uint8_t> image() { return {m_image.get(), update::kImageCapacity}; }
    void returnToIdle();

    SerialPort& m_port;
    TransferHost& m_host;
    const TransferOptions& m_options;

    // Left uninitialised: only the pages the file fills are ever touched.
    std::unique_ptr<std::uint8_t[]> m_image;
    std::size_t m_count = 0;
    update::UpdateFile m_file;

    // Bytes taken from the port but not yet compared; emptied before every block so that
    // nothing that came before a block is taken as its echo.
    std::array<std::uint8_t, 4096> m_rx{};
    std::size_t m_rxPos = 0;
    std::size_t m_rxLen = 0;
};

Outcome Transfer::run() {
    m_host.setProgressPosition(m_host.progressMinimum());

    try {
        m_image.reset(new std::uint8_t[update::kImageCapacity]);
    } catch (const std::bad_alloc&) {
        m_host.showError(texts::kOutOfMemory);
        if (m_host.closing()) {
            return Outcome::Closing;
        }
        returnToIdle();
        return Outcome::OutOfMemory;
    }

    if (!m_file.open(m_host.fileName())) {
        m_host.setStatusText(texts::kFileNotOpened);
        releaseFileAndImage();
        returnToIdle();
        return Outcome::FileNotOpened;
    }

    std::string reason;
    if (!m_port.open(m_host.portName(), &reason)) {
        m_host.showError(texts::kPortNotOpened);
        releaseFileAndImage();
        if (m_host.closing()) {
            return Outcome::Closing;
        }
        returnToIdle();
        return Outcome::PortNotOpened;
    }

    m_host.setProgressMinimum(0);
    update::ReadReport report;
    if (!m_file.readAll(image(), report)) {
        m_host.setStatusText(texts::kFileNotOpened);
        return errorExit(Outcome::FileNotOpened);
    }
    m_count = report.count;
    m_host.setProgressMaximum(static_cast<int>(m_count));

    // A bad file must never leave the device half-programmed: judge it before sending.
    const update::LayoutVerdict verdict =
        update::checkLayout(image().first(m_count), report.tooLarge);
    if (!verdict.ok()) {
        m_host.setStatusText(update::problemText(verdict));
        return errorExit(Outcome::FileRejected);
    }

    if (!discardInput()) {
        m_host.setStatusText(texts::kLinkLost);
        return errorExit(Outcome::LinkLost);
    }
    return sendImage();
}

Outcome Transfer::sendImage() {
    std::size_t position = 0;
    std::size_t acknowledged = 0;
    int refusals = 0;

    while (position < m_count) {
        if (m_host.closing()) {
            return silentExit();
        }
        if (!m_host.runEnabled()) {
            return abortExit();
        }
        const std::size_t size = update::blockLength(image(), position) + update::kLengthBytes;
        const Send result = sendBlock(image().subspan(position, size));

        switch (result) {
            case Send::Accepted:
                acknowledged += size;
                m_host.setProgressPosition(static_cast<int>(acknowledged));
                refusals = 0;
                position += size;
                break;
            case Send::Refused:
                if (++refusals >= kMaxSends) {
                    m_host.setStatusText(texts::kRefused);
                    return errorExit(Outcome::Refused);
                }
                break;
            case Send::VersionError:
                m_host.setStatusText(texts::kVersionError);
                return errorExit(Outcome::VersionError);
            case Send::EchoMismatch:
                return errorExit(Outcome::EchoMismatch);
            case Send::Closing:
                return silentExit();
            case Send::Aborted:
                return abortExit();
            case Send::LinkLost:
                m_host.setStatusText(texts::kLinkLost);
                return errorExit(Outcome::LinkLost);
            case Send::NoAnswer:
                m_host.setStatusText(texts::kNoAnswer);
                return errorExit(Outcome::NoAnswer);
        }
    }

    m_host.setStatusText(texts::kDone);
    m_file.close();
    m_port.close();
    freeImage();
    returnToIdle();
    return Outcome::Done;
}

Send Transfer::sendBlock(std::span<const std::uint8_t> block) {
    if (!discardInput()) {
        return Send::LinkLost;
    }
    if (!m_port.write(block)) {
        return Send::LinkLost;
    }
    for (std::size_t k = 0; k < block.size(); ++k) {
        if (m_host.closing()) {
            return Send::Closing;
        }
        std::uint8_t echo = 0;
        if (const Wait wait = waitByte(echo); wait != Wait::Got) {
            return fromWait(wait);
        }
        if (echo != block[k]) {
            m_host.setStatusText(texts::kEchoMismatch + std::to_string(k));
            return Send::EchoMismatch;
        }
    }
    std::uint8_t status = 0;
    if (const Wait wait = waitByte(status); wait != Wait::Got) {
        return fromWait(wait);
    }
    if (status == kAccepted) {
        return Send::Accepted;
    }
    return status == kVersionError ? Send::VersionError : Send::Refused;
}

// Waits without a limit (unless an answer timeout is set) but never longer than one poll
// interval at a time, so that both stop requests are seen promptly.
Wait Transfer::waitByte(std::uint8_t& byte) {
    const bool limited = m_options.answerTimeout.has_value();
    const Clock::time_point deadline =
        limited ? Clock::now() + *m_options.answerTimeout : Clock::time_point::max();

    while (m_rxPos == m_rxLen) {
        if (m_host.closing()) {
            return Wait::Closing;
        }
        if (!m_host.runEnabled()) {
            return Wait::Aborted;
        }
        auto wait = m_options.pollInterval;
        if (limited) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left <= std::chrono::milliseconds::zero()) {
                return Wait::NoAnswer;
            }
            wait = std::min(wait, left);
        }
        const ReadResult got = m_port.read(m_rx, wait);
        if (!got.ok) {
            return Wait::LinkLost;
        }
        m_rxPos = 0;
        m_rxLen = std::min(got.count, m_rx.size());
    }
    byte = m_rx[m_rxPos++];
    return Wait::Got;
}

bool Transfer::discardInput() {
    m_rxPos = m_rxLen = 0;
    return m_port.discardInput();
}

Outcome Transfer::errorExit(Outcome outcome) {
    m_port.close();
    releaseFileAndImage();
    returnToIdle();
    return outcome;
}

Outcome Transfer::abortExit() {
    m_file.close();
    m_port.close();
    freeImage();
    returnToIdle();
    return Outcome::Aborted;
}

// The window is going away: release everything, the port too, and touch nothing of it.
Outcome Transfer::silentExit() {
    releaseFileAndImage();
    m_port.close();
    return Outcome::Closing;
}

void Transfer::releaseFileAndImage() {
    m_file.close();
    freeImage();
}

void Transfer::freeImage() {
    m_image.reset();
    m_count = 0;
}

void Transfer::returnToIdle() {
    m_host.setRunCaption(texts::kStart);
    m_host.setRunEnabled(true);
    m_host.setInputsEnabled(true);
}

}  // namespace

Outcome runTransfer(SerialPort& port, TransferHost& host, const TransferOptions& options) {
    Transfer transfer(port, host, options);
    return transfer.run();
}

}  // namespace talpir::link
