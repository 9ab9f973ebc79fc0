#include "views/SampleRangeTask.h"

#include <QMetaObject>

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "document/StackRange.h"
#include "views/BackgroundPriority.h"

struct CSampleRangeTask::Pass {
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::mutex mutex;               // guards `receiver`
    QObject* receiver = nullptr;    // null once the pass is cancelled
};

namespace {

// Threads of cancelled passes, each joined once it has finished (at the latest when
// the program ends), so that closing a document never waits for its pass.
class PassThreads {
public:
    static PassThreads& Instance() {
        static PassThreads threads;
        return threads;
    }
    void Keep(std::thread thread, std::shared_ptr<CSampleRangeTask::Pass> pass) {
        std::lock_guard lock(m_mutex);
        // The ones that have finished since go now.
        for (auto it = m_threads.begin(); it != m_threads.end();) {
            if (it->second->finished.load()) {
                it->first.join();
                it = m_threads.erase(it);
            } else {
                ++it;
            }
        }
        m_threads.emplace_back(std::move(thread), std::move(pass));
    }
    ~PassThreads() {
        for (auto& [thread, pass] : m_threads)
            thread.join();
    }

private:
    PassThreads() = default;
    std::mutex m_mutex;
    std::vector<std::pair<std::thread, std::shared_ptr<CSampleRangeTask::Pass>>> m_threads;
};

}  // namespace

bool CSampleRangeTask::Running() const { return m_pass != nullptr && !m_pass->finished.load(); }

bool CSampleRangeTask::Start(std::shared_ptr<const FrameStack> stack, Done done) {
    if (Running() || stack == nullptr) return false;
    auto pass = std::make_shared<Pass>();
    pass->receiver = m_receiver;
    std::thread thread;
    try {
        thread = std::thread([pass, stack = std::move(stack), done = std::move(done)] {
            GiveWayToTheViewer();
            const RangeOutcome outcome = ScanStackRange(*stack, &pass->cancel);
            {
                std::lock_guard lock(pass->mutex);
                if (!outcome.cancelled && pass->receiver != nullptr) {
                    // Only the address goes back: the receiver compares it with its own stack.
                    const FrameStack* of = stack.get();
                    QMetaObject::invokeMethod(
                        pass->receiver, [done, of, outcome] { done(of, outcome); }, Qt::QueuedConnection);
                }
            }
            pass->finished = true;
        });
    } catch (const std::system_error&) {
        return false;  // no thread to be had: the sliders keep the ranges they have
    }
    // The thread is kept with the others; this task only holds its pass.
    PassThreads::Instance().Keep(std::move(thread), pass);
    m_pass = std::move(pass);
    return true;
}

void CSampleRangeTask::Cancel() {
    if (!m_pass) return;
    m_pass->cancel = true;
    {
        std::lock_guard lock(m_pass->mutex);
        m_pass->receiver = nullptr;
    }
    m_pass.reset();
}
