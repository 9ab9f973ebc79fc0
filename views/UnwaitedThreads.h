// Threads of background passes that nobody waits for: a window that closes cancels
// its pass and drops the result, but the pass ends only after the step it is in.
// Each thread is kept here and joined once it has finished (when the next one is
// kept), the rest when the program ends, so that closing never waits.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class UnwaitedThreads {
public:
    static UnwaitedThreads& Instance();
    UnwaitedThreads() = default;
    // Keeps `thread`, which sets `finished` as its last step and stops early once
    // `cancel` is set.
    void Keep(std::thread thread, std::shared_ptr<const std::atomic<bool>> finished,
              std::shared_ptr<std::atomic<bool>> cancel);
    // Asks every thread kept to stop and joins those that end within `grace`. True
    // when none is left running.
    bool StopAll(std::chrono::milliseconds grace);
    // Joins every thread kept, however long they take.
    ~UnwaitedThreads();
    UnwaitedThreads(const UnwaitedThreads&) = delete;
    UnwaitedThreads& operator=(const UnwaitedThreads&) = delete;

private:
    struct Kept {
        std::thread thread;
        std::shared_ptr<const std::atomic<bool>> finished;
        std::shared_ptr<std::atomic<bool>> cancel;
    };
    // Joins and drops the threads that have finished; the mutex is held.
    void JoinFinished();

    std::mutex m_mutex;
    std::vector<Kept> m_threads;
};

// Ends the program, once its windows have gone, with `status`: passes still running
// and the frame readers are asked to stop, and when one has not ended after a moment
// (a decoder cannot be stopped inside a frame) the process ends without waiting for
// it, its result being wanted by no one. Returns `status` when nothing was left
// running.
int EndWithoutWaiting(int status);
