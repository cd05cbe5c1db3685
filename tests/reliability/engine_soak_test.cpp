// Soak of the engine on one Qt serial port: a round of faults, over and over, leaves nothing.
//
// Each transfer must end as its fault calls for; threads, descriptors and memory after the last
// are compared with those after the first.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <string>

#include "link/qt_serial_port.h"
#include "link/transfer_engine.h"
#include "soak_bench.h"

namespace talpir::test {
namespace {

using namespace std::chrono_literals;

const std::string kDevSim = TALPIR_DEVSIM;
constexpr auto kAnswerTimeout = 500ms;  // ends the silent step; far above a pty's answer time

// The host of the command line, reduced to what a soak checks.
class SoakHost : public link::TransferHost {
public:
    SoakHost(std::string file, std::string port)
        : m_file(std::move(file)), m_port(std::move(port)) {}

    std::string fileName() override { return m_file; }
    std::string portName() override { return m_port; }
    int progressMinimum() override { return 0; }
    void setProgressMinimum(int) override {}
    void setProgressMaximum(int) override {}
    void setProgressPosition(int) override {}
    void setStatusText(const std::string& text) override { status = text; }
    void showError(const std::string& text) override { error = text; }
    bool runEnabled() override { return true; }
    void setRunCaption(const std::string&) override {}
    void setRunEnabled(bool enabled) override { idle = enabled; }
    void setInputsEnabled(bool) override {}
    bool closing() override { return false; }

    std::string status;
    std::string error;
    bool idle = false;

private:
    std::string m_file;
    std::string m_port;
};

TEST(EngineSoak, TransfersInARowLeaveNothingBehind) {
    char name[] = "engine_soak_test";
    char* argv[] = {name, nullptr};
    int argc = 1;
    QCoreApplication app(argc, argv);  // QSerialPort wants an event dispatcher
    SoakBench bench(kDevSim);
    ASSERT_EQ(bench.error(), "");
    link::QtSerialPort port;
    link::TransferOptions options;
    options.answerTimeout = kAnswerTimeout;
    const auto& round = soakRound();
    SoakFigures figures;
    const int transfers = soakTransfers();
    for (int i = 0; i < transfers; ++i) {
        const std::size_t step = static_cast<std::size_t>(i) % round.size();
        const SoakStep& s = round[step];
        SoakHost host(bench.image(), bench.prepare(step));
        ASSERT_EQ(bench.error(), "") << "transfer " << i;
        const link::Outcome outcome = link::runTransfer(port, host, options);
        ASSERT_STREQ(link::outcomeName(outcome), link::outcomeName(s.outcome))
            << "transfer " << i << ", " << s.name;
        ASSERT_EQ(host.status, s.status) << "transfer " << i << ", " << s.name;
        ASSERT_EQ(host.error.empty(), outcome != link::Outcome::PortNotOpened) << s.name;
        ASSERT_TRUE(host.idle) << s.name;
        ASSERT_FALSE(port.isOpen()) << s.name;
        ASSERT_TRUE(bench.finish(step)) << bench.error();
        (i == 0 ? figures.first : figures.last) = processStats();
    }
    std::printf("engine soak, %d transfers: %s\n", transfers, figures.describe().c_str());
    EXPECT_EQ(figures.problems(), "") << figures.describe();
}

}  // namespace
}  // namespace talpir::test
