// A series' images into stacks: grouped by size, pixel kind and orientation, each
// group's frames in slice order.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "document/StudyTree.h"

namespace {

using Orientation = std::array<double, 6>;

double Dot(const Vector3& a, const Vector3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Vector3 Cross(const Vector3& a, const Vector3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// The row and column directions made unit length; nothing when either is no direction.
std::optional<Orientation> Normalised(const std::optional<Orientation>& o) {
    if (!o) {
        return std::nullopt;
    }
    Orientation n = *o;
    for (int half = 0; half < 2; ++half) {
        double* v = n.data() + 3 * half;
        const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (!(length > 1e-6) || !std::isfinite(length)) {
            return std::nullopt;
        }
        for (int i = 0; i < 3; ++i) {
            v[i] /= length;
        }
    }
    return n;
}

// Within about 0.8 degrees, row and column alike: what one acquisition writes with
// rounding differences, never two planes of a localiser.
bool SameOrientation(const std::optional<Orientation>& a, const std::optional<Orientation>& b) {
    if (a.has_value() != b.has_value()) {
        return false;
    }
    if (!a) {
        return true;
    }
    const Vector3 ra{(*a)[0], (*a)[1], (*a)[2]};
    const Vector3 ca{(*a)[3], (*a)[4], (*a)[5]};
    const Vector3 rb{(*b)[0], (*b)[1], (*b)[2]};
    const Vector3 cb{(*b)[3], (*b)[4], (*b)[5]};
    return Dot(ra, rb) >= 0.9999 && Dot(ca, cb) >= 0.9999;
}

enum class Colour { Grey, Palette, Colour };

struct PixelKind {
    Colour colour;
    std::uint16_t samples;
    std::uint16_t bitsAllocated;
    friend bool operator==(const PixelKind&, const PixelKind&) = default;
};

PixelKind KindOf(const InstanceLevel& i) {
    Colour colour = Colour::Colour;
    if (i.photometric == "MONOCHROME1" || i.photometric == "MONOCHROME2" ||
        (i.photometric.empty() && i.samplesPerPixel <= 1)) {
        colour = Colour::Grey;
    } else if (i.photometric == "PALETTE COLOR") {
        colour = Colour::Palette;
    }
    return {colour, i.samplesPerPixel, i.bitsAllocated};
}

std::string KindText(const PixelKind& kind) {
    const char* colour = kind.colour == Colour::Grey ? "grey" : kind.colour == Colour::Palette ? "palette colour" : "colour";
    return std::string(colour) + ", " + std::to_string(kind.bitsAllocated) + " bits";
}

std::string OrientationText(const std::optional<Orientation>& o) {
    if (!o) {
        return "none";
    }
    char text[128];
    std::snprintf(text, sizeof text, "%g\\%g\\%g\\%g\\%g\\%g", (*o)[0], (*o)[1], (*o)[2], (*o)[3], (*o)[4], (*o)[5]);
    return text;
}

// What the images of one stack share.
struct Signature {
    std::uint16_t rows;
    std::uint16_t columns;
    PixelKind kind;
    std::optional<Orientation> orientation;

    bool Matches(const Signature& other) const {
        return rows == other.rows && columns == other.columns && kind == other.kind &&
               SameOrientation(orientation, other.orientation);
    }
};

Reason SplitReason(const Signature& stack, const Signature& main) {
    if (stack.rows != main.rows || stack.columns != main.columns) {
        return Reason(StackSplit::OtherSize).Numbers(stack.columns, stack.rows, main.columns, main.rows);
    }
    if (!(stack.kind == main.kind)) {
        return Reason(StackSplit::OtherPixelKind).About(KindText(stack.kind) + " / " + KindText(main.kind));
    }
    return Reason(StackSplit::OtherOrientation)
        .About(OrientationText(stack.orientation) + " / " + OrientationText(main.orientation));
}

struct Group {
    Signature signature;
    std::vector<std::uint32_t> instances;
    std::size_t frames = 0;
};

// A frame count is only what the file claims: the slices made of one instance are
// bounded by what its pixel data can hold (a compressed frame takes at least an
// 8-byte item header) and by this.
constexpr std::size_t kMostFramesPerInstance = std::size_t{1} << 16;

bool Uncompressed(const std::string& syntax) {
    return syntax.empty() || syntax == "1.2.840.10008.1.2" || syntax == "1.2.840.10008.1.2.1" ||
           syntax == "1.2.840.10008.1.2.2";
}

std::size_t FramesOf(const InstanceLevel& i) {
    std::uint64_t frameBytes = 8;
    if (Uncompressed(i.transferSyntaxUid)) {
        frameBytes = std::max<std::uint64_t>(
            1, std::uint64_t{i.rows} * i.columns * std::max<std::uint16_t>(i.samplesPerPixel, 1) * i.bitsAllocated / 8);
    }
    const std::uint64_t fit = std::max<std::uint64_t>(1, i.pixelBytesAtMost / frameBytes);
    const std::uint64_t claimed = static_cast<std::uint64_t>(std::max(i.frames, 1));
    return static_cast<std::size_t>(std::min({claimed, fit, std::uint64_t{kMostFramesPerInstance}}));
}

void OrderSlices(Stack& stack, const std::vector<IndexedInstance>& instances, const std::optional<Orientation>& o) {
    const auto key = [&](const Slice& s) -> const IndexedInstance& { return instances[s.instance]; };
    std::optional<Vector3> normal;
    if (o) {
        normal = Cross({(*o)[0], (*o)[1], (*o)[2]}, {(*o)[3], (*o)[4], (*o)[5]});
        if (!(std::sqrt(Dot(*normal, *normal)) > 1e-6)) {
            normal.reset();  // row and column along one line
        }
    }
    bool located = normal.has_value();
    for (Slice& slice : stack.slices) {
        if (located && slice.position) {
            const double location = Dot(*slice.position, *normal);
            if (std::isfinite(location)) {
                slice.location = location;
                continue;
            }
        }
        located = false;
    }
    const auto byNumberThenName = [&](const Slice& a, const Slice& b) {
        const IndexedInstance& ia = key(a);
        const IndexedInstance& ib = key(b);
        // Slices without an instance number follow those with one.
        const auto number = [](const IndexedInstance& i) {
            return i.fields.instanceNumber ? std::pair<int, std::int64_t>(0, *i.fields.instanceNumber)
                                           : std::pair<int, std::int64_t>(1, 0);
        };
        if (number(ia) != number(ib)) {
            return number(ia) < number(ib);
        }
        if (ia.path != ib.path) {
            return ia.path < ib.path;
        }
        if (a.instance != b.instance) {
            return a.instance < b.instance;
        }
        return a.frame < b.frame;
    };
    if (located) {
        stack.order = SliceOrder::Position;
        std::stable_sort(stack.slices.begin(), stack.slices.end(), [&](const Slice& a, const Slice& b) {
            if (*a.location != *b.location) {
                return *a.location < *b.location;
            }
            return byNumberThenName(a, b);
        });
    } else {
        for (Slice& slice : stack.slices) {
            slice.location.reset();
        }
        const bool numbered = std::any_of(stack.slices.begin(), stack.slices.end(),
                                          [&](const Slice& s) { return key(s).fields.instanceNumber.has_value(); });
        stack.order = numbered ? SliceOrder::InstanceNumber : SliceOrder::FileName;
        std::stable_sort(stack.slices.begin(), stack.slices.end(), byNumberThenName);
    }
}

void MeasureSpacing(Stack& stack) {
    if (stack.order != SliceOrder::Position || stack.slices.size() < 2) {
        return;
    }
    std::vector<double> gaps;
    gaps.reserve(stack.slices.size() - 1);
    for (std::size_t i = 1; i < stack.slices.size(); ++i) {
        gaps.push_back(*stack.slices[i].location - *stack.slices[i - 1].location);
    }
    std::vector<double> sorted = gaps;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    if (!std::isfinite(median)) {
        return;
    }
    stack.spacing = median;
    const double tolerance = std::max(0.001, 0.01 * std::abs(median));
    stack.evenSpacing = median > 0 && std::all_of(gaps.begin(), gaps.end(), [&](double gap) {
                            return std::isfinite(gap) && std::abs(gap - median) <= tolerance;
                        });
}

}  // namespace

std::string ReasonText(StackSplit code, const Reason& reason) {
    switch (code) {
    case StackSplit::OtherSize:
        return "another size: " + std::to_string(reason.Number(0)) + " x " + std::to_string(reason.Number(1)) +
               ", the series is " + std::to_string(reason.Number(2)) + " x " + std::to_string(reason.Number(3));
    case StackSplit::OtherPixelKind: return "another pixel kind (this stack / the series): " + reason.Subject();
    case StackSplit::OtherOrientation: break;
    }
    return "another orientation (this stack / the series): " + reason.Subject();
}

const char* SplitName(StackSplit code) {
    switch (code) {
    case StackSplit::OtherSize: return "size";
    case StackSplit::OtherPixelKind: return "pixel_kind";
    case StackSplit::OtherOrientation: break;
    }
    return "orientation";
}

void BuildStacks(Series& series) {
    series.stacks.clear();
    std::vector<Group> groups;
    for (std::uint32_t i = 0; i < series.instances.size(); ++i) {
        const IndexedInstance& instance = series.instances[i];
        if (instance.state != IndexedInstance::State::Image) {
            continue;
        }
        const InstanceLevel& f = instance.fields;
        const Signature signature{f.rows, f.columns, KindOf(f), Normalised(f.orientation)};
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const Group& g) { return g.signature.Matches(signature); });
        if (group == groups.end()) {
            groups.push_back({signature, {}, 0});
            group = groups.end() - 1;
        }
        group->instances.push_back(i);
        group->frames += FramesOf(f);
    }
    if (groups.empty()) {
        return;
    }
    // The main stack has the most slices; among equals, the one met first.
    std::stable_sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) { return a.frames > b.frames; });
    for (const Group& group : groups) {
        Stack stack;
        stack.rows = group.signature.rows;
        stack.columns = group.signature.columns;
        if (&group != &groups.front()) {
            stack.split = SplitReason(group.signature, groups.front().signature);
        }
        stack.slices.reserve(group.frames);
        for (std::uint32_t i : group.instances) {
            const InstanceLevel& f = series.instances[i].fields;
            const std::size_t frames = FramesOf(f);
            for (std::size_t frame = 0; frame < frames; ++frame) {
                Slice slice;
                slice.instance = i;
                slice.frame = static_cast<std::int32_t>(frame);
                if (!f.framePositions.empty()) {
                    if (frame < f.framePositions.size()) {
                        slice.position = f.framePositions[frame];
                    }
                } else if (frames == 1) {
                    slice.position = f.position;
                }
                stack.slices.push_back(slice);
            }
        }
        OrderSlices(stack, series.instances, group.signature.orientation);
        MeasureSpacing(stack);
        series.stacks.push_back(std::move(stack));
    }
}
