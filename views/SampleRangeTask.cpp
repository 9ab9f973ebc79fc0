#include "views/SampleRangeTask.h"

#include <QMetaObject>

#include <atomic>
#include <chrono>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "document/StackRange.h"
#include "views/BackgroundPriority.h"
#include "views/UnwaitedThreads.h"

namespace {

// How long the pass decodes compressed frames before it takes the range of those it
// has: a frame of a large JPEG 2000 study may take seconds, and the sliders and the
// default window wait for the range.
constexpr std::chrono::seconds kMostDecodingTime{3};

}  // namespace

struct CSampleRangeTask::Pass {
    std::atomic<bool> cancel{false};
    std::shared_ptr<std::atomic<bool>> finished = std::make_shared<std::atomic<bool>>(false);
    std::mutex mutex;               // guards `receiver`
    QObject* receiver = nullptr;    // null once the pass is cancelled
};

bool CSampleRangeTask::Running() const { return m_pass != nullptr && !m_pass->finished->load(); }

bool CSampleRangeTask::Start(std::shared_ptr<const FrameStack> stack, Done done) {
    if (Running() || stack == nullptr) return false;
    auto pass = std::make_shared<Pass>();
    pass->receiver = m_receiver;
    std::thread thread;
    try {
        thread = std::thread([pass, stack = std::move(stack), done = std::move(done)] {
            GiveWayToTheViewer();
            RangeDeadline deadline{std::chrono::steady_clock::now() + kMostDecodingTime};
            const RangeOutcome outcome = ScanStackRange(*stack, &pass->cancel, &deadline);
            {
                std::lock_guard lock(pass->mutex);
                if (!outcome.cancelled && pass->receiver != nullptr) {
                    // Only the address goes back: the receiver compares it with its own stack.
                    const FrameStack* of = stack.get();
                    QMetaObject::invokeMethod(
                        pass->receiver, [done, of, outcome] { done(of, outcome); }, Qt::QueuedConnection);
                }
            }
            *pass->finished = true;
        });
    } catch (const std::system_error&) {
        return false;  // no thread to be had: the sliders keep the ranges they have
    }
    // The thread is kept with the others; this task only holds its pass.
    UnwaitedThreads::Instance().Keep(std::move(thread), pass->finished,
                                     std::shared_ptr<std::atomic<bool>>(pass, &pass->cancel));
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
