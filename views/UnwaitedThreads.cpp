#include "views/UnwaitedThreads.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "document/FrameLoader.h"

namespace {

// How long the end of the program waits for passes and frame readers asked to stop:
// they stop between frames or elements, which takes far less unless a frame is being
// decoded.
constexpr std::chrono::milliseconds kStopGrace{100};

}  // namespace

UnwaitedThreads& UnwaitedThreads::Instance() {
    static UnwaitedThreads threads;
    return threads;
}

void UnwaitedThreads::JoinFinished() {
    for (auto it = m_threads.begin(); it != m_threads.end();) {
        if (it->finished->load()) {
            it->thread.join();
            it = m_threads.erase(it);
        } else {
            ++it;
        }
    }
}

void UnwaitedThreads::Keep(std::thread thread, std::shared_ptr<const std::atomic<bool>> finished,
                           std::shared_ptr<std::atomic<bool>> cancel) {
    std::lock_guard lock(m_mutex);
    // The ones that have finished since go now.
    JoinFinished();
    m_threads.push_back(Kept{std::move(thread), std::move(finished), std::move(cancel)});
}

bool UnwaitedThreads::StopAll(std::chrono::milliseconds grace) {
    std::lock_guard lock(m_mutex);
    for (Kept& kept : m_threads)
        *kept.cancel = true;
    const auto deadline = std::chrono::steady_clock::now() + grace;
    JoinFinished();
    while (!m_threads.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        JoinFinished();
    }
    return m_threads.empty();
}

UnwaitedThreads::~UnwaitedThreads() {
    for (Kept& kept : m_threads)
        kept.thread.join();
}

int EndWithoutWaiting(int status) {
    using std::chrono::milliseconds;
    const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    // Both are asked at once: the frame readers first, without waiting, then the passes.
    FrameLoader::StopReading(milliseconds(0));
    const bool passesEnded = UnwaitedThreads::Instance().StopAll(kStopGrace);
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    const bool readersEnded = FrameLoader::StopReading(std::max(left, milliseconds(0)));
    if (passesEnded && readersEnded) return status;
    std::fflush(nullptr);
    std::_Exit(status);
}
