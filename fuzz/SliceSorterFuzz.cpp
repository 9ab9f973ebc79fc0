// Builds a series from arbitrary bytes, a few bytes per instance (size, pixel kind,
// orientation, position, instance number, frames), and sorts it into stacks. Every
// frame of every image must land in exactly one stack, each stack in order by its
// key, and nothing may hang or crash whatever the numbers (zero, huge, equal).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>

#include "document/StudyTree.h"

namespace {

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_at >= m_size; }
    std::uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::int16_t Short() { return static_cast<std::int16_t>(Byte() | Byte() << 8); }
    // A coordinate: small steps, with now and then an extreme value.
    double Coordinate() {
        const std::uint8_t kind = Byte();
        if (kind == 0xFF) {
            return 1e308;
        }
        if (kind == 0xFE) {
            return -1e308;
        }
        return Short() / 8.0;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes bytes(data, size);
    Series series;
    const auto level = std::make_shared<const SeriesLevel>();
    series.level = level;
    while (!bytes.Empty() && series.instances.size() < 512) {
        IndexedInstance i;
        i.path = "f" + std::to_string(bytes.Byte() % 16);
        i.level = level;
        const std::uint8_t flags = bytes.Byte();
        i.state = (flags & 3) == 3 ? IndexedInstance::State::NoImage : IndexedInstance::State::Image;
        i.fields.rows = static_cast<std::uint16_t>(1 + (flags >> 2 & 1));
        i.fields.columns = 2;
        i.fields.samplesPerPixel = flags & 8 ? 3 : 1;
        i.fields.bitsAllocated = flags & 16 ? 8 : 16;
        i.fields.photometric = flags & 8 ? "RGB" : "MONOCHROME2";
        i.fields.hasPixelData = true;
        if (flags & 32) {
            i.fields.position = Vector3{bytes.Coordinate(), bytes.Coordinate(), bytes.Coordinate()};
        }
        if (flags & 64) {
            std::array<double, 6> o{};
            for (double& v : o) {
                v = bytes.Coordinate();
            }
            i.fields.orientation = o;
        }
        if (flags & 128) {
            i.fields.instanceNumber = bytes.Short();
        }
        i.fields.frames = bytes.Byte() % 5;
        i.fields.pixelBytesAtMost = bytes.Byte() * std::uint64_t{16};
        if (i.fields.frames > 1 && bytes.Byte() % 2 == 0) {
            for (std::int32_t f = 0; f < i.fields.frames; ++f) {
                i.fields.framePositions.push_back(Vector3{0, 0, bytes.Coordinate()});
            }
        }
        series.instances.push_back(std::move(i));
    }
    BuildStacks(series);
    std::set<std::pair<std::uint32_t, std::int32_t>> seen;
    for (const Stack& stack : series.stacks) {
        for (std::size_t k = 0; k < stack.slices.size(); ++k) {
            const Slice& slice = stack.slices[k];
            if (slice.instance >= series.instances.size() ||
                series.instances[slice.instance].state != IndexedInstance::State::Image ||
                !seen.insert({slice.instance, slice.frame}).second) {
                std::abort();
            }
            if (stack.order == SliceOrder::Position && k > 0 &&
                !(*stack.slices[k - 1].location <= *slice.location)) {
                std::abort();
            }
        }
    }
    for (std::uint32_t i = 0; i < series.instances.size(); ++i) {
        if (series.instances[i].state == IndexedInstance::State::Image && !seen.count({i, 0})) {
            std::abort();  // every image gives its first frame at least
        }
    }
    return 0;
}
