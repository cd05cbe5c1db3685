// Drives the operator window as the operator does, and reads what it shows.
#pragma once

#include <QMessageBox>
#include <QString>
#include <string>

class CGauge;
class QPushButton;
class TfrUpdateOvr;

namespace talpir::test {

constexpr int kWindowDeadlineMs = 30000;  // for one transfer, sanitizers included
constexpr int kJoinMs = 2000;             // a closing window must be gone well within this

class WindowDriver {
public:
    explicit WindowDriver(TfrUpdateOvr* window) : m_window(window) {}

    void setPort(const std::string& port);
    void setFile(const std::string& path);
    void clearStatus();
    void start();

    QPushButton* run() const;
    CGauge* gauge() const;
    QString status() const;
    // The engine's error box, once it shows.
    QMessageBox* engineBox() const;

    bool running() const;  // "Прервать", enabled, inputs greyed
    bool idle() const;     // "СТАРТ", enabled, inputs usable, and the worker has ended
    // Presses "Прервать" and answers the question with Yes; true when the question came.
    bool abort();
    // Waits (processing events) until the engine has taken the first n bytes.
    bool waitForProgress(int n, int timeoutMs = kWindowDeadlineMs) const;
    bool waitForIdle(int timeoutMs = kWindowDeadlineMs) const;
    // Presses OK on the engine's box once it shows; gives its text, empty when none came.
    QString acknowledgeEngineBox(int timeoutMs = kWindowDeadlineMs);

private:
    bool inputsEnabled(bool enabled) const;

    TfrUpdateOvr* m_window;
};

}  // namespace talpir::test
