#include "views/ScaledDibImage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "views/DibImage.h"
#include "views/ViewportTransform.h"

namespace {

// Position of sub-sample `sub` of view pixel `pixel` in a list of `perPixel` sub-samples per pixel.
std::size_t Index(int pixel, int perPixel, int sub) {
    return static_cast<std::size_t>(pixel) * static_cast<std::size_t>(perPixel) + static_cast<std::size_t>(sub);
}

// The source index of each of `count` samples from view position `start`, or -1
// off the image.
std::vector<int> SourceIndices(int start, int count, int oversample, double offset, double zoom, int limit) {
    std::vector<int> indices(static_cast<std::size_t>(count) * oversample);
    for (int i = 0; i < count * oversample; ++i) {
        const double view = start + (i + 0.5) / oversample;
        const int source = static_cast<int>(std::floor((view + offset) / zoom));
        indices[static_cast<std::size_t>(i)] = source >= 0 && source < limit ? source : -1;
    }
    return indices;
}

}  // namespace

QImage SampleDibForView(const PackedDib* dib, const CViewportTransform& viewport, const QRect& viewRect,
                        int oversample) {
    if (!dib || !DibIsComplete(dib) || viewRect.isEmpty()) return {};
    const int bits = DibBitCount(dib);
    if (bits != 8 && bits != 24) return {};
    const int width = DibWidth(dib);
    const int height = DibHeight(dib);
    oversample = std::max(1, oversample);
    const std::vector<int> xs = SourceIndices(viewRect.left(), viewRect.width(), oversample, viewport.Offset().x(),
                                              viewport.Zoom(), width);
    const std::vector<int> ys = SourceIndices(viewRect.top(), viewRect.height(), oversample, viewport.Offset().y(),
                                              viewport.Zoom(), height);
    const std::array<QRgb, 256> table = bits == 8 ? DibColours(dib) : std::array<QRgb, 256>{};
    const std::uint8_t* pixels = DibBits(dib);
    const std::uint64_t stride = DibRowStride(dib);
    auto sample = [&](int x, int y) -> QRgb {
        const std::uint8_t* row = pixels + static_cast<std::uint64_t>(height - 1 - y) * stride;
        if (bits == 8) return table[row[x]];
        const std::uint8_t* bgr = row + 3 * static_cast<std::uint64_t>(x);
        return qRgb(bgr[2], bgr[1], bgr[0]);
    };

    QImage image(viewRect.size(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return image;
    const int n = oversample;
    for (int vy = 0; vy < viewRect.height(); ++vy) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(vy));
        for (int vx = 0; vx < viewRect.width(); ++vx) {
            int r = 0, g = 0, b = 0, hits = 0;
            for (int sy = 0; sy < n; ++sy) {
                const int y = ys[Index(vy, n, sy)];
                if (y < 0) continue;
                for (int sx = 0; sx < n; ++sx) {
                    const int x = xs[Index(vx, n, sx)];
                    if (x < 0) continue;
                    const QRgb c = sample(x, y);
                    r += qRed(c), g += qGreen(c), b += qBlue(c), ++hits;
                }
            }
            out[vx] = hits == 0 ? 0u : qRgb(r / hits, g / hits, b / hits);
        }
    }
    return image;
}
