// The range pass of one document on a worker thread. The viewer shows the first
// frame at once and lets the sliders take the range of all samples when this pass
// brings it; input is never held up by it. The result comes back on the receiver's
// thread through a queued call; a task that goes (the document closes) cancels its
// pass and joins the thread first, so no result arrives for a document that is gone.
#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <thread>

#include "dicom/SampleRangePass.h"

class CSampleRangeTask {
public:
    using Done = std::function<void(const SampleRangeRequest&, const SampleRangeOutcome&)>;

    // `receiver` is the object on whose thread `done` runs.
    explicit CSampleRangeTask(QObject* receiver) : m_receiver(receiver) {}
    ~CSampleRangeTask() { Cancel(); }
    CSampleRangeTask(const CSampleRangeTask&) = delete;
    CSampleRangeTask& operator=(const CSampleRangeTask&) = delete;

    bool Running() const { return m_running.load(); }
    // Starts a pass over `request`, unless one is running; false then.
    bool Start(SampleRangeRequest request, Done done);
    // Stops a running pass and waits for its thread; its result is dropped.
    void Cancel();

private:
    QObject* m_receiver;
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_running{false};
};
