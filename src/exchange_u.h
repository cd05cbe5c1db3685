// TExchange: the worker thread that runs one transfer so that the window stays responsive.
#pragma once

#include <QThread>
#include <atomic>
#include <exception>
#include <functional>

class TExchange final : public QThread {
public:
    using ExchangeProc = std::function<bool()>;

    // Starts at once unless createSuspended; the object deletes itself when the thread ends.
    TExchange(bool createSuspended, ExchangeProc proc, QObject* parent = nullptr);
    ~TExchange() override;

protected:
    void run() override;

private:
    ExchangeProc FExchangeProc;
    std::exception_ptr m_fatalException;  // what escaped the procedure; shown to nobody
    std::atomic<bool> m_ended{false};     // run() is over: see the destructor
};
