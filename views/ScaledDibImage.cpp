#include "views/ScaledDibImage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "views/DibImage.h"
#include "views/LiveWindowImage.h"
#include "views/ViewportTransform.h"

namespace {

// The source index of each of `count` x `oversample` samples from view position
// `start`, or -1 off the image.
std::vector<int> SourceIndices(int start, int count, int oversample, double offset, double zoom, int limit) {
    const std::size_t samples = static_cast<std::size_t>(count) * static_cast<std::size_t>(oversample);
    std::vector<int> indices(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        const double view = start + (static_cast<double>(i) + 0.5) / oversample;
        const int source = static_cast<int>(std::floor((view + offset) / zoom));
        indices[i] = source >= 0 && source < limit ? source : -1;
    }
    return indices;
}

// The view pixels of `viewRect` for a picture of width x height pixels whose row y
// (top first) `rowOf(y)` gives as a callable from column to colour: each the pixel
// under its centre, or the mean of oversample x oversample samples.
template <typename RowOf>
QImage SampleForView(int width, int height, const CViewportTransform& viewport, const QRect& viewRect, int oversample,
                     const RowOf& rowOf) {
    const int n = std::max(1, oversample);
    const std::vector<int> xs =
        SourceIndices(viewRect.left(), viewRect.width(), n, viewport.Offset().x(), viewport.Zoom(), width);
    const std::vector<int> ys =
        SourceIndices(viewRect.top(), viewRect.height(), n, viewport.Offset().y(), viewport.Zoom(), height);
    QImage image(viewRect.size(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return image;
    const auto columns = static_cast<std::size_t>(viewRect.width());
    if (n == 1) {
        // Nearest neighbour: one sample a pixel, nothing to average.
        for (int vy = 0; vy < viewRect.height(); ++vy) {
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(vy));
            const int y = ys[static_cast<std::size_t>(vy)];
            if (y < 0) {
                std::fill(out, out + columns, 0u);
                continue;
            }
            const auto colour = rowOf(y);
            for (std::size_t vx = 0; vx < columns; ++vx)
                out[vx] = xs[vx] < 0 ? 0u : colour(xs[vx]);
        }
        return image;
    }
    using Row = decltype(rowOf(0));
    std::vector<Row> rows;
    rows.reserve(static_cast<std::size_t>(n));
    for (int vy = 0; vy < viewRect.height(); ++vy) {
        rows.clear();
        for (int sy = 0; sy < n; ++sy) {
            const int y = ys[static_cast<std::size_t>(vy) * n + static_cast<std::size_t>(sy)];
            if (y >= 0) rows.push_back(rowOf(y));
        }
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(vy));
        for (std::size_t vx = 0; vx < columns; ++vx) {
            int r = 0, g = 0, b = 0, hits = 0;
            for (int sx = 0; sx < n; ++sx) {
                const int x = xs[vx * n + static_cast<std::size_t>(sx)];
                if (x < 0) continue;
                for (const Row& colour : rows) {
                    const QRgb c = colour(x);
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
    return SampleForView(DibWidth(dib), height, viewport, viewRect, oversample, [&](int y) {
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
    return SampleForView(DibWidth(frame.shown), height, viewport, viewRect, oversample, [&](int y) {
        const std::uint8_t* padding = pixels + static_cast<std::uint64_t>(height - 1 - y) * stride;
        const std::size_t first = static_cast<std::size_t>(y) * static_cast<std::size_t>(columns);
        return [&table, &render, &samples, padding, columns, first](int x) -> QRgb {
            if (x >= columns) return table[padding[x]];
            return table[render.GreyAt(samples, first + static_cast<std::size_t>(x))];
        };
    });
}
