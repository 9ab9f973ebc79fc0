// Slices into stacks: the order by position along the normal, by instance number and
// by file name; multi-frame instances; what is split off a series and why; spacing.
#include <gtest/gtest.h>

#include "document/StudyTree.h"

namespace {

IndexedInstance Image(const std::string& path, std::optional<double> z, std::optional<std::int32_t> number = {}) {
    IndexedInstance i;
    i.path = path;
    i.level = std::make_shared<const SeriesLevel>();
    i.fields.rows = 16;
    i.fields.columns = 16;
    i.fields.samplesPerPixel = 1;
    i.fields.bitsAllocated = 16;
    i.fields.photometric = "MONOCHROME2";
    i.fields.hasPixelData = true;
    i.fields.pixelBytesAtMost = 16 * 16 * 2;
    i.fields.instanceNumber = number;
    if (z) {
        i.fields.position = Vector3{-10, -10, *z};
        i.fields.orientation = std::array<double, 6>{1, 0, 0, 0, 1, 0};
    }
    return i;
}

Series SeriesOf(std::vector<IndexedInstance> instances) {
    Series series;
    series.instances = std::move(instances);
    BuildStacks(series);
    return series;
}

// The paths of a stack's slices, with ":frame" for frames past the first.
std::string Order(const Series& series, std::size_t stack = 0) {
    std::string order;
    for (const Slice& slice : series.stacks.at(stack).slices) {
        order += (order.empty() ? "" : " ") + series.instances[slice.instance].path;
        if (slice.frame != 0) {
            order += ":" + std::to_string(slice.frame);
        }
    }
    return order;
}

TEST(SliceOrder, ByPositionAlongTheNormalWhateverTheNumbersAndNames) {
    // Numbers and names run against the positions; positions win.
    const Series s = SeriesOf({Image("a", 30, 1), Image("b", -5, 2), Image("c", 10, 3), Image("d", 20, 4)});
    ASSERT_EQ(s.stacks.size(), 1u);
    EXPECT_EQ(s.stacks[0].order, SliceOrder::Position);
    EXPECT_EQ(Order(s), "b c d a");
    EXPECT_DOUBLE_EQ(*s.stacks[0].slices[0].location, -5);

    // A sagittal stack: row along y, column down z, so the normal points to -x.
    std::vector<IndexedInstance> sagittal;
    for (const auto& [name, x] : {std::pair{"p", 3.0}, {"q", 1.0}, {"r", 2.0}}) {
        IndexedInstance i = Image(name, 0);
        i.fields.position = Vector3{x, 50 - x, 7};
        i.fields.orientation = std::array<double, 6>{0, 1, 0, 0, 0, -1};
        sagittal.push_back(i);
    }
    EXPECT_EQ(Order(SeriesOf(sagittal)), "p r q");
}

TEST(SliceOrder, WithoutPositionsByInstanceNumberThenFileName) {
    const Series numbered = SeriesOf({Image("x", {}, 3), Image("y", {}, 1), Image("z", {}, 2), Image("w", {}, {})});
    EXPECT_EQ(numbered.stacks[0].order, SliceOrder::InstanceNumber);
    EXPECT_EQ(Order(numbered), "y z x w");  // unnumbered last
    EXPECT_FALSE(numbered.stacks[0].spacing);

    const Series named = SeriesOf({Image("IM3", {}), Image("IM1", {}), Image("IM2", {})});
    EXPECT_EQ(named.stacks[0].order, SliceOrder::FileName);
    EXPECT_EQ(Order(named), "IM1 IM2 IM3");

    // One slice without a position: the stack cannot be ordered in space.
    std::vector<IndexedInstance> mixed = {Image("a", 3, 2), Image("b", 1, 3), Image("c", 2, 1)};
    mixed[1].fields.position.reset();
    const Series partly = SeriesOf(mixed);
    EXPECT_EQ(partly.stacks[0].order, SliceOrder::InstanceNumber);
    EXPECT_EQ(Order(partly), "c a b");
}

TEST(SliceOrder, TiesFallToNumberThenName) {
    const Series s = SeriesOf({Image("b", 5, 2), Image("a", 5, 2), Image("c", 5, 1), Image("d", 1, 9)});
    EXPECT_EQ(Order(s), "d c a b");
    EXPECT_FALSE(s.stacks[0].evenSpacing);  // two slices in one place
}

TEST(SliceOrder, MultiFrameInstancesContributeEachFrame) {
    IndexedInstance cine = Image("cine", {}, 2);
    cine.fields.frames = 3;
    cine.fields.pixelBytesAtMost = 3 * 16 * 16 * 2;
    const Series s = SeriesOf({cine, Image("single", {}, 1)});
    EXPECT_EQ(Order(s), "single cine cine:1 cine:2");
    EXPECT_EQ(s.Frames(), 4u);

    // Enhanced multi-frame: each frame's own position orders it.
    IndexedInstance enhanced = Image("mf", 0);
    enhanced.fields.frames = 3;
    enhanced.fields.pixelBytesAtMost = 3 * 16 * 16 * 2;
    enhanced.fields.framePositions = {Vector3{0, 0, 4}, Vector3{0, 0, 0}, Vector3{0, 0, 2}};
    const Series e = SeriesOf({enhanced, Image("between", 1)});
    EXPECT_EQ(Order(e), "mf:1 between mf:2 mf");

    // A frame count that the pixel data cannot hold gives the frames it can.
    IndexedInstance claims = Image("claims", {});
    claims.fields.frames = 2000000000;
    EXPECT_EQ(SeriesOf({claims}).Frames(), 1u);
}

TEST(SeriesStacks, OtherSizeKindAndOrientationSplitOffWithTheirReason) {
    std::vector<IndexedInstance> instances;
    for (int i = 0; i < 4; ++i) {
        instances.push_back(Image("main" + std::to_string(i), i));
    }
    IndexedInstance small = Image("small", 9);
    small.fields.rows = 8;
    small.fields.columns = 12;
    IndexedInstance colour = Image("colour", 10);
    colour.fields.samplesPerPixel = 3;
    colour.fields.bitsAllocated = 8;
    colour.fields.photometric = "RGB";
    IndexedInstance tilted = Image("tilted", 11);
    tilted.fields.orientation = std::array<double, 6>{1, 0, 0, 0, 0, -1};
    IndexedInstance report = Image("report", {});
    report.state = IndexedInstance::State::NoImage;
    instances.insert(instances.begin(), {small, colour, tilted, report});

    const Series s = SeriesOf(instances);
    ASSERT_EQ(s.stacks.size(), 4u);
    EXPECT_EQ(Order(s, 0), "main0 main1 main2 main3");
    EXPECT_FALSE(s.stacks[0].split);
    EXPECT_TRUE(s.stacks[1].split.Is(StackSplit::OtherSize));
    EXPECT_EQ(s.stacks[1].split.Text(), "another size: 12 x 8, the series is 16 x 16");
    EXPECT_TRUE(s.stacks[2].split.Is(StackSplit::OtherPixelKind));
    EXPECT_EQ(s.stacks[2].split.Subject(), "colour, 8 bits / grey, 16 bits");
    EXPECT_TRUE(s.stacks[3].split.Is(StackSplit::OtherOrientation));
    EXPECT_EQ(s.Count(IndexedInstance::State::NoImage), 1u);

    // Orientations that differ by rounding stay together; MONOCHROME1 and 2 too.
    std::vector<IndexedInstance> close = {Image("a", 0), Image("b", 1)};
    close[1].fields.orientation = std::array<double, 6>{0.999999, 0.001, 0, 0, 1, 0};
    close[1].fields.photometric = "MONOCHROME1";
    EXPECT_EQ(SeriesOf(close).stacks.size(), 1u);
}

TEST(SeriesStacks, SpacingIsTheMedianGapAndEvenWithinOnePercent) {
    EXPECT_DOUBLE_EQ(*SeriesOf({Image("a", 0), Image("b", 2.5), Image("c", 5)}).stacks[0].spacing, 2.5);
    EXPECT_TRUE(SeriesOf({Image("a", 0), Image("b", 2.5), Image("c", 5.02)}).stacks[0].evenSpacing);
    // One slice missing: the gap doubles there.
    const Series gap = SeriesOf({Image("a", 0), Image("b", 2.5), Image("c", 7.5), Image("d", 10)});
    EXPECT_DOUBLE_EQ(*gap.stacks[0].spacing, 2.5);
    EXPECT_FALSE(gap.stacks[0].evenSpacing);
    EXPECT_FALSE(SeriesOf({Image("a", 0)}).stacks[0].spacing);
}

TEST(SeriesStacks, DegenerateGeometryFallsBackToNumbers) {
    std::vector<IndexedInstance> flat = {Image("a", 2, 2), Image("b", 1, 1)};
    for (IndexedInstance& i : flat) {
        i.fields.orientation = std::array<double, 6>{1, 0, 0, 1, 0, 0};  // row and column alike
    }
    EXPECT_EQ(SeriesOf(flat).stacks[0].order, SliceOrder::InstanceNumber);
    std::vector<IndexedInstance> huge = {Image("a", 1e308, 2), Image("b", -1e308, 1)};
    huge[0].fields.orientation = std::array<double, 6>{1e308, 1e308, 0, 0, 1, 0};
    EXPECT_EQ(SeriesOf(huge).stacks.size(), 2u);  // orientations differ; neither crashes
}

}  // namespace
