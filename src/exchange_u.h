// TExchange: the worker thread that runs one transfer so that the window stays responsive.
#pragma once

#include <QThread>
#include <exception>
#include <functional>

class TExchange final : public QThread {
public:
    using ExchangeProc = std::function<bool()>;

    // Starts at once unless createSuspended; the object deletes itself when the thread ends.
    TExchange(bool createSuspended, ExchangeProc proc, QObject* parent = nullptr);

protected:
    void run() override;

private:
    ExchangeProc FExchangeProc;
    std::exception_ptr m_fatalException;  // what escaped the procedure; shown to nobody
};
