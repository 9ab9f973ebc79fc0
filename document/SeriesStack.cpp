#include "document/SeriesStack.h"

#include <algorithm>
#include <unordered_map>

#include "dicom/DicomFile.h"

namespace {

bool IsColour(const InstanceLevel& fields) {
    return fields.samplesPerPixel == 3 || fields.photometric == "PALETTE COLOR";
}

}  // namespace

SeriesStack::SeriesStack(const Series& series, std::size_t stack, std::size_t openFiles)
    : m_stack(stack), m_openFiles(std::max<std::size_t>(openFiles, 1)) {
    if (series.level) m_level = *series.level;
    if (stack >= series.stacks.size()) return;
    const Stack& from = series.stacks[stack];
    m_rows = from.rows;
    m_columns = from.columns;
    std::unordered_map<std::uint32_t, std::uint32_t> fileOf;  // instance -> m_paths
    m_slices.reserve(from.slices.size());
    for (const Slice& slice : from.slices) {
        if (slice.instance >= series.instances.size()) continue;
        auto [at, added] = fileOf.try_emplace(slice.instance, static_cast<std::uint32_t>(m_paths.size()));
        if (added) {
            const IndexedInstance& instance = series.instances[slice.instance];
            m_paths.push_back(instance.path);
            if (IsColour(instance.fields)) m_colour = true;
        }
        m_slices.push_back({at->second, slice.frame, slice.location});
    }
}

std::int32_t SeriesStack::Count() const {
    return std::max<std::int32_t>(1, static_cast<std::int32_t>(m_slices.size()));
}

const std::string& SeriesStack::PathOf(std::int32_t index) const {
    static const std::string kNone;
    if (index < 0 || static_cast<std::size_t>(index) >= m_slices.size()) return kNone;
    return m_paths[m_slices[index].file];
}

std::optional<double> SeriesStack::Location(std::int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_slices.size()) return std::nullopt;
    return m_slices[index].location;
}

std::size_t SeriesStack::OpenNow() const {
    std::lock_guard lock(m_mutex);
    return m_open.size();
}

Expected<std::shared_ptr<const FrameSource>> SeriesStack::Read(std::uint32_t file) const {
    const std::string& path = m_paths[file];
    CDicomFile reader;
    if (reader.LoadFile(path) != 0) return reader.LoadFailure();
    // The header up to the pixel data: the frames are read from where it lies.
    reader.ParseElements(reader.DetectLayout(), true);
    std::shared_ptr<const FrameSource> source = reader.Frames();
    if (!source) return Reason(StackProblem::NoFrames).About(path);
    const ImageAttributes& attributes = source->Attributes();
    if (attributes.rows != m_rows || attributes.columns != m_columns) {
        // Written again since the index read it: its slices would not fit the others.
        return Reason(StackProblem::ChangedSinceIndex)
            .About(path)
            .Numbers(attributes.columns, attributes.rows, m_columns, m_rows);
    }
    return source;
}

Expected<StackFrame> SeriesStack::Open(std::int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_slices.size()) {
        return Reason(StackProblem::FrameOutside).Numbers(index, static_cast<std::int64_t>(m_slices.size()));
    }
    const SliceRef& slice = m_slices[index];
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_open.begin(); it != m_open.end(); ++it) {
            if (it->file == slice.file) {
                m_open.splice(m_open.begin(), m_open, it);
                return StackFrame{it->source, slice.frame, m_paths[slice.file]};
            }
        }
    }
    // Read without the lock: another thread may read another file meanwhile (or the
    // same one, in which case the first kept wins and the other copy goes).
    Expected<std::shared_ptr<const FrameSource>> read = Read(slice.file);
    if (!read) return read.Why();
    std::shared_ptr<const FrameSource> source = std::move(read).Take();
    std::lock_guard lock(m_mutex);
    const bool known =
        std::any_of(m_open.begin(), m_open.end(), [&](const OpenFile& open) { return open.file == slice.file; });
    if (!known) {
        m_open.push_front({slice.file, source});
        if (m_open.size() > m_openFiles) m_open.pop_back();
    }
    return StackFrame{std::move(source), slice.frame, m_paths[slice.file]};
}

Expected<std::shared_ptr<const FrameSource>> SeriesStack::OpenFileForPass(std::int32_t file) const {
    if (file < 0 || static_cast<std::size_t>(file) >= m_paths.size()) {
        return Reason(StackProblem::FrameOutside).Numbers(file, static_cast<std::int64_t>(m_paths.size()));
    }
    return Read(static_cast<std::uint32_t>(file));
}

std::string SeriesTitle(const SeriesLevel& level) {
    std::string title = level.modality;
    const auto add = [&title](const std::string& part) {
        if (part.empty()) return;
        if (!title.empty()) title += ' ';
        title += part;
    };
    if (level.seriesNumber) add(std::to_string(*level.seriesNumber));
    add(level.seriesDescription);
    if (title.empty()) title = level.seriesUid.empty() ? "Series" : level.seriesUid;
    return title;
}
