#include "views/DocumentOpenTask.h"

#include <QMetaObject>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "views/UnwaitedThreads.h"

namespace {

struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool held = false;
};

Gate& WorkerGate() {
    static Gate gate;
    return gate;
}

}  // namespace

struct CDocumentOpenTask::Job {
    std::shared_ptr<std::atomic<bool>> finished = std::make_shared<std::atomic<bool>>(false);
    std::mutex mutex;             // guards `receiver`
    QObject* receiver = nullptr;  // null once the open is cancelled
};

void CDocumentOpenTask::HoldWorkers(bool hold) {
    Gate& gate = WorkerGate();
    {
        std::lock_guard lock(gate.mutex);
        gate.held = hold;
    }
    gate.opened.notify_all();
}

bool CDocumentOpenTask::Running() const { return m_job != nullptr && !m_job->finished->load(); }

bool CDocumentOpenTask::Start(const std::string& path, Done done) {
    Cancel();
    auto job = std::make_shared<Job>();
    job->receiver = m_receiver;
    std::thread thread;
    try {
        thread = std::thread([job, path, done = std::move(done)] {
            {
                Gate& gate = WorkerGate();
                std::unique_lock lock(gate.mutex);
                gate.opened.wait(lock, [&gate] { return !gate.held; });
            }
            bool wanted = true;
            {
                std::lock_guard lock(job->mutex);
                wanted = job->receiver != nullptr;
            }
            if (wanted) {
                CDorvanelleDoc::PreparedOpen prepared = CDorvanelleDoc::PrepareOpen(path);
                std::lock_guard lock(job->mutex);
                if (job->receiver != nullptr) {
                    QMetaObject::invokeMethod(
                        job->receiver, [done, prepared = std::move(prepared)] { done(prepared); },
                        Qt::QueuedConnection);
                }
            }
            *job->finished = true;
        });
    } catch (const std::system_error&) {
        return false;
    }
    UnwaitedThreads::Instance().Keep(std::move(thread), job->finished);
    m_job = std::move(job);
    return true;
}

void CDocumentOpenTask::Cancel() {
    if (!m_job) return;
    {
        std::lock_guard lock(m_job->mutex);
        m_job->receiver = nullptr;
    }
    m_job.reset();
}
