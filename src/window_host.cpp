// The engine's side of TfrUpdateOvr: what the worker thread reads from and changes in the window.
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QStatusBar>
#include <utility>
#include <vector>

#include "UnitFrUpdateOvr.h"
#include "cgauge.h"
#include "link/qt_serial_port.h"
#include "link/texts.h"
#include "link/transfer_engine.h"
#include "window_controls.h"

bool TfrUpdateOvr::DoExchange() {
    talpir::link::QtSerialPort port;  // made, used and destroyed on this thread
    try {
        (void)talpir::link::runTransfer(port, *this);
    } catch (...) {
        setRunCaption(talpir::link::texts::kStart);  // a failure must not leave START dead
        setRunEnabled(true);
        setInputsEnabled(true);
        throw;
    }
    return true;
}

// Taken by btRunClick before the worker started.
std::string TfrUpdateOvr::fileName() {
    return m_start.fileName;
}

std::string TfrUpdateOvr::portName() {
    return m_start.portName;
}

int TfrUpdateOvr::progressMinimum() {
    return m_start.progressMinimum;
}

bool TfrUpdateOvr::runEnabled() {
    return m_runEnabled.load();
}

bool TfrUpdateOvr::closing() {
    return FClosing.load();
}

// The changes travel under our own lock; the queued call only wakes the UI thread up.
void TfrUpdateOvr::post(std::function<void()> change) {
    {
        std::lock_guard lock(m_changesMutex);
        m_changes.push_back(std::move(change));
    }
    QMetaObject::invokeMethod(this, "applyChanges", Qt::QueuedConnection);
}

void TfrUpdateOvr::applyChanges() {
    std::vector<std::function<void()>> changes;
    {
        std::lock_guard lock(m_changesMutex);
        changes.swap(m_changes);
    }
    for (const auto& change : changes) {
        if (!FClosing.load()) {
            change();
        }
    }
}

void TfrUpdateOvr::setProgressMinimum(int value) {
    post([this, value] { FileProgresBar->setMinimum(value); });
}

void TfrUpdateOvr::setProgressMaximum(int value) {
    post([this, value] { FileProgresBar->setMaximum(value); });
}

void TfrUpdateOvr::setProgressPosition(int value) {
    post([this, value] { FileProgresBar->setPosition(value); });
}

void TfrUpdateOvr::setStatusText(const std::string& text) {
    post([this, message = QString::fromStdString(text)] { StatusBar1->showMessage(message); });
}

void TfrUpdateOvr::setRunCaption(const std::string& caption) {
    post([this, text = QString::fromStdString(caption)] { btRun->setText(text); });
}

void TfrUpdateOvr::setRunEnabled(bool enabled) {
    post([this, enabled] { enableRun(enabled); });
}

void TfrUpdateOvr::setInputsEnabled(bool enabled) {
    post([this, enabled] { setInputsEnabledNow(enabled); });
}

// Holds the engine until the box is closed or the window closes; the window stays usable.
void TfrUpdateOvr::showError(const std::string& text) {
    std::unique_lock lock(m_boxMutex);
    if (FClosing.load()) {
        return;
    }
    m_boxOpen = true;
    post([this, message = QString::fromStdString(text)] { openEngineBox(message); });
    m_boxDone.wait(lock, [this] { return !m_boxOpen || FClosing.load(); });
    m_boxOpen = false;
}

void TfrUpdateOvr::openEngineBox(const QString& text) {
    auto* box =
        new QMessageBox(QMessageBox::NoIcon, QString::fromUtf8(talpir::link::texts::kErrorCaption),
                        text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("EngineErrorBox"));
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, &TfrUpdateOvr::engineBoxClosed);
    box->show();
}

void TfrUpdateOvr::engineBoxClosed() {
    {
        std::lock_guard lock(m_boxMutex);
        m_boxOpen = false;
    }
    m_boxDone.notify_all();
}
