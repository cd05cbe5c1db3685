// The transfer's host on the command line: progress to stderr, the status to stdout.
#pragma once

#include <string>

#include "cli/progress.h"
#include "link/transfer_host.h"

namespace talpir::cli {

class CliHost : public link::TransferHost {
public:
    CliHost(std::string file, std::string port, ProgressDisplay& progress)
        : m_file(std::move(file)), m_port(std::move(port)), m_progress(progress) {}

    std::string fileName() override { return m_file; }
    std::string portName() override { return m_port; }

    int progressMinimum() override { return m_minimum; }
    void setProgressMinimum(int value) override { m_minimum = value; }
    void setProgressMaximum(int value) override;
    void setProgressPosition(int value) override;

    void setStatusText(const std::string& text) override;
    void showError(const std::string& text) override;

    // Also the display's clock tick: the engine asks this between its short waits.
    bool runEnabled() override;
    void setRunCaption(const std::string&) override {}
    void setRunEnabled(bool) override {}
    void setInputsEnabled(bool) override {}

    bool closing() override { return false; }

    // Ends the progress line, for output that follows the transfer.
    void finish();

private:
    std::string m_file;
    std::string m_port;
    ProgressDisplay& m_progress;
    int m_minimum = 0;
    int m_position = 0;
};

}  // namespace talpir::cli
