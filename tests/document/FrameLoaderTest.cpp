// Series stacks and the background frame loader over a generated study: slices in
// order with their locations, files opened a few at a time, frames read ahead in the
// direction of travel, a cache that keeps to its budget, a new display drawn from the
// samples kept, and a loader that goes without waiting for a read.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "document/FrameLoader.h"
#include "document/SeriesStack.h"
#include "document/StackRange.h"
#include "document/StudyIndex.h"
#include "image/PackedDib.h"
#include "tests/codecs/CodecTestSupport.h"
#include "tests/support/TempFiles.h"
#include "tools/dicomstream/DicomStreamBuilder.h"
#include "tools/generator/PhantomStudy.h"
#include "tools/generator/SeriesStudy.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct GeneratedSeries {
    TempFolder folder;
    SeriesStudyOptions options;
    IndexResult index;

    explicit GeneratedSeries(std::uint32_t slices = 20, std::uint32_t series = 1) {
        options.rows = 32;
        options.columns = 32;
        options.series = series;
        options.slices = slices;
        const std::string problem = WriteSeriesStudy(folder.File("study"), options);
        EXPECT_EQ(problem, "");
        index = IndexStudies({folder.File("study")});
    }
    const Series& First() const { return index.tree.patients.at(0).studies.at(0).series.at(0); }
    std::shared_ptr<SeriesStack> Stack(std::size_t openFiles = SeriesStack::kOpenFiles) const {
        return std::make_shared<SeriesStack>(First(), 0, openFiles);
    }
};

// Frames handed over by a loader, waited for as the viewer's event loop would.
class Deliveries {
public:
    FrameLoader::Deliver Sink() {
        return [this](const LoadedFrame& frame) {
            std::lock_guard lock(m_mutex);
            m_frames.push_back(frame);
            m_arrived.notify_all();
        };
    }
    std::optional<LoadedFrame> Wait(std::size_t count = 1) {
        std::unique_lock lock(m_mutex);
        if (!m_arrived.wait_for(lock, 10s, [&] { return m_frames.size() >= count; })) return std::nullopt;
        return m_frames[count - 1];
    }
    std::size_t Count() {
        std::lock_guard lock(m_mutex);
        return m_frames.size();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<LoadedFrame> m_frames;
};

// Shows `index` and waits for it: from the cache, or from a worker.
LoadedFrame ShowAndWait(FrameLoader& loader, Deliveries& deliveries, std::int32_t index) {
    const std::size_t before = deliveries.Count();
    if (std::optional<LoadedFrame> hit = loader.Show(index)) return *hit;
    std::optional<LoadedFrame> frame = deliveries.Wait(before + 1);
    EXPECT_TRUE(frame.has_value()) << "frame " << index << " never came";
    return frame.value_or(LoadedFrame{});
}

// A stack whose reads wait until the test opens its gate.
class GatedStack final : public FrameStack {
public:
    explicit GatedStack(std::shared_ptr<const FrameStack> inner) : m_inner(std::move(inner)) {}
    std::int32_t Count() const override { return m_inner->Count(); }
    Expected<StackFrame> Open(std::int32_t index) const override {
        std::unique_lock lock(m_mutex);
        m_entered = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
        return m_inner->Open(index);
    }
    std::int32_t FileCount() const override { return m_inner->FileCount(); }
    std::string PathOf(std::int32_t index) const override { return m_inner->PathOf(index); }
    Expected<std::shared_ptr<const FrameSource>> OpenFileForPass(std::int32_t file) const override {
        return m_inner->OpenFileForPass(file);
    }
    bool WaitEntered() const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [this] { return m_entered; });
    }
    void OpenGate() const {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::shared_ptr<const FrameStack> m_inner;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    mutable bool m_entered = false;
    mutable bool m_open = false;
};

}  // namespace

TEST(SeriesStack, SlicesInOrderFromFilesKeptOpenAFewAtATime) {
    GeneratedSeries study(20);
    std::shared_ptr<SeriesStack> stack = study.Stack(3);
    ASSERT_EQ(stack->Count(), 20);
    EXPECT_EQ(stack->FileCount(), 20);
    EXPECT_EQ(SeriesTitle(stack->Level()), "CT 1 Axial S1");
    for (std::int32_t i = 0; i < stack->Count(); ++i) {
        ASSERT_TRUE(stack->Location(i));
        EXPECT_NEAR(*stack->Location(i), SeriesStudySpacing(0) * i, 1e-9);
        Expected<StackFrame> frame = stack->Open(i);
        ASSERT_TRUE(frame) << frame.Why();
        EXPECT_EQ(frame->path, stack->PathOf(i));
        EXPECT_LE(stack->OpenNow(), 3u);
    }
    EXPECT_FALSE(stack->Open(20));
    EXPECT_FALSE(stack->Open(-1));
}

TEST(SeriesStack, FilesThatChangedOrWentSinceTheIndexSayWhy) {
    GeneratedSeries study(4);
    std::shared_ptr<SeriesStack> stack = study.Stack();
    fs::remove(stack->PathOf(1));
    // Rewritten at another size: its slice would not fit the others.
    DicomStreamBuilder other;
    other.Preamble().MetaGroup().ImageAttributes(8, 8, 8).PixelData8(std::vector<std::uint8_t>(64, 7));
    other.WriteTo(stack->PathOf(2));

    EXPECT_TRUE(stack->Open(0));
    const Expected<StackFrame> gone = stack->Open(1);
    ASSERT_FALSE(gone);
    EXPECT_NE(gone.Why().Text().find(stack->PathOf(1)), std::string::npos) << gone.Why();
    const Expected<StackFrame> resized = stack->Open(2);
    ASSERT_FALSE(resized);
    EXPECT_TRUE(resized.Why().Is(StackProblem::ChangedSinceIndex)) << resized.Why();
    EXPECT_NE(resized.Why().Text().find("8 x 8, the series' 32 x 32"), std::string::npos) << resized.Why();

    // The range of the series comes from the files that are still there.
    const RangeOutcome all = ScanStackRange(*stack);
    EXPECT_TRUE(all.Complete()) << all.failure;
    EXPECT_FALSE(all.range.Empty());
    RangeOutcome first = ScanModalityRange(*stack->Open(0)->source);
    EXPECT_LE(all.range.min, first.range.min);
    EXPECT_GE(all.range.max, first.range.max);
}

TEST(FrameCache, KeepsToItsBudgetAndLetsTheLeastRecentGo) {
    FrameCache cache(11000);
    const auto frameOf = [](std::int32_t index, std::size_t bytes) {
        LoadedFrame frame;
        frame.index = index;
        auto block = std::make_shared<std::vector<std::uint8_t>>(bytes);
        auto samples = std::make_shared<FrameSamples>();
        samples->bytes = *block;
        samples->owner = block;
        frame.samples = samples;
        frame.image = std::shared_ptr<const PackedDib>(PackedDib::Allocate(bytes));
        return frame;
    };
    for (std::int32_t i = 0; i < 10; ++i) {
        cache.Put(frameOf(i, 1500));
        EXPECT_LE(cache.Bytes(), cache.Budget());
    }
    // 3 of 3.5 KB each fit; frame 7 was used again and outlives 8.
    ASSERT_NE(cache.Find(7), nullptr);
    cache.Put(frameOf(10, 1500));
    EXPECT_NE(cache.Find(7), nullptr);
    EXPECT_EQ(cache.Find(8), nullptr);
    EXPECT_EQ(cache.Find(0), nullptr);

    // A new display drops the pictures and keeps the samples.
    const std::size_t before = cache.Bytes();
    cache.DropImages();
    EXPECT_EQ(cache.Bytes(), before - 3 * 1500);
    ASSERT_NE(cache.Find(10), nullptr);
    EXPECT_TRUE(cache.Find(10)->samples);
    EXPECT_FALSE(cache.Find(10)->image);

    // One frame larger than the whole budget is still kept, alone.
    cache.Put(frameOf(11, 50000));
    EXPECT_EQ(cache.Size(), 1u);
    EXPECT_NE(cache.Find(11), nullptr);
}

TEST(FrameLoader, ShowsAFrameThenAnswersFromTheFramesReadAhead) {
    GeneratedSeries study(30);
    Deliveries deliveries;
    FrameLoader::Options options;
    options.ahead = 6;
    options.behind = 2;
    FrameLoader loader(study.Stack(), DisplayState(), deliveries.Sink(), options);

    // Frame 10 is not there yet: it comes through Deliver, drawn. (Whether it is
    // still awaited right after Show depends on how quickly a worker reads it.)
    EXPECT_FALSE(loader.Show(10));
    const std::optional<LoadedFrame> ten = deliveries.Wait();
    ASSERT_TRUE(ten);
    EXPECT_EQ(ten->index, 10);
    ASSERT_TRUE(ten->image) << ten->noImage;
    EXPECT_EQ(DibWidth(ten->image.get()), 32);
    EXPECT_EQ(ten->path, study.Stack()->PathOf(10));
    ASSERT_TRUE(ten->window);
    EXPECT_EQ(ten->window->width, 400);  // the file's own window
    EXPECT_FALSE(loader.Awaited());
    ASSERT_TRUE(loader.WaitIdle(10s));

    // Stepping back: the frames behind were read ahead; then travel turns backwards.
    ASSERT_TRUE(loader.Show(9));
    ASSERT_TRUE(loader.WaitIdle(10s));
    for (std::int32_t i = 8; i >= 4; --i)
        EXPECT_TRUE(loader.Show(i)) << "frame " << i << " was not read ahead";
    ASSERT_TRUE(loader.WaitIdle(10s));
    // From 4 backwards 6 ahead wraps around the first frame to the last ones.
    EXPECT_TRUE(loader.Show(29)) << "reading ahead wraps as cine does";
    EXPECT_FALSE(loader.Show(20));
    const FrameLoader::Counters counters = loader.Stats();
    EXPECT_GE(counters.hits, 7u);
    EXPECT_EQ(counters.delivered, deliveries.Count());
}

TEST(FrameLoader, AHeldReadAheadReadsOnlyTheFramesAskedForUntilItStarts) {
    GeneratedSeries study(12);
    Deliveries deliveries;
    FrameLoader::Options options;
    options.ahead = 4;
    options.readAhead = false;
    FrameLoader loader(study.Stack(), DisplayState(), deliveries.Sink(), options);

    // Held: the frame asked for, a new display and steps read nothing more.
    EXPECT_EQ(ShowAndWait(loader, deliveries, 0).index, 0);
    DisplayState windowed;
    windowed.window = DisplayWindow{100, 30};
    loader.SetDisplay(windowed);
    ASSERT_TRUE(loader.WaitIdle(10s));
    EXPECT_EQ(ShowAndWait(loader, deliveries, 5).index, 5);
    ASSERT_TRUE(loader.WaitIdle(10s));
    EXPECT_EQ(loader.Stats().read, 2u);
    EXPECT_FALSE(loader.Show(6));

    // Started: the frames ahead of the one shown are read, and answered from the cache.
    loader.SetReadAhead(true);
    ASSERT_TRUE(loader.WaitIdle(10s));
    for (std::int32_t i = 7; i <= 10; ++i)
        EXPECT_TRUE(loader.Show(i)) << "frame " << i << " was not read ahead";
}

TEST(FrameLoader, ScrollingAWholeStackStaysWithinTheCacheBudget) {
    GeneratedSeries study(40);
    Deliveries deliveries;
    FrameLoader::Options options;
    // A 32 x 32 frame is 2 KiB of samples and 2 KiB of picture: about 8 of them fit.
    options.cacheBytes = 8 * 5200;
    FrameLoader loader(study.Stack(), DisplayState(), deliveries.Sink(), options);
    std::size_t most = 0;
    for (std::int32_t i = 0; i < 40; ++i) {
        const LoadedFrame frame = ShowAndWait(loader, deliveries, i);
        EXPECT_EQ(frame.index, i);
        EXPECT_TRUE(frame.image) << frame.noImage;
        most = std::max(most, loader.Stats().cachedBytes);
    }
    ASSERT_TRUE(loader.WaitIdle(10s));
    EXPECT_LE(most, options.cacheBytes);
    EXPECT_LE(loader.Stats().cachedFrames, 9u);
    // Frames read ahead are not pushed out before they show: each is read once,
    // but for the few read ahead past the end, round to the first again.
    EXPECT_LE(loader.Stats().read, 48u);
}

TEST(FrameLoader, ANewDisplayDrawsFromTheSamplesKept) {
    GeneratedSeries study(10);
    Deliveries deliveries;
    FrameLoader loader(study.Stack(), DisplayState(), deliveries.Sink());
    const LoadedFrame before = ShowAndWait(loader, deliveries, 3);
    ASSERT_TRUE(loader.WaitIdle(10s));
    // Once a frame's size is known every frame fits ahead.
    ASSERT_TRUE(loader.Show(3));
    ASSERT_TRUE(loader.WaitIdle(10s));
    const std::uint64_t read = loader.Stats().read;
    EXPECT_EQ(read, 10u);

    DisplayState narrow;
    narrow.window = DisplayWindow{50, 0};
    loader.SetDisplay(narrow);
    ASSERT_TRUE(loader.WaitIdle(10s));
    EXPECT_EQ(loader.Stats().read, read) << "nothing was read again";
    const std::optional<LoadedFrame> after = loader.Show(3);
    ASSERT_TRUE(after) << "the shown frame was drawn again at once";
    EXPECT_GT(after->generation, before.generation);
    ASSERT_TRUE(after->window);
    EXPECT_EQ(after->window->width, 50);
    ASSERT_TRUE(before.image && after->image);
    EXPECT_NE(std::vector<std::uint8_t>(before.image->Bytes(), before.image->Bytes() + before.image->Length()),
              std::vector<std::uint8_t>(after->image->Bytes(), after->image->Bytes() + after->image->Length()));
}

// A window committed in the viewer: the document draws the frame shown itself and
// hands the picture over; the loader keeps it instead of drawing it a second time,
// and never takes a picture of samples it did not give.
TEST(FrameLoader, APictureDrawnByTheCallerIsKeptInsteadOfDrawnAgain) {
    GeneratedSeries study(4);
    Deliveries deliveries;
    FrameLoader loader(study.Stack(), DisplayState(), deliveries.Sink());
    ShowAndWait(loader, deliveries, 1);
    ASSERT_TRUE(loader.WaitIdle(10s));
    // Once a frame's size is known every frame is held.
    const std::optional<LoadedFrame> shown = loader.Show(1);
    ASSERT_TRUE(shown);
    ASSERT_TRUE(loader.WaitIdle(10s));
    ASSERT_EQ(loader.Stats().cachedFrames, 4u);
    const std::uint64_t drawn = loader.Stats().drawn;

    DisplayState narrow;
    narrow.window = DisplayWindow{50, 0};
    LoadedFrame mine = *shown;
    DrawLoadedFrame(mine, narrow);
    ASSERT_TRUE(mine.image);
    loader.SetDisplay(narrow, mine);
    ASSERT_TRUE(loader.WaitIdle(10s));
    EXPECT_EQ(loader.Stats().drawn, drawn) << "nothing drawn: the others wait until frames around one shown are";
    const std::optional<LoadedFrame> kept = loader.Show(1);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->image, mine.image);
    ASSERT_TRUE(kept->window);
    EXPECT_EQ(kept->window->width, 50);

    // Samples of its own (read again elsewhere): the loader draws the frame itself.
    DisplayState wide;
    wide.window = DisplayWindow{900, 0};
    LoadedFrame other = mine;
    other.samples = std::make_shared<const FrameSamples>(*mine.samples);
    DrawLoadedFrame(other, wide);
    loader.SetDisplay(wide, other);
    ASSERT_TRUE(loader.WaitIdle(10s));
    const std::optional<LoadedFrame> redrawn = loader.Show(1);
    ASSERT_TRUE(redrawn && redrawn->image);
    EXPECT_NE(redrawn->image, other.image);
    EXPECT_EQ(std::vector<std::uint8_t>(redrawn->image->Bytes(), redrawn->image->Bytes() + redrawn->image->Length()),
              std::vector<std::uint8_t>(other.image->Bytes(), other.image->Bytes() + other.image->Length()));
}

TEST(FrameLoader, AShowThatWaitsGetsTheFrameItselfAndNothingIsDelivered) {
    GeneratedSeries study(6);
    Deliveries deliveries;
    FrameLoader loader(study.Stack(), DisplayState(), deliveries.Sink());
    const std::optional<LoadedFrame> frame = loader.Show(4, 10s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->index, 4);
    EXPECT_TRUE(frame->image) << frame->noImage;
    ASSERT_TRUE(loader.WaitIdle(10s));
    EXPECT_EQ(deliveries.Count(), 0u);
    EXPECT_FALSE(loader.Awaited());
}

TEST(FrameLoader, AFrameWithoutImageSaysWhyAndIsNotReadAgain) {
    GeneratedSeries study(5);
    std::shared_ptr<SeriesStack> stack = study.Stack();
    fs::remove(stack->PathOf(2));
    Deliveries deliveries;
    FrameLoader loader(stack, DisplayState(), deliveries.Sink());
    const LoadedFrame gone = ShowAndWait(loader, deliveries, 2);
    EXPECT_FALSE(gone.image);
    EXPECT_TRUE(gone.noImage);
    ASSERT_TRUE(loader.WaitIdle(10s));
    EXPECT_TRUE(loader.Show(2)) << "the reason is kept";
}

TEST(FrameLoader, GoesWithoutWaitingForARead) {
    GeneratedSeries study(3);
    auto gated = std::make_shared<GatedStack>(study.Stack());
    Deliveries deliveries;
    // Should closing wait for the read, the gate opens after a while all the same,
    // and the time taken tells.
    std::mutex mutex;
    std::condition_variable closedSignal;
    bool closed = false;
    std::thread rescue([&] {
        std::unique_lock lock(mutex);
        closedSignal.wait_for(lock, 3s, [&] { return closed; });
        gated->OpenGate();
    });
    auto loader = std::make_unique<FrameLoader>(gated, DisplayState(), deliveries.Sink());
    EXPECT_FALSE(loader->Show(0));
    ASSERT_TRUE(gated->WaitEntered());
    const auto start = std::chrono::steady_clock::now();
    loader.reset();  // while its worker waits inside Open
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    {
        std::lock_guard lock(mutex);
        closed = true;
    }
    closedSignal.notify_all();
    rescue.join();
    // The worker finishes its read and drops it: nothing is delivered.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(deliveries.Count(), 0u);
}

// At the end of the program the workers leave after the read they are in: one held
// inside a read is waited for only as long as asked, and leaves once the read ends.
// (In a child process of its own: the workers do not read again afterwards.)
TEST(FrameLoaderDeathTest, StopReadingWaitsForAWorkerInAReadOnlyAsLongAsAsked) {
    // The child starts afresh, without workers or passes this process has started.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    GeneratedSeries study(3);
    EXPECT_EXIT(
        {
            auto gated = std::make_shared<GatedStack>(study.Stack());
            FrameLoader loader(gated, DisplayState(), [](const LoadedFrame&) {});
            loader.Show(0);
            if (!gated->WaitEntered()) std::_Exit(1);
            const bool leftAtOnce = FrameLoader::StopReading(30ms);
            gated->OpenGate();
            const bool leftAfterTheRead = FrameLoader::StopReading(10s);
            std::_Exit(!leftAtOnce && leftAfterTheRead ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(FrameLoader, AFrameWithoutWindowTakesOneFromItsOwnValues) {
    TempFolder folder;
    // 16-bit values 1000 .. 1003 and no window: the default spans them.
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup()
        .ExplicitText(0x0020, 0x000E, "UI", "1.2.3")
        .ImageAttributes(2, 2, 16)
        .PixelData16({1000, 1001, 1002, 1003});
    b.WriteTo(folder.File("nowindow.dcm"));
    const IndexResult index = IndexStudies({folder.File("nowindow.dcm")});
    const Series& series = index.tree.patients.at(0).studies.at(0).series.at(0);
    auto stack = std::make_shared<SeriesStack>(series, 0);
    Expected<StackFrame> opened = stack->Open(0);
    ASSERT_TRUE(opened) << opened.Why();
    LoadedFrame frame;
    frame.attributes = opened->source->SharedAttributes();
    frame.samples = *opened->source->Frame(0);
    DrawLoadedFrame(frame, DisplayState());
    ASSERT_TRUE(frame.image) << frame.noImage;
    ASSERT_TRUE(frame.window);
    EXPECT_EQ(frame.window->width, 2003);   // |max| + |min|
    EXPECT_EQ(frame.window->centre, 1002);  // (max + min) / 2, rounded half up
}

// A frame whose codec keeps lower resolutions, awaited while it is shown at a quarter
// of its size: a reduced picture is delivered first, then the frame itself, which
// alone is kept. Shown at more than half size, or compressed otherwise, it comes once.
TEST(FrameLoader, AJpeg2000FrameShownSmallComesReducedFirstThenWhole) {
    if (!HaveTool("opj_compress") || !HaveTool("dcmcrle")) {
        GTEST_SKIP() << "OpenJPEG's or DCMTK's tools are not installed (scripts/install-deps)";
    }
    TempFolder folder;
    PhantomOptions o;
    o.rows = 400;
    o.columns = 510;
    o.frames = 1;
    ASSERT_EQ(WritePhantomPgm(folder.File("frame.pgm"), o, 0, 16), "");
    ASSERT_TRUE(RunQuietly("opj_compress -i " + folder.File("frame.pgm") + " -o " + folder.File("frame.j2k")));
    fs::create_directories(folder.File("study"));
    ASSERT_EQ(WriteEncapsulatedPhantom(folder.File("study/j2k.dcm"), o, "1.2.840.10008.1.2.4.90", 16,
                                       ReadBytes(folder.File("frame.j2k"))),
              "");
    const IndexResult index = IndexStudies({folder.File("study")});
    const Series& series = index.tree.patients.at(0).studies.at(0).series.at(0);
    FrameLoader::Options fitted;
    // Fitted to 120 pixels across (less than a quarter of 510): a quarter of each
    // side still gives a pixel for each pixel shown, an eighth would not.
    fitted.fitWidth = 120;
    fitted.fitHeight = 200;

    Deliveries deliveries;
    FrameLoader loader(std::make_shared<SeriesStack>(series, 0), DisplayState(), deliveries.Sink(), fitted);
    EXPECT_FALSE(loader.Show(0));
    const std::optional<LoadedFrame> reduced = deliveries.Wait(1);
    const std::optional<LoadedFrame> whole = deliveries.Wait(2);
    ASSERT_TRUE(reduced && whole);
    EXPECT_EQ(reduced->level, 2);
    ASSERT_TRUE(reduced->image && reduced->samples) << reduced->noImage;
    EXPECT_EQ(reduced->samples->columns, 128);  // 510 / 4, rounded up
    EXPECT_EQ(reduced->samples->rows, 100);
    EXPECT_EQ(whole->level, 0);
    ASSERT_TRUE(whole->image && whole->samples) << whole->noImage;
    ASSERT_TRUE(loader.WaitIdle(10s));
    EXPECT_EQ(loader.Stats().previews, 1u);
    // The frame kept, and given again, is the whole one: the full decode of a fresh read.
    const std::optional<LoadedFrame> kept = loader.Show(0);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->level, 0);
    Expected<StackFrame> fresh = SeriesStack(series, 0).Open(0);
    ASSERT_TRUE(fresh) << fresh.Why();
    Expected<std::shared_ptr<const FrameSamples>> full = fresh->source->FrameUncached(0);
    ASSERT_TRUE(full) << full.Why();
    ASSERT_EQ(kept->samples->bytes.size(), (*full)->bytes.size());
    EXPECT_TRUE(std::equal(kept->samples->bytes.begin(), kept->samples->bytes.end(), (*full)->bytes.begin()));

    // At more than half size the frame comes once, whole.
    Deliveries once;
    FrameLoader large(std::make_shared<SeriesStack>(series, 0), DisplayState(), once.Sink(), fitted);
    large.SetShownScale(0.6);
    EXPECT_FALSE(large.Show(0));
    ASSERT_TRUE(once.Wait(1));
    ASSERT_TRUE(large.WaitIdle(10s));
    EXPECT_EQ(once.Count(), 1u);
    EXPECT_EQ(large.Stats().previews, 0u);

    // Run-length frames have no lower resolutions: the frame itself, once.
    ASSERT_EQ(WriteCtPhantom(folder.File("plain.dcm"), o), "");
    fs::create_directories(folder.File("rle"));
    ASSERT_TRUE(RunQuietly("dcmcrle " + folder.File("plain.dcm") + " " + folder.File("rle/rle.dcm")));
    const IndexResult rleIndex = IndexStudies({folder.File("rle")});
    Deliveries rle;
    FrameLoader rleLoader(std::make_shared<SeriesStack>(rleIndex.tree.patients.at(0).studies.at(0).series.at(0), 0),
                          DisplayState(), rle.Sink(), fitted);
    EXPECT_FALSE(rleLoader.Show(0));
    const std::optional<LoadedFrame> rleFrame = rle.Wait(1);
    ASSERT_TRUE(rleFrame);
    EXPECT_EQ(rleFrame->level, 0);
    ASSERT_TRUE(rleLoader.WaitIdle(10s));
    EXPECT_EQ(rleLoader.Stats().previews, 0u);
}
