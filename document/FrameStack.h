// The frames a document steps through, each one frame of a DICOM file: the frames
// of one file, or the slices of a series, one file (or one frame of a multi-frame
// file) each. The frame loader reads and draws them by this interface alone.
//
// Opening a frame's file reads its header from the disk: a stack is asked from the
// loader's workers and the range pass, never from the thread that paints. Every call
// is thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "dicom/FrameSource.h"
#include "io/Expected.h"

// Frame `frame` of the file at `path`, and the source that reads it.
struct StackFrame {
    std::shared_ptr<const FrameSource> source;
    std::int32_t frame = 0;
    std::string path;
};

class FrameStack {
public:
    virtual ~FrameStack() = default;

    // Frames of the stack, at least 1.
    virtual std::int32_t Count() const = 0;
    // The file of frame `index` (0 .. Count() - 1), opened or kept open: why not
    // when it cannot be read.
    virtual Expected<StackFrame> Open(std::int32_t index) const = 0;

    // The distinct files of the stack, for passes over all of them (the range of all
    // values): opened for the pass alone, so that it does not push out the files the
    // viewer is showing from.
    virtual std::int32_t FileCount() const = 0;
    virtual Expected<std::shared_ptr<const FrameSource>> OpenFileForPass(std::int32_t file) const = 0;

    // Where frame `index` lies along the stack's normal, in mm, when the stack is
    // ordered by position.
    virtual std::optional<double> Location(std::int32_t /*index*/) const { return std::nullopt; }
};

// The frames of one file that the document has open.
class SingleFileStack final : public FrameStack {
public:
    SingleFileStack(std::shared_ptr<const FrameSource> source, std::string path)
        : m_source(std::move(source)), m_path(std::move(path)) {}

    std::int32_t Count() const override { return m_source ? m_source->Attributes().FrameCount() : 1; }
    Expected<StackFrame> Open(std::int32_t index) const override;
    std::int32_t FileCount() const override { return 1; }
    Expected<std::shared_ptr<const FrameSource>> OpenFileForPass(std::int32_t file) const override;

private:
    std::shared_ptr<const FrameSource> m_source;
    std::string m_path;
};

// Why a frame of a stack cannot be opened.
enum class StackProblem {
    FrameOutside,       // First: the frame asked for; Second: the frames of the stack
    NoFrames,           // the file was read but holds no frame source
    ChangedSinceIndex,  // Subject: the file; First x Second: its columns and rows now,
                        // Third x Fourth: the stack's
};
std::string ReasonText(StackProblem code, const Reason& reason);
