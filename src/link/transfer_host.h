// What the transfer engine needs from whoever runs it: the window, the command line or a test.
#pragma once

#include <string>

namespace talpir::link {

// Called from the engine's thread. Texts are UTF-8.
class TransferHost {
public:
    virtual ~TransferHost() = default;

    virtual std::string fileName() = 0;  // text of the file field
    virtual std::string portName() = 0;  // text of the port selector

    virtual int progressMinimum() = 0;
    virtual void setProgressMinimum(int value) = 0;
    virtual void setProgressMaximum(int value) = 0;
    virtual void setProgressPosition(int value) = 0;

    virtual void setStatusText(const std::string& text) = 0;
    // A modal box with the caption "Ошибка" and an OK button; returns once it is closed
    // (or at once when the host is closing).
    virtual void showError(const std::string& text) = 0;

    virtual bool runEnabled() = 0;  // false: the operator confirmed an abort
    virtual void setRunCaption(const std::string& caption) = 0;
    virtual void setRunEnabled(bool enabled) = 0;
    // The port selector, the browse button and the file field, in that order.
    virtual void setInputsEnabled(bool enabled) = 0;

    virtual bool closing() = 0;  // the window is closing: leave it alone
};

}  // namespace talpir::link
