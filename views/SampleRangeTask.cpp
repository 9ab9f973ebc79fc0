#include "views/SampleRangeTask.h"

#include <QMetaObject>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The pass gives way to the thread that paints and to the threads Qt scales and
// converts pictures on: they take a core from it at once, so the first frame and
// every step after it show as fast as without the pass. Nice 10 rather than idle
// priority, so that the range still arrives within a second or so while a build or
// a batch job (often at nice 19 itself) keeps every core busy.
void GiveWayToTheViewer() {
    // On Linux a thread's own id sets the priority of that thread alone.
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10) == 0) {
        // The change alone does not hand the core over until the next tick: the thread
        // that started this one may be waiting for it now.
        sched_yield();
    }
}

}  // namespace

bool CSampleRangeTask::Start(std::shared_ptr<const FrameSource> source, Done done) {
    if (m_running.load() || source == nullptr) {
        return false;
    }
    if (m_thread.joinable()) {
        m_thread.join();  // the last pass has finished: only its thread is left
    }
    m_cancel = false;
    m_running = true;
    m_thread = std::thread([this, source = std::move(source), done = std::move(done)] {
        GiveWayToTheViewer();
        const RangeOutcome outcome = ScanModalityRange(*source, &m_cancel);
        if (!outcome.cancelled) {
            // Only the address goes back: the receiver compares it with its own source.
            const FrameSource* of = source.get();
            QMetaObject::invokeMethod(
                m_receiver, [done, of, outcome] { done(of, outcome); }, Qt::QueuedConnection);
        }
        m_running = false;
    });
    return true;
}

void CSampleRangeTask::Cancel() {
    m_cancel = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_running = false;
}
