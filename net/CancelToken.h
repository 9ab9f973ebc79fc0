// Asks a running network operation to stop, from any thread: it sends C-CANCEL
// at its next message, keeps what has arrived and ends with NetFailure::Cancelled.
#pragma once

#include <atomic>

class CancelToken {
public:
    void Cancel() { m_cancelled.store(true); }
    bool Cancelled() const { return m_cancelled.load(); }

private:
    std::atomic<bool> m_cancelled{false};
};
