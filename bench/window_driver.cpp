// Drives the operator window for the benchmarks, as an operator would.
// Fills the port and file fields, presses START, and reports start-up time, the transfer's
// processor time or how long an abort takes. Usage: talpir-bench-window run|abort PORT FILE
// Prints key=value lines; times in the monotonic clock, which the caller shares.
#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "UnitFrUpdateOvr.h"
#include "link/texts.h"

namespace {

namespace texts = talpir::link::texts;
using Clock = std::chrono::steady_clock;

constexpr char kSpawnVariable[] = "TALPIR_BENCH_SPAWN_NS";  // set by the caller just before exec
constexpr int kAbortAfterMs = 300;   // the engine is well into its wait for the first echo by then
constexpr int kAnswerPollMs = 1;     // looking for the abort question
constexpr int kDeadlineMs = 300000;  // a run that takes longer has hung
constexpr int kExitHung = 2;

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long maxRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class Driver : public QObject {
public:
    Driver(TfrUpdateOvr& window, bool abort, QString port, QString file)
        : m_window(window), m_abort(abort), m_port(std::move(port)), m_file(std::move(file)) {
        m_btRun = m_window.findChild<QPushButton*>(QStringLiteral("btRun"));
        m_fileName = m_window.findChild<QLineEdit*>(QStringLiteral("FileName"));
        auto* status = m_window.findChild<QStatusBar*>(QStringLiteral("StatusBar1"));
        connect(status, &QStatusBar::messageChanged, this, &Driver::onMessage);
        m_fileName->installEventFilter(this);
        qApp->installEventFilter(this);
        m_answer.setInterval(kAnswerPollMs);
        connect(&m_answer, &QTimer::timeout, this, &Driver::answerQuestion);
    }

    bool succeeded() const { return m_succeeded; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && !m_shown && watched == m_window.windowHandle() &&
            m_window.windowHandle()->isExposed()) {
            m_shown = true;
            reportStart();
            QTimer::singleShot(0, this, &Driver::start);
        } else if (event->type() == QEvent::EnabledChange && watched == m_fileName &&
                   m_fileName->isEnabled() && m_started) {
            onIdle();  // the last control the return to idle enables
        }
        return false;
    }

private:
    void reportStart() {
        if (const char* spawned = std::getenv(kSpawnVariable)) {
            const double ms = static_cast<double>(nowNs() - std::atoll(spawned)) / 1e6;
            std::printf("start_ms=%.3f\n", ms);
        }
    }

    void start() {
        m_window.findChild<QComboBox*>(QStringLiteral("NameComPort"))->setEditText(m_port);
        m_fileName->setText(m_file);
        m_started = true;
        m_startCpu = cpuSeconds();
        m_startNs = nowNs();
        m_btRun->click();
        if (m_abort) {
            QTimer::singleShot(kAbortAfterMs, this, &Driver::requestAbort);
        }
    }

    void requestAbort() {
        m_answer.start();
        m_btRun->click();  // opens the question; it is answered from inside its own loop
    }

    void answerQuestion() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || box->objectName() != QStringLiteral("AbortQuestion")) {
            return;
        }
        m_answer.stop();
        m_abortNs = nowNs();
        box->button(QMessageBox::Yes)->click();
    }

    void onMessage(const QString& text) {
        if (text.isEmpty() || m_endNs != 0) {
            return;
        }
        m_endNs = nowNs();
        const double cpu = cpuSeconds() - m_startCpu;
        m_succeeded = !m_abort && text == QString::fromUtf8(texts::kDone);
        std::printf("transfer_s=%.6f\ncpu_s=%.6f\nstatus=%s\n", (m_endNs - m_startNs) / 1e9, cpu,
                    text.toUtf8().constData());
    }

    void onIdle() {
        if (m_idle || m_btRun->text() != QString::fromUtf8(texts::kStart)) {
            return;
        }
        m_idle = true;
        if (m_abort) {
            const std::int64_t idle = nowNs();
            m_succeeded = m_abortNs != 0;
            std::printf("abort_ns=%lld\nidle_ns=%lld\nidle_ms=%.3f\n",
                        static_cast<long long>(m_abortNs), static_cast<long long>(idle),
                        (idle - m_abortNs) / 1e6);
        }
        std::printf("maxrss_kb=%ld\n", maxRssKb());
        std::fflush(stdout);
        QTimer::singleShot(0, qApp, &QApplication::quit);
    }

    TfrUpdateOvr& m_window;
    bool m_abort;
    QString m_port;
    QString m_file;
    QPushButton* m_btRun = nullptr;
    QLineEdit* m_fileName = nullptr;
    QTimer m_answer;
    bool m_shown = false;
    bool m_started = false;
    bool m_idle = false;
    bool m_succeeded = false;
    double m_startCpu = 0;
    std::int64_t m_startNs = 0;
    std::int64_t m_endNs = 0;
    std::int64_t m_abortNs = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4 ||
        (args[1] != QStringLiteral("run") && args[1] != QStringLiteral("abort"))) {
        std::fputs("Usage: talpir-bench-window run|abort PORT FILE\n", stderr);
        return 1;
    }
    // As talpir-programmer starts: its title, and the settings file beside the executable.
    QCoreApplication::setApplicationName(applicationTitle(QCoreApplication::applicationFilePath()));
    TfrUpdateOvr window;
    Driver driver(window, args[1] == QStringLiteral("abort"), args[2], args[3]);
    QTimer::singleShot(kDeadlineMs, &app, [] { std::exit(kExitHung); });
    window.show();
    QApplication::exec();
    return driver.succeeded() ? 0 : 1;
}
