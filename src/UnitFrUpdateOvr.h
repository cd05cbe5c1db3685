// TfrUpdateOvr: the operator window: port, update file, progress, start/abort and status line.
#pragma once

#include <QPointer>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/transfer_host.h"

class CGauge;
class LabeledEdit;
class PortComboBox;
class QFileDialog;
class QLabel;
class QPushButton;
class QStatusBar;
class TExchange;

// The application's title: the executable's name up to its first dot, lower case after the
// first character.
QString applicationTitle(const QString& executablePath);

class TfrUpdateOvr : public QWidget, private talpir::link::TransferHost {
    Q_OBJECT

public:
    // settingsFile: where the window keeps its placement and fields between runs.
    explicit TfrUpdateOvr(const QString& settingsFile = defaultSettingsPath(),
                          QWidget* parent = nullptr);
    ~TfrUpdateOvr() override;

    // The settings file beside the executable.
    static QString defaultSettingsPath();

    // Handlers of the controls, as the operator triggers them.
    void btRunClick();
    void SelektFileClick();

    // The engine with this window as its host; runs on the worker thread.
    bool DoExchange();

    // A transfer runs: started and not yet back to idle.
    bool transferInProgress() const;
    // The worker thread has not ended yet; it may outlast the transfer by a moment.
    bool workerRunning() const;

protected:
    void closeEvent(QCloseEvent* event) override;  // FormClose

private:
    void createControls();
    void placeControls();
    void FormCreate();
    void FormDestroy();

    void setRunState(bool running);
    void enableRun(bool enabled);
    void setInputsEnabledNow(bool enabled);
    void setClosing(bool closing);
    bool askAbort();
    QFileDialog* openDialog();
    bool chooseFile();
    void setFileText(const QString& path);
    void joinWorker();

    // Engine side, called on the worker thread (window_host.cpp).
    std::string fileName() override;
    std::string portName() override;
    int progressMinimum() override;
    void setProgressMinimum(int value) override;
    void setProgressMaximum(int value) override;
    void setProgressPosition(int value) override;
    void setStatusText(const std::string& text) override;
    void showError(const std::string& text) override;
    bool runEnabled() override;
    void setRunCaption(const std::string& caption) override;
    void setRunEnabled(bool enabled) override;
    void setInputsEnabled(bool enabled) override;
    bool closing() override;

    // Queues a change of the controls to the UI thread; dropped once the window is closing.
    void post(std::function<void()> change);
    Q_INVOKABLE void applyChanges();
    void openEngineBox(const QString& text);
    void engineBoxClosed();

    QLabel* StaticText1 = nullptr;
    PortComboBox* NameComPort = nullptr;
    LabeledEdit* FileName = nullptr;
    QPushButton* SelektFile = nullptr;
    CGauge* FileProgresBar = nullptr;
    QPushButton* btRun = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QFileDialog* OpenDialog1 = nullptr;

    QString m_settingsFile;

    // Stop requests, written on the UI thread and read by the engine.
    std::atomic<bool> FClosing{false};
    std::atomic<bool> m_runEnabled{true};  // mirror of btRun's enabled state

    // What the engine reads at its start, taken on the UI thread before the worker starts.
    struct StartValues {
        std::string fileName;
        std::string portName;
        int progressMinimum = 0;
    } m_start;

    std::mutex m_changesMutex;
    std::vector<std::function<void()>> m_changes;  // posted by the engine, not yet applied

    // An engine error box holds the engine until it is closed or the window closes.
    std::mutex m_boxMutex;
    std::condition_variable m_boxDone;
    bool m_boxOpen = false;

    QPointer<TExchange> m_worker;  // only to join it at the end
};
