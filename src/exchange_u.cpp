// TExchange: runs its procedure once on its own thread, then frees itself.
#include "exchange_u.h"

#include <utility>

TExchange::TExchange(bool createSuspended, ExchangeProc proc, QObject* parent)
    : QThread(parent), FExchangeProc(std::move(proc)) {
    // Queued to the thread this object lives in, so it is deleted after run() has returned.
    connect(this, &QThread::finished, this, &QObject::deleteLater);
    if (!createSuspended) {
        start();
    }
}

void TExchange::run() {
    if (!FExchangeProc) {
        return;
    }
    try {
        (void)FExchangeProc();
    } catch (...) {
        m_fatalException = std::current_exception();
    }
}
