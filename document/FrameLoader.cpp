#include "document/FrameLoader.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "dicom/ModalityRange.h"

namespace {

constexpr std::int32_t kAheadUntilSizeKnown = 4;
// Reduced pictures go no lower than 1/256 of each side.
constexpr std::uint8_t kMostReduction = 8;

// Whether a grey frame under `state` takes the default window, the display knowing
// no range for it: neither the user nor the frame gives a window or a VOI LUT.
bool TakesDefaultWithoutRange(const ImageAttributes& attributes, std::int32_t frame, const DisplayState& state) {
    if (state.window || state.voiLut || state.fallback || !attributes.IsGrey()) return false;
    if (attributes.IsPaletteColour() && attributes.palette && state.palette) return false;
    const FrameValues& values = attributes.Frame(frame);
    return values.windows.empty() && values.voiLuts.empty();
}

}  // namespace

void DrawLoadedFrame(LoadedFrame& frame, const DisplayState& display) {
    frame.image.reset();
    frame.window.reset();
    if (!frame.samples || !frame.attributes) return;
    const ImageAttributes& attributes = *frame.attributes;
    DisplayState state = display;
    if (TakesDefaultWithoutRange(attributes, frame.frameInFile, state)) {
        // Unsigned samples of 8 bits or fewer take the whole range they can hold, so
        // their default window needs no pass over the frame's values.
        if (DefaultWindowNeedsRange(attributes)) {
            const ValueRange own = FrameValueRange(*frame.samples, attributes);
            state.fallback = DefaultDisplayWindow(attributes, frame.frameInFile, &own);
        } else {
            state.fallback = DefaultDisplayWindow(attributes, frame.frameInFile, nullptr);
        }
    }
    Expected<PackedDibPtr> image = RenderFrame(*frame.samples, attributes, state);
    if (!image) {
        frame.noImage = image.Why();
        return;
    }
    frame.image = std::shared_ptr<const PackedDib>(std::move(image).Take());
    frame.window = EffectiveWindow(attributes, frame.frameInFile, state);
    frame.noImage = Reason();
}

struct FrameLoader::State {
    std::shared_ptr<const FrameStack> stack;
    Options options;

    mutable std::mutex mutex;  // guards everything down to `deliverMutex`
    mutable std::condition_variable idle;
    FrameCache cache;
    DisplayState display;
    std::uint64_t generation = 1;
    std::int32_t shown = -1;
    std::int32_t direction = 1;
    std::optional<std::int32_t> awaited;
    // Show waits for the frame awaited: the worker leaves it here instead of
    // delivering it.
    bool waiting = false;
    std::optional<LoadedFrame> handedBack;
    mutable std::condition_variable arrived;
    std::deque<std::int32_t> queue;     // frames to read or draw, the one awaited first
    std::vector<std::int32_t> running;  // frames a worker is reading or drawing
    std::size_t frameBytes = 0;         // of the last frame kept, for the read-ahead
    double shownScale = 0;              // view pixels per image pixel; 0 when not known
    bool readAhead = true;
    bool closed = false;
    Counters counters;
    bool inPool = false;  // guarded by the pool's mutex

    std::mutex deliverMutex;  // held while Deliver runs, so that closing can end it
    Deliver deliver;

    struct Job {
        std::int32_t index = 0;
        std::uint64_t generation = 0;
        DisplayState display;
        std::optional<LoadedFrame> kept;  // its samples, when the cache holds them
        bool preview = false;             // awaited and not held: a reduced picture may come first
    };

    State(std::shared_ptr<const FrameStack> from, const DisplayState& shownAs, Deliver to, const Options& with)
        : stack(std::move(from)),
          options(with),
          cache(with.cacheBytes),
          display(shownAs),
          readAhead(with.readAhead),
          deliver(std::move(to)) {}

    // Whether the cache holds frame `index` as it is to be shown now. Under `mutex`.
    bool Done(const LoadedFrame& frame) const {
        if (frame.image) return frame.generation == generation;
        return !frame.samples && frame.noImage;  // could not be read: reading again gives the same
    }

    // The frame of `index` as the cache holds it, unless its file has changed since
    // it was read (then it goes, to be read again). Under `mutex`.
    const LoadedFrame* Kept(std::int32_t index) {
        const LoadedFrame* frame = cache.Find(index);
        if (frame == nullptr) return nullptr;
        if (const std::shared_ptr<const FrameSource> source = frame->source.lock()) {
            if (!source->Unchanged()) {
                cache.Erase(index);
                return nullptr;
            }
        }
        return frame;
    }

    bool Holds(std::int32_t index) {
        const LoadedFrame* frame = Kept(index);
        return frame != nullptr && Done(*frame);
    }

    bool HasWork() const {
        std::lock_guard lock(mutex);
        return !closed && !queue.empty();
    }

    // The frames to read, around `index`: itself when awaited, then ahead in the
    // direction of travel, then behind. Under `mutex`.
    void Plan(std::int32_t index) {
        queue.clear();
        const std::int32_t count = stack->Count();
        // The frame shown first: awaited, or to be drawn again under a new display.
        if (awaited) {
            queue.push_back(*awaited);
        } else if (readAhead && !Holds(index)) {
            queue.push_back(index);
        }
        if (!readAhead) {
            if (queue.empty() && running.empty()) idle.notify_all();
            return;
        }
        // As many as half the budget holds, once a frame's size is known; a few
        // until then.
        std::int32_t ahead = std::min(options.ahead, kAheadUntilSizeKnown);
        if (frameBytes > 0) {
            const std::size_t fit = std::max<std::size_t>(1, cache.Budget() / 2 / frameBytes);
            ahead = static_cast<std::int32_t>(std::min<std::size_t>(static_cast<std::size_t>(options.ahead), fit));
        }
        ahead = std::min(ahead, count - 1);
        const std::int32_t behind = std::min(options.behind, count - 1 - ahead);
        const auto add = [&](std::int32_t step) {
            const std::int32_t at = static_cast<std::int32_t>(((std::int64_t{index} + step) % count + count) % count);
            // Frames held are made recent, so that frames read ahead push out the
            // ones left behind rather than the ones about to show.
            if (!Holds(at)) queue.push_back(at);
        };
        for (std::int32_t k = 1; k <= ahead; ++k)
            add(k * direction);
        for (std::int32_t k = 1; k <= behind; ++k)
            add(-k * direction);
        if (!awaited) Holds(index);  // the frame shown is the most recent of all
        if (queue.empty() && running.empty()) idle.notify_all();
    }

    std::optional<Job> TakeJob() {
        std::lock_guard lock(mutex);
        while (!closed && !queue.empty()) {
            const std::int32_t index = queue.front();
            queue.pop_front();
            if (std::find(running.begin(), running.end(), index) != running.end()) continue;
            Job job{index, generation, display, std::nullopt, false};
            if (const LoadedFrame* kept = Kept(index)) {
                if (Done(*kept)) continue;
                job.kept = *kept;
            }
            job.preview = !job.kept && awaited == index;
            running.push_back(index);
            return job;
        }
        if (running.empty()) idle.notify_all();
        return std::nullopt;
    }

    void Run(Job job) {
        LoadedFrame frame;
        if (job.kept) {
            frame = std::move(*job.kept);
        } else {
            frame.index = job.index;
            if (job.preview) Preview(job);
            Read(frame);
        }
        if (frame.samples) DrawLoadedFrame(frame, job.display);
        frame.generation = job.generation;

        bool deliverIt = false;
        {
            std::lock_guard lock(mutex);
            running.erase(std::find(running.begin(), running.end(), job.index));
            if (!job.kept) ++counters.read;
            if (frame.samples) ++counters.drawn;
            if (!closed) {
                const bool current = job.generation == generation;
                LoadedFrame kept = frame;
                if (!current) kept.image.reset();  // drawn under a display since changed
                frameBytes = kept.Bytes();
                cache.Put(std::move(kept));
                if (awaited == job.index) {
                    if (current) {
                        awaited.reset();
                        if (waiting) {
                            handedBack = frame;
                            arrived.notify_all();
                        } else {
                            deliverIt = true;
                            ++counters.delivered;
                        }
                    } else {
                        queue.push_front(job.index);  // to be drawn again under the new display
                    }
                }
            }
            if (queue.empty() && running.empty()) idle.notify_all();
        }
        if (deliverIt) {
            std::lock_guard lock(deliverMutex);
            if (deliver) deliver(frame);
        }
    }

    // The reductions for a frame of `columns` x `rows` as it is shown: the most that
    // still leave a pixel for each view pixel; 0 at more than half size. Under `mutex`.
    std::uint8_t Reduction(std::uint32_t columns, std::uint32_t rows) const {
        double scale = shownScale;
        if (scale <= 0 && options.fitWidth > 0 && options.fitHeight > 0 && columns > 0 && rows > 0) {
            scale = std::min(static_cast<double>(options.fitWidth) / columns,
                             static_cast<double>(options.fitHeight) / rows);
        }
        if (scale <= 0) return 0;
        std::uint8_t reduce = 0;
        while (reduce < kMostReduction && scale * static_cast<double>(2u << reduce) <= 1.0)
            ++reduce;
        return reduce;
    }

    // Draws and delivers a reduced picture of the frame awaited, when it is shown at
    // half size or less and its codec gives one for less than the whole frame costs.
    void Preview(const Job& job) {
        Expected<StackFrame> opened = stack->Open(job.index);
        if (!opened || !opened->source->DecodesReduced() || opened->source->Check(opened->frame)) return;
        const ImageAttributes& attributes = opened->source->Attributes();
        std::uint8_t reduce = 0;
        {
            std::lock_guard lock(mutex);
            reduce = Reduction(attributes.columns, attributes.rows);
        }
        if (reduce == 0) return;
        Expected<std::shared_ptr<const FrameSamples>> samples = opened->source->FrameReduced(opened->frame, reduce);
        // Not reduced after all (the codec has fewer levels, or the frame was kept
        // whole): the whole frame follows at once.
        if (!samples || (*samples)->columns >= attributes.columns) return;
        LoadedFrame preview;
        preview.index = job.index;
        preview.attributes = opened->source->SharedAttributes();
        preview.source = opened->source;
        preview.path = opened->path;
        preview.frameInFile = opened->frame;
        preview.samples = std::move(samples).Take();
        // The reduction given, which may be fewer levels than asked for.
        std::uint8_t level = 1;
        while (level < kMostReduction &&
               ((std::uint32_t{attributes.columns} + (1u << level) - 1) >> level) > preview.samples->columns)
            ++level;
        preview.level = level;
        DrawLoadedFrame(preview, job.display);
        if (!preview.image) return;
        preview.generation = job.generation;
        {
            std::lock_guard lock(mutex);
            if (closed || awaited != job.index || generation != job.generation) return;
            ++counters.previews;
        }
        std::lock_guard lock(deliverMutex);
        if (deliver) deliver(preview);
    }

    void Read(LoadedFrame& frame) const {
        frame.path = stack->PathOf(frame.index);  // named even when it cannot be read
        Expected<StackFrame> opened = stack->Open(frame.index);
        if (!opened) {
            frame.noImage = opened.Why();
            return;
        }
        frame.attributes = opened->source->SharedAttributes();
        frame.source = opened->source;
        frame.path = opened->path;
        frame.frameInFile = opened->frame;
        if (Reason why = opened->source->Check(opened->frame)) {
            frame.noImage = std::move(why);
            return;
        }
        // Not kept by the source as well: this cache holds what is shown.
        Expected<std::shared_ptr<const FrameSamples>> samples = opened->source->FrameUncached(opened->frame);
        if (!samples) {
            frame.noImage = samples.Why();
            return;
        }
        frame.samples = std::move(samples).Take();
    }
};

namespace {

using LoaderState = FrameLoader::State;

// The workers of every loader: each takes one frame of a loader in turn, so that
// several documents share them fairly. Joined when the process ends.
class WorkerPool {
public:
    static WorkerPool& Instance() {
        static WorkerPool pool;
        return pool;
    }

    void Post(const std::shared_ptr<LoaderState>& state) {
        {
            std::lock_guard lock(m_mutex);
            if (state->inPool) return;
            state->inPool = true;
            m_ready.push_back(state);
        }
        m_wake.notify_one();
        if (m_threads.empty()) Work(true);  // no thread could be had: read here
    }

    ~WorkerPool() {
        Stop(std::chrono::milliseconds::max());
        for (std::thread& thread : m_threads)
            thread.join();
    }

    // Asks the workers to leave once the frame each reads is done, and waits up to
    // `grace` for them. True when none is left reading.
    bool Stop(std::chrono::milliseconds grace) {
        std::unique_lock lock(m_mutex);
        m_stop = true;
        m_ready.clear();
        m_wake.notify_all();
        if (grace == std::chrono::milliseconds::max()) {
            m_left.wait(lock, [this] { return m_working == 0; });
            return true;
        }
        return m_left.wait_for(lock, grace, [this] { return m_working == 0; });
    }

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

private:
    WorkerPool() {
        // One core is left to the thread that paints.
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        const unsigned workers = std::clamp(cores - 1, 1u, 3u);
        for (unsigned i = 0; i < workers; ++i) {
            try {
                m_threads.emplace_back([this] { Work(false); });
                ++m_working;
            } catch (const std::system_error&) {
                break;
            }
        }
    }

    void Work(bool untilDone) {
        for (;;) {
            std::shared_ptr<LoaderState> state;
            {
                std::unique_lock lock(m_mutex);
                if (untilDone && m_ready.empty()) return;
                m_wake.wait(lock, [this] { return m_stop || !m_ready.empty(); });
                if (m_stop) {
                    if (!untilDone) {
                        --m_working;
                        m_left.notify_all();
                    }
                    return;
                }
                state = std::move(m_ready.front());
                m_ready.pop_front();
                state->inPool = false;
            }
            if (std::optional<LoaderState::Job> job = state->TakeJob()) state->Run(std::move(*job));
            if (state->HasWork()) {
                std::lock_guard lock(m_mutex);
                if (!state->inPool) {
                    state->inPool = true;
                    m_ready.push_back(std::move(state));
                }
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_left;  // a worker has left after m_stop
    std::deque<std::shared_ptr<LoaderState>> m_ready;
    std::vector<std::thread> m_threads;
    int m_working = 0;  // workers not yet left; guarded by m_mutex
    bool m_stop = false;
};

}  // namespace

FrameLoader::FrameLoader(std::shared_ptr<const FrameStack> stack, DisplayState display, Deliver deliver,
                         Options options)
    : m_stack(std::move(stack)), m_state(std::make_shared<State>(m_stack, display, std::move(deliver), options)) {}

bool FrameLoader::StopReading(std::chrono::milliseconds grace) { return WorkerPool::Instance().Stop(grace); }

FrameLoader::~FrameLoader() {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->closed = true;
        m_state->queue.clear();
        m_state->awaited.reset();
        m_state->cache.Clear();
        m_state->idle.notify_all();
    }
    // Waits for a delivery being handed over, never for a read.
    std::lock_guard lock(m_state->deliverMutex);
    m_state->deliver = nullptr;
}

std::optional<LoadedFrame> FrameLoader::Show(std::int32_t index, std::chrono::milliseconds wait) {
    std::optional<LoadedFrame> hit;
    {
        std::unique_lock lock(m_state->mutex);
        State& s = *m_state;
        ++s.counters.shown;
        const std::int32_t count = m_stack->Count();
        if (s.shown >= 0 && index != s.shown && count > 1) {
            // The shorter way round: from the last frame to the first is a step forward.
            const std::int32_t forward = ((index - s.shown) % count + count) % count;
            s.direction = forward <= count - forward ? 1 : -1;
        }
        s.shown = index;
        const LoadedFrame* kept = s.Kept(index);
        if (kept != nullptr && s.Done(*kept)) {
            ++s.counters.hits;
            s.awaited.reset();
            hit = *kept;
        } else {
            s.awaited = index;
        }
        s.Plan(index);
        if (s.queue.empty() || hit || wait <= std::chrono::milliseconds(0)) {
            lock.unlock();
            if (!s.queue.empty()) WorkerPool::Instance().Post(m_state);
            return hit;
        }
        // From here until the wait ends, a worker that brings the frame hands it back
        // here rather than delivering it; past the wait, Deliver brings it.
        s.waiting = true;
        lock.unlock();
        WorkerPool::Instance().Post(m_state);
        lock.lock();
        s.arrived.wait_for(lock, wait, [&] { return s.handedBack.has_value() || s.awaited != index || s.closed; });
        s.waiting = false;
        if (s.handedBack && s.handedBack->index == index) hit = std::move(s.handedBack);
        s.handedBack.reset();
        // Should the frame have reached the cache without being handed back here
        // (another call took the wait over), it is shown all the same.
        if (!hit && !s.closed && s.awaited != index) {
            const LoadedFrame* brought = s.Kept(index);
            if (brought != nullptr && s.Done(*brought)) hit = *brought;
        }
    }
    return hit;
}

std::optional<std::int32_t> FrameLoader::Awaited() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->awaited;
}

void FrameLoader::SetDisplay(const DisplayState& display) { SetDisplay(display, LoadedFrame()); }

void FrameLoader::SetDisplay(const DisplayState& display, const LoadedFrame& drawn) {
    {
        std::lock_guard lock(m_state->mutex);
        State& s = *m_state;
        if (s.display == display) return;
        s.display = display;
        ++s.generation;
        s.cache.DropImages();
        if (s.shown < 0) return;
        if (drawn.image && drawn.samples && drawn.index == s.shown && !s.awaited) {
            const LoadedFrame* kept = s.Kept(drawn.index);
            if (kept != nullptr && kept->samples == drawn.samples) {
                LoadedFrame frame = *kept;
                frame.image = drawn.image;
                frame.window = drawn.window;
                frame.generation = s.generation;
                frame.noImage = Reason();
                s.cache.Put(std::move(frame));
            }
        }
        // Only the frame shown is drawn again now, unless the caller drew it; the
        // others are drawn as the frames around the one shown next are planned, so
        // that a window dragged and released many times does not draw every frame
        // kept each time while the user waits on the one shown. Frames still to be
        // read stay queued. While the read-ahead is held the frame shown waits too.
        if (!s.awaited && s.readAhead && !s.Holds(s.shown)) s.queue.push_front(s.shown);
        if (s.queue.empty()) return;
    }
    WorkerPool::Instance().Post(m_state);
}

void FrameLoader::SetShownScale(double scale) {
    std::lock_guard lock(m_state->mutex);
    m_state->shownScale = scale > 0 ? scale : 0;
}

void FrameLoader::SetReadAhead(bool on) {
    {
        std::lock_guard lock(m_state->mutex);
        State& s = *m_state;
        if (s.readAhead == on || s.closed) return;
        s.readAhead = on;
        if (s.shown < 0) return;
        s.Plan(s.shown);
        if (s.queue.empty()) return;
    }
    WorkerPool::Instance().Post(m_state);
}

std::uint64_t FrameLoader::Generation() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->generation;
}

FrameLoader::Counters FrameLoader::Stats() const {
    std::lock_guard lock(m_state->mutex);
    Counters counters = m_state->counters;
    counters.cachedBytes = m_state->cache.Bytes();
    counters.cachedFrames = m_state->cache.Size();
    return counters;
}

bool FrameLoader::WaitIdle(std::chrono::milliseconds most) const {
    std::unique_lock lock(m_state->mutex);
    return m_state->idle.wait_for(
        lock, most, [this] { return m_state->closed || (m_state->queue.empty() && m_state->running.empty()); });
}
