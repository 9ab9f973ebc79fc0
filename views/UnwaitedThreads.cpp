#include "views/UnwaitedThreads.h"

UnwaitedThreads& UnwaitedThreads::Instance() {
    static UnwaitedThreads threads;
    return threads;
}

void UnwaitedThreads::Keep(std::thread thread, std::shared_ptr<const std::atomic<bool>> finished) {
    std::lock_guard lock(m_mutex);
    // The ones that have finished since go now.
    for (auto it = m_threads.begin(); it != m_threads.end();) {
        if (it->second->load()) {
            it->first.join();
            it = m_threads.erase(it);
        } else {
            ++it;
        }
    }
    m_threads.emplace_back(std::move(thread), std::move(finished));
}

UnwaitedThreads::~UnwaitedThreads() {
    for (auto& [thread, finished] : m_threads)
        thread.join();
}
