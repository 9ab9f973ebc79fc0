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

#include "dicom/FrameSource.h"
#include "dicom/ModalityRange.h"

class CSampleRangeTask {
public:
    // Given the source the pass read, so that a result for a source the document no
    // longer shows can be told apart.
    using Done = std::function<void(const FrameSource*, const RangeOutcome&)>;

    // `receiver` is the object on whose thread `done` runs.
    explicit CSampleRangeTask(QObject* receiver) : m_receiver(receiver) {}
    ~CSampleRangeTask() { Cancel(); }
    CSampleRangeTask(const CSampleRangeTask&) = delete;
    CSampleRangeTask& operator=(const CSampleRangeTask&) = delete;

    bool Running() const { return m_running.load(); }
    // Starts a pass over every frame of `source`, unless one is running; false then.
    // The pass shares the source with the document, so either may go first.
    bool Start(std::shared_ptr<const FrameSource> source, Done done);
    // Stops a running pass and waits for its thread; its result is dropped.
    void Cancel();

private:
    QObject* m_receiver;
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_running{false};
};
