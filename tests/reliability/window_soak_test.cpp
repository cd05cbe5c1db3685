// Soak of the window: one window, a round of faults over and over, and nothing left behind.
//
// Aborts and error boxes included, each transfer must end as its fault calls for.
#include <QTest>
#include <cstdio>

#include "UnitFrUpdateOvr.h"
#include "cgauge.h"
#include "fault_table.h"
#include "port_watch.h"
#include "soak_bench.h"
#include "window_driver.h"

using talpir::test::SoakStep;

namespace {

// Qt's threads end detached: one that has just finished may linger in /proc for a moment.
talpir::test::ProcessStats settledStats(int threads) {
    (void)QTest::qWaitFor([threads] { return talpir::test::processStats().threads <= threads; },
                          talpir::test::kJoinMs);
    return talpir::test::processStats();
}

}  // namespace

class WindowSoakTest : public QObject {
    Q_OBJECT

private slots:
    void transfersInARowLeaveNothingBehind();

private:
    void transfer(const SoakStep& step, const std::string& port);
};

void WindowSoakTest::transfersInARowLeaveNothingBehind() {
    talpir::test::TempDir dir;
    talpir::test::SoakBench bench(TALPIR_DEVSIM);
    QVERIFY2(bench.error().empty(), bench.error().c_str());
    TfrUpdateOvr window(QString::fromStdString(dir.file("w.INI")));
    window.show();
    talpir::test::WindowDriver driver(&window);
    driver.setFile(bench.image());
    const auto& round = talpir::test::soakRound();
    const int threadsBefore = talpir::test::processStats().threads;
    talpir::test::SoakFigures figures;
    const int transfers = talpir::test::soakTransfers();
    for (int i = 0; i < transfers; ++i) {
        const std::size_t index = static_cast<std::size_t>(i) % round.size();
        const SoakStep& step = round[index];
        const std::string port = bench.prepare(index);
        QVERIFY2(bench.error().empty(), bench.error().c_str());
        const talpir::test::PortWatch watch(port);
        driver.setPort(port);
        driver.clearStatus();
        driver.start();
        QVERIFY2(driver.running(), step.name);
        if (step.silent) {
            QVERIFY2(driver.waitForProgress(talpir::test::kBlockWire), step.name);
            QVERIFY2(driver.abort(), step.name);
        }
        if (step.outcome == talpir::link::Outcome::PortNotOpened) {
            QCOMPARE(driver.acknowledgeEngineBox(), QString::fromUtf8(talpir::test::kPortBusy));
        }
        QVERIFY2(driver.waitForIdle(), step.name);
        // An abort sets no text; the engine's timeout is not the window's.
        QCOMPARE(driver.status(), QString::fromStdString(step.silent ? "" : step.status));
        // The port in use stays with its holder, a port of this process.
        QVERIFY2(step.port == talpir::test::SoakPort::Held || watch.released(), step.name);
        QVERIFY2(bench.finish(index), bench.error().c_str());
        if (i == 0) {
            figures.first = settledStats(threadsBefore);
        } else {
            figures.last = settledStats(figures.first.threads);
        }
    }
    std::printf("window soak, %d transfers: %s\n", transfers, figures.describe().c_str());
    QVERIFY2(figures.problems().empty(), figures.describe().c_str());
}

QTEST_MAIN(WindowSoakTest)
#include "window_soak_test.moc"
