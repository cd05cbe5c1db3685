// Helpers for the window tests: finding controls and answering the boxes the window opens.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace talpir::test {

template <class T>
T* control(QWidget* window, const char* name) {
    return window->findChild<T*>(QString::fromLatin1(name));
}

// Acts on the next modal widget once it is shown (from inside its own event loop). Gives up
// after the deadline; done() tells whether it acted.
class ModalAnswer : public QObject {
public:
    explicit ModalAnswer(std::function<void(QWidget*)> act, int deadlineMs = 10000)
        : m_act(std::move(act)), m_deadlineMs(deadlineMs) {
        m_clock.start();
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswer::check);
        m_timer.start();
    }

    bool done() const { return m_done; }

private:
    void check() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->isVisible()) {
            m_timer.stop();
            m_done = true;
            m_act(modal);
        } else if (m_clock.elapsed() > m_deadlineMs) {
            m_timer.stop();
        }
    }

    std::function<void(QWidget*)> m_act;
    int m_deadlineMs;
    QElapsedTimer m_clock;
    QTimer m_timer;
    bool m_done = false;
};

// What a message box showed, for checks after it has gone.
struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool seen = false;
};

// Notes what box shows and presses answer on it.
inline void answerBox(QWidget* modal, QMessageBox::StandardButton answer, SeenBox& seen) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) {
        return;
    }
    seen.caption = box->windowTitle();
    seen.text = box->text();
    seen.buttons = box->standardButtons();
    seen.defaultButton = box->standardButton(box->defaultButton());
    seen.icon = box->icon();
    seen.seen = true;
    box->button(answer)->click();
}

}  // namespace talpir::test
