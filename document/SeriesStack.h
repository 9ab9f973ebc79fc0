// One stack of a series, as the viewer steps through it: its slices in slice order,
// each a frame of one of the series' files. The files are opened when a slice of
// theirs is asked for and kept open a few at a time (the ones asked for last), so a
// stack of 2,000 files holds a few file descriptors and headers, never 2,000.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "document/FrameStack.h"
#include "document/StudyTree.h"

class SeriesStack final : public FrameStack {
public:
    // Files kept open at once.
    static constexpr std::size_t kOpenFiles = 24;

    // Stack `stack` of `series` (the main stack is 0); a stack that does not exist
    // gives an empty one.
    SeriesStack(const Series& series, std::size_t stack, std::size_t openFiles = kOpenFiles);

    std::int32_t Count() const override;
    Expected<StackFrame> Open(std::int32_t index) const override;
    std::int32_t FileCount() const override { return static_cast<std::int32_t>(m_paths.size()); }
    Expected<std::shared_ptr<const FrameSource>> OpenFileForPass(std::int32_t file) const override;
    std::optional<double> Location(std::int32_t index) const override;

    bool Empty() const { return m_slices.empty(); }
    const SeriesLevel& Level() const { return m_level; }
    std::size_t StackIndex() const { return m_stack; }
    std::uint16_t Rows() const { return m_rows; }
    std::uint16_t Columns() const { return m_columns; }
    // The path of the file slice `index` comes from.
    const std::string& PathOf(std::int32_t index) const;
    // Whether the kind of its pixels makes colour pictures (RGB, YBR, palette colour).
    bool Colour() const { return m_colour; }
    // Files open now.
    std::size_t OpenNow() const;

private:
    struct OpenFile {
        std::uint32_t file = 0;
        std::shared_ptr<const FrameSource> source;
    };
    struct SliceRef {
        std::uint32_t file = 0;  // into m_paths
        std::int32_t frame = 0;
        std::optional<double> location;
    };

    Expected<std::shared_ptr<const FrameSource>> Read(std::uint32_t file) const;

    SeriesLevel m_level;
    std::size_t m_stack = 0;
    std::uint16_t m_rows = 0;
    std::uint16_t m_columns = 0;
    bool m_colour = false;
    std::vector<SliceRef> m_slices;
    std::vector<std::string> m_paths;  // the files the slices come from, each once
    std::size_t m_openFiles;

    mutable std::mutex m_mutex;
    mutable std::list<OpenFile> m_open;  // most recently used first
};

// A short name of a series for titles and lists: "CT 3 Axial S3" (modality, number,
// description, whichever the series gives), or its UID when it gives none of them.
std::string SeriesTitle(const SeriesLevel& level);
