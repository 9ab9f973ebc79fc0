// Threads of background passes that nobody waits for: a window that closes cancels
// its pass and drops the result, but the pass ends only after the step it is in.
// Each thread is kept here and joined once it has finished (when the next one is
// kept), the rest when the program ends, so that closing never waits.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

class UnwaitedThreads {
public:
    static UnwaitedThreads& Instance();
    // Keeps `thread`, which sets `finished` as its last step.
    void Keep(std::thread thread, std::shared_ptr<const std::atomic<bool>> finished);
    ~UnwaitedThreads();
    UnwaitedThreads(const UnwaitedThreads&) = delete;
    UnwaitedThreads& operator=(const UnwaitedThreads&) = delete;

private:
    UnwaitedThreads() = default;
    std::mutex m_mutex;
    std::vector<std::pair<std::thread, std::shared_ptr<const std::atomic<bool>>>> m_threads;
};
