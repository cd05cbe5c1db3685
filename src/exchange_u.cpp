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

// Deleted (by deleteLater or by the window's join) only once run() is over. Qt's own handshake
// for that is invisible to ThreadSanitizer where Qt is not built for it; this acquire, paired
// with the release at the end of run(), makes the worker's last steps (the window's controls
// included) visibly precede the deletion and whatever the deleting thread does next.
TExchange::~TExchange() {
    (void)m_ended.load(std::memory_order_acquire);
}

void TExchange::run() {
    if (FExchangeProc) {
        try {
            (void)FExchangeProc();
        } catch (...) {
            m_fatalException = std::current_exception();
        }
    }
    m_ended.store(true, std::memory_order_release);
}
