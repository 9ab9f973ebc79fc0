// The range pass of one document on a worker thread: the range of every frame of its
// file, or of every slice of its series. The viewer shows the first frame at once and
// lets the sliders take the range when this pass brings it; input is never held up by
// it. Compressed frames, which may take seconds each to decode, are decoded for a
// few seconds at most: the range is then that of the frames read, and says so. The
// result comes back on the receiver's thread through a queued call. A task
// that goes (the document closes) cancels its pass without waiting for it: the pass
// ends after the frame it is reading, and its result is dropped.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

#include "dicom/ModalityRange.h"
#include "document/FrameStack.h"

class CSampleRangeTask {
public:
    // Given the stack the pass read, so that a result for a stack the document no
    // longer shows can be told apart.
    using Done = std::function<void(const FrameStack*, const RangeOutcome&)>;

    // `receiver` is the object on whose thread `done` runs.
    explicit CSampleRangeTask(QObject* receiver) : m_receiver(receiver) {}
    ~CSampleRangeTask() { Cancel(); }
    CSampleRangeTask(const CSampleRangeTask&) = delete;
    CSampleRangeTask& operator=(const CSampleRangeTask&) = delete;

    bool Running() const;
    // Starts a pass over every frame of `stack`, unless one is running; false then.
    // The pass shares the stack with the document, so either may go first.
    bool Start(std::shared_ptr<const FrameStack> stack, Done done);
    // Stops a running pass; its result is dropped. Returns at once.
    void Cancel();

    struct Pass;  // shared with the pass's thread

private:
    QObject* m_receiver;
    std::shared_ptr<Pass> m_pass;
};
