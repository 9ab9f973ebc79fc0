// The range of the modality values of every frame of a stack: of one file, as the
// range pass gives it, or of every file of a series, so that the window sliders of a
// series cover all its slices. Run on a worker thread; a file of a series that
// cannot be read adds nothing, and only a stack none of whose files can be read
// gives no range.
#pragma once

#include <atomic>

#include "dicom/ModalityRange.h"
#include "document/FrameStack.h"

// With `deadline`, compressed frames are decoded until it passes: the range is then
// that of the frames read (RangeOutcome::stoppedEarly).
RangeOutcome ScanStackRange(const FrameStack& stack, const std::atomic<bool>* cancel = nullptr,
                            RangeDeadline* deadline = nullptr);
