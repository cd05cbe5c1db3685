// The window against faults end to end, a port in use both ways, and closing in every fault.
//
// Each fault ends idle with the right text, lets the port go, and the next transfer works.
#include <QElapsedTimer>
#include <QTest>
#include <chrono>
#include <csignal>
#include <memory>

#include "UnitFrUpdateOvr.h"
#include "cgauge.h"
#include "fault_table.h"
#include "port_watch.h"
#include "support/child_process.h"
#include "support/devsim_fixture.h"
#include "support/subprocess.h"
#include "window_driver.h"
#include "window_test_util.h"

using namespace std::chrono_literals;
using talpir::test::Child;
using talpir::test::DevSim;
using talpir::test::Fault;
using talpir::test::PortWatch;

namespace {

constexpr auto kDeadline = 20s;              // for a talpir-flash run
constexpr char kSending[] = "progress: 0%";  // talpir-flash has the port and sends
constexpr int kPortInUse = -1;               // a row that is no fault of the table

const Fault& fault(int row) {
    return talpir::test::faultTable()[static_cast<std::size_t>(row)];
}

}  // namespace

class WindowFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void faults_data();
    void faults();
    void portInUse_data();
    void portInUse();
    void windowHoldsThePort_data();
    void windowHoldsThePort();
    void staleLockOfAKilledHolder();
    void closingInEachFault_data();
    void closingInEachFault();

private:
    void startDevice(const std::vector<std::string>& options);
    void startTransfer(const std::string& port, const std::string& file);
    void followUp(const std::string& status);
    std::unique_ptr<Child> startHolder(const std::string& port);
    talpir::test::RunResult runFlash(const std::string& port);

    talpir::test::TempDir m_dir;
    std::string m_port = m_dir.file("port");
    std::string m_image = m_dir.file("image.fwx");
    std::string m_oneBlock = m_dir.file("one.fwx");
    std::unique_ptr<DevSim> m_device;
    std::unique_ptr<TfrUpdateOvr> m_window;
    std::unique_ptr<talpir::test::WindowDriver> m_driver;
};

void WindowFaultsTest::init() {
    QVERIFY(talpir::test::writeUpdateFile(m_image, talpir::test::kFaultBlocks));
    QVERIFY(talpir::test::writeUpdateFile(m_oneBlock, 1));
    m_window = std::make_unique<TfrUpdateOvr>(QString::fromStdString(m_dir.file("w.INI")));
    m_window->show();
    m_driver = std::make_unique<talpir::test::WindowDriver>(m_window.get());
}

void WindowFaultsTest::cleanup() {
    m_driver.reset();
    m_window.reset();
    m_device.reset();
}

void WindowFaultsTest::faults_data() {
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < talpir::test::faultTable().size(); ++i) {
        QTest::newRow(talpir::test::faultTable()[i].name) << static_cast<int>(i);
    }
}

void WindowFaultsTest::faults() {
    QFETCH(int, row);
    const Fault& f = fault(row);
    startDevice(f.device);
    const PortWatch watch(m_port);
    startTransfer(m_port, m_image);
    if (f.abort) {
        QVERIFY(m_driver->waitForProgress(talpir::test::kBlockWire));
        QVERIFY(m_driver->abort());
        QVERIFY(!m_driver->run()->isEnabled());
    }
    QVERIFY(m_driver->waitForIdle());
    QCOMPARE(m_driver->status(), QString::fromStdString(f.status));
    QVERIFY2(watch.released(), watch.lockFile().c_str());
    if (f.hangsUp) {
        QCOMPARE(m_device->waitForExit(5s), 0);
        startDevice({});
    }
    followUp(f.after);
    QVERIFY2(watch.released(), watch.lockFile().c_str());
}

void WindowFaultsTest::portInUse_data() {
    QTest::addColumn<bool>("holderUsesLink");
    QTest::addColumn<bool>("windowUsesLink");
    QTest::newRow("same name") << true << true;
    QTest::newRow("holder uses a link") << true << false;
    QTest::newRow("window uses a link") << false << true;
}

// Run as root, only QSerialPort's lock file keeps the window out.
void WindowFaultsTest::portInUse() {
    QFETCH(bool, holderUsesLink);
    QFETCH(bool, windowUsesLink);
    startDevice({"--silent", "1"});
    const std::string device = m_device->path();
    const PortWatch watch(m_port);
    const std::unique_ptr<Child> holder = startHolder(holderUsesLink ? m_port : device);
    QVERIFY2(watch.locked(), "no lock file where QSerialPort keeps it");
    const std::string port = windowUsesLink ? m_port : device;
    startTransfer(port, m_oneBlock);
    QCOMPARE(m_driver->acknowledgeEngineBox(), QString::fromUtf8(talpir::test::kPortBusy));
    QVERIFY(m_driver->waitForIdle());
    QVERIFY(!watch.openHere());
    holder->signal(SIGINT);
    QCOMPARE(holder->waitForExit(Child::Clock::now() + kDeadline), 130);
    QVERIFY2(!watch.leftBehind(), watch.lockFile().c_str());
    m_driver->setPort(port);
    followUp(talpir::test::kDone);
}

void WindowFaultsTest::windowHoldsThePort_data() {
    QTest::addColumn<bool>("flashUsesLink");
    QTest::newRow("same name") << true;
    QTest::newRow("the link's target") << false;
}

void WindowFaultsTest::windowHoldsThePort() {
    QFETCH(bool, flashUsesLink);
    startDevice({"--silent", "1"});
    const std::string flashPort = flashUsesLink ? m_port : m_device->path();
    const PortWatch watch(m_port);
    startTransfer(m_port, m_image);
    QVERIFY(m_driver->waitForProgress(talpir::test::kBlockWire));
    const talpir::test::RunResult refused = runFlash(flashPort);
    QVERIFY2(refused.exited(3), talpir::test::describe(refused).c_str());
    QVERIFY2(refused.err.find(talpir::test::kPortBusy) != std::string::npos, refused.err.c_str());
    QVERIFY(m_driver->running());
    QVERIFY(m_driver->abort());
    QVERIFY(m_driver->waitForIdle());
    QVERIFY2(watch.released(), watch.lockFile().c_str());
    const talpir::test::RunResult after = runFlash(flashPort);
    QVERIFY2(after.exited(0), talpir::test::describe(after).c_str());
}

void WindowFaultsTest::staleLockOfAKilledHolder() {
    startDevice({"--silent", "1"});
    const PortWatch watch(m_port);
    {
        const std::unique_ptr<Child> holder = startHolder(m_port);
        holder->signal(SIGKILL);
        QCOMPARE(holder->waitForExit(Child::Clock::now() + kDeadline), -SIGKILL);
    }
    QVERIFY2(watch.locked(), "the killed holder left no lock file");
    m_driver->setPort(m_port);
    followUp(talpir::test::kDone);
    QVERIFY2(watch.released(), watch.lockFile().c_str());
}

void WindowFaultsTest::closingInEachFault_data() {
    faults_data();
    QTest::newRow("port in use") << kPortInUse;
}

// Closed where each fault leaves it: while it waits (on a silent device, or on the engine's
// box), or idle after the fault showed. The engine must end, the window go at once, the port
// be free for the next program.
void WindowFaultsTest::closingInEachFault() {
    QFETCH(int, row);
    const bool inUse = row == kPortInUse;
    const Fault* f = inUse ? nullptr : &fault(row);
    startDevice(inUse ? std::vector<std::string>{"--silent", "1"} : f->device);
    const PortWatch watch(m_port);
    const std::unique_ptr<Child> holder = inUse ? startHolder(m_device->path()) : nullptr;
    startTransfer(m_port, m_image);
    const bool waiting = inUse || f->abort;
    if (inUse) {
        QVERIFY(QTest::qWaitFor([this] { return m_driver->engineBox() != nullptr; },
                                talpir::test::kWindowDeadlineMs));
    } else if (f->abort) {
        QVERIFY(m_driver->waitForProgress(talpir::test::kBlockWire));
    } else {
        QVERIFY(m_driver->waitForIdle());
    }
    talpir::test::SeenBox seen;
    talpir::test::ModalAnswer answer(
        [&seen](QWidget* modal) { talpir::test::answerBox(modal, QMessageBox::Yes, seen); },
        waiting ? 10000 : 0);
    QVERIFY(m_window->close());
    QCOMPARE(seen.seen, waiting);
    QVERIFY(QTest::qWaitFor([this] { return !m_window->workerRunning(); }, talpir::test::kJoinMs));
    QElapsedTimer clock;
    clock.start();
    m_driver.reset();
    m_window.reset();
    QVERIFY2(clock.elapsed() < talpir::test::kJoinMs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!watch.openHere());
    if (holder) {
        holder->signal(SIGINT);
        QCOMPARE(holder->waitForExit(Child::Clock::now() + kDeadline), 130);
    }
    QVERIFY2(!watch.leftBehind(), watch.lockFile().c_str());
    if (f != nullptr && f->hangsUp) {
        QCOMPARE(m_device->waitForExit(5s), 0);
        startDevice({});
    }
    const talpir::test::RunResult after = runFlash(m_port);
    QVERIFY2(after.exited(f != nullptr ? f->afterExit : 0), talpir::test::describe(after).c_str());
}

void WindowFaultsTest::startDevice(const std::vector<std::string>& options) {
    std::vector<std::string> args{"--quiet", "--link", m_port};
    args.insert(args.end(), options.begin(), options.end());
    m_device.reset();
    m_device = std::make_unique<DevSim>(TALPIR_DEVSIM, args);
    QVERIFY2(m_device->isReady(), m_device->error().c_str());
}

void WindowFaultsTest::startTransfer(const std::string& port, const std::string& file) {
    m_driver->setPort(port);
    m_driver->setFile(file);
    m_driver->start();
    QVERIFY(m_driver->running());
}

// The one-block file on the same port, with the status line cleared: what shows is this one's.
void WindowFaultsTest::followUp(const std::string& status) {
    QVERIFY(m_driver->idle());
    m_driver->clearStatus();
    m_driver->setFile(m_oneBlock);
    m_driver->start();
    QVERIFY(m_driver->waitForIdle());
    QCOMPARE(m_driver->status(), QString::fromStdString(status));
}

// A talpir-flash that holds port, sending into a device silent from block 1.
std::unique_ptr<Child> WindowFaultsTest::startHolder(const std::string& port) {
    auto holder = std::make_unique<Child>(
        TALPIR_FLASH, std::vector<std::string>{"write", "--port", port, m_image});
    if (!holder->waitForErr(kSending, Child::Clock::now() + kDeadline)) {
        qWarning("holder: %s", holder->err().c_str());
    }
    return holder;
}

talpir::test::RunResult WindowFaultsTest::runFlash(const std::string& port) {
    talpir::test::RunOptions options;
    options.timeout = kDeadline;
    return talpir::test::runProgram(TALPIR_FLASH, {"write", "--port", port, m_oneBlock}, options);
}

QTEST_MAIN(WindowFaultsTest)
#include "window_faults_test.moc"
