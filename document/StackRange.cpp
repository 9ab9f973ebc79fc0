#include "document/StackRange.h"

RangeOutcome ScanStackRange(const FrameStack& stack, const std::atomic<bool>* cancel, RangeDeadline* deadline) {
    RangeOutcome total;
    bool anyRead = false;
    for (std::int32_t file = 0; file < stack.FileCount(); ++file) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            total.cancelled = true;
            return total;
        }
        Expected<std::shared_ptr<const FrameSource>> source = stack.OpenFileForPass(file);
        if (!source) {
            if (!total.failure) total.failure = source.Why();
            continue;
        }
        const RangeOutcome one = ScanModalityRange(**source, cancel, deadline);
        if (one.cancelled) {
            total.cancelled = true;
            return total;
        }
        if (one.failure) {
            if (!total.failure) total.failure = one.failure;
            continue;
        }
        anyRead = true;
        total.range.Widen(one.range);
        total.framesRead += one.framesRead;
        if (one.stoppedEarly) {
            total.stoppedEarly = true;
            break;
        }
    }
    total.frames = stack.Count();
    if (anyRead) total.failure = Reason();
    return total;
}
