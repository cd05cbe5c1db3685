// WindowDriver: the window's controls found by name, and waits that keep its events running.
#include "window_driver.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include "UnitFrUpdateOvr.h"
#include "cgauge.h"
#include "window_test_util.h"

namespace talpir::test {

namespace {

const QString kStart = QStringLiteral("СТАРТ");
const QString kAbort = QStringLiteral("Прервать");

}  // namespace

void WindowDriver::setPort(const std::string& port) {
    control<QComboBox>(m_window, "NameComPort")->setEditText(QString::fromStdString(port));
}

void WindowDriver::setFile(const std::string& path) {
    control<QLineEdit>(m_window, "FileName")->setText(QString::fromStdString(path));
}

void WindowDriver::clearStatus() {
    control<QStatusBar>(m_window, "StatusBar1")->clearMessage();
}

void WindowDriver::start() {
    run()->click();
}

QPushButton* WindowDriver::run() const {
    return control<QPushButton>(m_window, "btRun");
}

CGauge* WindowDriver::gauge() const {
    return control<CGauge>(m_window, "FileProgresBar");
}

QString WindowDriver::status() const {
    return control<QStatusBar>(m_window, "StatusBar1")->currentMessage();
}

QMessageBox* WindowDriver::engineBox() const {
    auto* box = m_window->findChild<QMessageBox*>(QStringLiteral("EngineErrorBox"));
    return box != nullptr && box->isVisible() ? box : nullptr;
}

bool WindowDriver::inputsEnabled(bool enabled) const {
    for (const char* name : {"NameComPort", "FileName", "FileNameLabel", "SelektFile"}) {
        if (control<QWidget>(m_window, name)->isEnabled() != enabled) {
            return false;
        }
    }
    return true;
}

bool WindowDriver::running() const {
    return run()->text() == kAbort && run()->isEnabled() && inputsEnabled(false);
}

bool WindowDriver::idle() const {
    return run()->text() == kStart && run()->isEnabled() && inputsEnabled(true) &&
           !m_window->workerRunning();
}

bool WindowDriver::abort() {
    SeenBox seen;
    ModalAnswer answer([&seen](QWidget* modal) { answerBox(modal, QMessageBox::Yes, seen); });
    run()->click();
    return answer.done() && seen.seen;
}

bool WindowDriver::waitForProgress(int n, int timeoutMs) const {
    return QTest::qWaitFor([this, n] { return gauge()->position() >= n; }, timeoutMs);
}

bool WindowDriver::waitForIdle(int timeoutMs) const {
    return QTest::qWaitFor([this] { return idle(); }, timeoutMs);
}

QString WindowDriver::acknowledgeEngineBox(int timeoutMs) {
    if (!QTest::qWaitFor([this] { return engineBox() != nullptr; }, timeoutMs)) {
        return {};
    }
    QMessageBox* box = engineBox();
    const QString text = box->text();
    box->button(QMessageBox::Ok)->click();
    return text;
}

}  // namespace talpir::test
