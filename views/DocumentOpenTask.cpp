#include "views/DocumentOpenTask.h"

#include <QMetaObject>

#include <atomic>
#include <chrono>
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
    std::atomic<bool> cancel{false};  // the result is wanted by no one
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
                while (gate.held && !job->cancel)
                    gate.opened.wait_for(lock, std::chrono::milliseconds(20));
            }
            if (!job->cancel) {
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
    UnwaitedThreads::Instance().Keep(std::move(thread), job->finished,
                                     std::shared_ptr<std::atomic<bool>>(job, &job->cancel));
    m_job = std::move(job);
    return true;
}

void CDocumentOpenTask::Cancel() {
    if (!m_job) return;
    m_job->cancel = true;
    {
        std::lock_guard lock(m_job->mutex);
        m_job->receiver = nullptr;
    }
    m_job.reset();
}
