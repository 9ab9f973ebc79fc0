#include "views/ScaledDibImage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <vector>

#include "views/DibImage.h"
#include "views/LiveWindowImage.h"
#include "views/ViewportTransform.h"

namespace {

// Where each of `count` x `oversample` samples along one view axis from view position
// `start` falls: the displayed pixel index, or -1 off the image.
template <typename IndexAt>
std::vector<int> DisplayedIndices(int start, int count, int oversample, const IndexAt& indexAt) {
    const std::size_t samples = static_cast<std::size_t>(count) * static_cast<std::size_t>(oversample);
    std::vector<int> indices(samples);
    for (std::size_t i = 0; i < samples; ++i)
        indices[i] = indexAt(start + (static_cast<double>(i) + 0.5) / oversample);
    return indices;
}

// The image coordinate that displayed indices give along one image axis: `pick`
// takes x or y of the image pixel a displayed pixel shows.
template <typename Pick>
std::vector<int> ImageIndices(const std::vector<int>& displayed, bool columns, const CViewportTransform& viewport,
                              const Pick& pick) {
    std::vector<int> indices(displayed.size());
    for (std::size_t i = 0; i < displayed.size(); ++i) {
        const int d = displayed[i];
        indices[i] = d < 0 ? -1 : pick(viewport.ImagePixelOfDisplayed(columns ? QPoint(d, 0) : QPoint(0, d)));
    }
    return indices;
}

// The view pixels of `viewRect` for a picture whose row y (top first) `rowOf(y)`
// gives as a callable from column to colour: each the image pixel under its centre,
// or the mean of oversample x oversample samples.
template <typename RowOf>
QImage SampleForView(const CViewportTransform& viewport, const QRect& viewRect, int oversample, const RowOf& rowOf) {
    const int n = std::max(1, oversample);
    const std::vector<int> columns = DisplayedIndices(viewRect.left(), viewRect.width(), n, [&](double v) {
        return viewport.DisplayedColumnAt(v);
    });
    const std::vector<int> rows =
        DisplayedIndices(viewRect.top(), viewRect.height(), n, [&](double v) { return viewport.DisplayedRowAt(v); });
    // Unturned, view columns walk image columns; a quarter turn makes them walk rows.
    const bool swapped = viewport.Orientation().SwapsAxes();
    const auto pickX = [](QPoint p) { return p.x(); };
    const auto pickY = [](QPoint p) { return p.y(); };
    const std::vector<int> alongColumns =
        swapped ? ImageIndices(columns, true, viewport, pickY) : ImageIndices(columns, true, viewport, pickX);
    const std::vector<int> alongRows =
        swapped ? ImageIndices(rows, false, viewport, pickX) : ImageIndices(rows, false, viewport, pickY);

    QImage image(viewRect.size(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return image;
    const auto width = static_cast<std::size_t>(viewRect.width());
    if (n == 1 && !swapped) {
        // Nearest neighbour along image rows: one row per view row, nothing to average.
        for (int vy = 0; vy < viewRect.height(); ++vy) {
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(vy));
            const int y = alongRows[static_cast<std::size_t>(vy)];
            if (y < 0) {
                std::fill(out, out + width, 0u);
                continue;
            }
            const auto colour = rowOf(y);
            for (std::size_t vx = 0; vx < width; ++vx)
                out[vx] = alongColumns[vx] < 0 ? 0u : colour(alongColumns[vx]);
        }
        return image;
    }
    const auto sample = [&](int alongColumn, int alongRow) -> QRgb {
        return swapped ? rowOf(alongColumn)(alongRow) : rowOf(alongRow)(alongColumn);
    };
    for (int vy = 0; vy < viewRect.height(); ++vy) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(vy));
        for (std::size_t vx = 0; vx < width; ++vx) {
            int r = 0, g = 0, b = 0, hits = 0;
            for (int sy = 0; sy < n; ++sy) {
                const int alongRow = alongRows[static_cast<std::size_t>(vy) * n + static_cast<std::size_t>(sy)];
                if (alongRow < 0) continue;
                for (int sx = 0; sx < n; ++sx) {
                    const int alongColumn = alongColumns[vx * n + static_cast<std::size_t>(sx)];
                    if (alongColumn < 0) continue;
                    const QRgb c = sample(alongColumn, alongRow);
                    r += qRed(c), g += qGreen(c), b += qBlue(c), ++hits;
                }
            }
            out[vx] = hits == 0 ? 0u : qRgb(r / hits, g / hits, b / hits);
        }
    }
    return image;
}

}  // namespace

QImage SampleDibForView(const PackedDib* dib, const CViewportTransform& viewport, const QRect& viewRect,
                        int oversample) {
    if (!dib || !DibIsComplete(dib) || viewRect.isEmpty()) return {};
    const int bits = DibBitCount(dib);
    if (bits != 8 && bits != 24) return {};
    const int height = DibHeight(dib);
    const std::array<QRgb, 256> table = bits == 8 ? DibColours(dib) : std::array<QRgb, 256>{};
    const std::uint8_t* pixels = DibBits(dib);
    const std::uint64_t stride = DibRowStride(dib);
    return SampleForView(viewport, viewRect, oversample, [&](int y) {
        // Rows are stored bottom-up.
        const std::uint8_t* row = pixels + static_cast<std::uint64_t>(height - 1 - y) * stride;
        return [&table, row, bits](int x) -> QRgb {
            if (bits == 8) return table[row[x]];
            const std::uint8_t* bgr = row + 3 * static_cast<std::uint64_t>(x);
            return qRgb(bgr[2], bgr[1], bgr[0]);
        };
    });
}

QImage SampleLiveWindowForView(const LiveWindowFrame& frame, const CViewportTransform& viewport, const QRect& viewRect,
                               int oversample) {
    if (!IsLiveWindowFrame(frame) || viewRect.isEmpty()) return {};
    const int height = DibHeight(frame.shown);
    const std::array<QRgb, 256> table = DibColours(frame.shown);
    const std::uint8_t* pixels = DibBits(frame.shown);
    const std::uint64_t stride = DibRowStride(frame.shown);
    const FrameRenderer& render = *frame.render;
    const FrameSamples& samples = *frame.samples;
    const int columns = samples.columns;
    const std::uint8_t* bytes = samples.bytes.data();
    // The padding columns of row `y` of the shown bitmap (rows are stored bottom-up).
    const auto padding = [&](int y) { return pixels + static_cast<std::uint64_t>(height - 1 - y) * stride; };
    const std::span<const std::uint8_t> greys = render.GreyTable();
    if (samples.layout == SampleLayout::Grey16 && greys.size() >= 65536) {
        // The common case, a table lookup per sample, inline.
        const std::uint8_t* grey = greys.data();
        return SampleForView(viewport, viewRect, oversample, [&](int y) {
            const std::uint8_t* row = bytes + 2 * static_cast<std::uint64_t>(y) * static_cast<std::uint64_t>(columns);
            return [&table, grey, row, pad = padding(y), columns](int x) -> QRgb {
                if (x >= columns) return table[pad[x]];
                const std::uint8_t* s = row + 2 * static_cast<std::uint64_t>(x);
                return table[grey[s[0] | (s[1] << 8)]];
            };
        });
    }
    if (samples.layout == SampleLayout::Grey8 && greys.size() >= 256) {
        const std::uint8_t* grey = greys.data();
        return SampleForView(viewport, viewRect, oversample, [&](int y) {
            const std::uint8_t* row = bytes + static_cast<std::uint64_t>(y) * static_cast<std::uint64_t>(columns);
            return [&table, grey, row, pad = padding(y), columns](int x) -> QRgb {
                return x >= columns ? table[pad[x]] : table[grey[row[x]]];
            };
        });
    }
    // 32-bit and float samples: each through the render's own arithmetic.
    return SampleForView(viewport, viewRect, oversample, [&](int y) {
        const std::size_t first = static_cast<std::size_t>(y) * static_cast<std::size_t>(columns);
        return [&table, &render, &samples, pad = padding(y), columns, first](int x) -> QRgb {
            if (x >= columns) return table[pad[x]];
            return table[render.GreyAt(samples, first + static_cast<std::size_t>(x))];
        };
    });
}
