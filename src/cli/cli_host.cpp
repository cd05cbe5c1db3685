// CliHost: the engine's progress, texts and stop request on the command line.
#include "cli/cli_host.h"

#include <cstdio>

#include "cli/interrupt.h"

namespace talpir::cli {

namespace {

ProgressDisplay::Clock::time_point now() {
    return ProgressDisplay::Clock::now();
}

void putLine(const std::string& text, std::FILE* stream) {
    std::fputs(text.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

}  // namespace

void CliHost::setProgressMaximum(int value) {
    m_progress.begin(value - m_minimum, now());
}

void CliHost::setProgressPosition(int value) {
    m_position = value;
    m_progress.update(m_position - m_minimum, now());
}

void CliHost::setStatusText(const std::string& text) {
    finish();
    putLine(text, stdout);
}

void CliHost::showError(const std::string& text) {
    finish();
    putLine(text, stderr);
}

bool CliHost::runEnabled() {
    if (interrupted()) {
        return false;
    }
    m_progress.update(m_position - m_minimum, now());
    return true;
}

void CliHost::finish() {
    m_progress.end(now());
}

}  // namespace talpir::cli
