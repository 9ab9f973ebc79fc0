#include "views/LiveWindowImage.h"

#include <array>
#include <vector>

#include "views/DibImage.h"

bool IsLiveWindowFrame(const LiveWindowFrame& frame) {
    if (!frame.shown || !frame.samples || !frame.render || frame.render->BitCount() != 8) return false;
    if (!DibIsComplete(frame.shown) || DibBitCount(frame.shown) != 8) return false;
    const FrameSamples& s = *frame.samples;
    return s.frames == 1 && s.columns > 0 && s.columns <= DibWidth(frame.shown) && s.rows == DibHeight(frame.shown) &&
           s.layout != SampleLayout::Rgb8 && s.bytes.size() >= s.Pixels() * SampleBytes(s.layout);
}

QImage LiveWindowToImage(const LiveWindowFrame& frame, QRect part) {
    if (!IsLiveWindowFrame(frame)) return {};
    const int height = DibHeight(frame.shown);
    part = part.intersected(QRect(0, 0, DibWidth(frame.shown), height));
    if (part.isEmpty()) return {};
    QImage image(part.size(), QImage::Format_RGB32);
    if (image.isNull()) return {};
    const std::array<QRgb, 256> table = DibColours(frame.shown);
    const std::uint64_t stride = DibRowStride(frame.shown);
    const int columns = frame.samples->columns;
    // The samples' columns drawn through the dragged window, the rest the bitmap's padding.
    const int drawn = std::max(0, std::min(part.right() + 1, columns) - part.left());
    std::vector<std::uint8_t> greys(static_cast<std::size_t>(drawn));
    for (int y = 0; y < part.height(); ++y) {
        const int row = part.top() + y;
        if (drawn > 0) frame.render->RenderPart(*frame.samples, part.left(), row, drawn, 1, greys.data(), greys.size());
        const std::uint8_t* padding = DibBits(frame.shown) + static_cast<std::uint64_t>(height - 1 - row) * stride;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < part.width(); ++x) {
            const int column = part.left() + x;
            out[x] = column < columns ? table[greys[static_cast<std::size_t>(x)]] : table[padding[column]];
        }
    }
    return image;
}
