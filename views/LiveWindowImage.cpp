#include "views/LiveWindowImage.h"

#include <array>

#include "views/DibImage.h"

bool IsLiveWindowFrame(const LiveWindowFrame& frame) {
    if (!frame.shown || !DibIsComplete(frame.shown) || DibBitCount(frame.shown) != 8) return false;
    const auto rows = static_cast<std::uint64_t>(DibHeight(frame.shown));
    return frame.columns > 0 && frame.columns <= DibWidth(frame.shown) &&
           frame.samples.size() == rows * static_cast<std::uint64_t>(frame.columns) * 2;
}

QImage LiveWindowToImage(const LiveWindowFrame& frame, QRect part) {
    if (!IsLiveWindowFrame(frame) || !frame.grey) return {};
    const int height = DibHeight(frame.shown);
    part = part.intersected(QRect(0, 0, DibWidth(frame.shown), height));
    if (part.isEmpty()) return {};
    QImage image(part.size(), QImage::Format_RGB32);
    if (image.isNull()) return {};
    const std::array<QRgb, 256> table = DibColours(frame.shown);
    const std::uint8_t* grey = frame.grey->data();
    const std::uint64_t stride = DibRowStride(frame.shown);
    const auto columns = static_cast<std::uint64_t>(frame.columns);
    for (int y = 0; y < part.height(); ++y) {
        const auto row = static_cast<std::uint64_t>(part.top()) + static_cast<std::uint64_t>(y);
        const std::uint8_t* samples = frame.samples.data() + 2 * row * columns;
        // Columns past the samples are the bitmap's padding, stored bottom-up.
        const std::uint8_t* padding = DibBits(frame.shown) + (static_cast<std::uint64_t>(height) - 1 - row) * stride;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < part.width(); ++x) {
            const auto column = static_cast<std::uint64_t>(part.left()) + static_cast<std::uint64_t>(x);
            out[x] = column < columns ? table[grey[samples[2 * column] | (samples[2 * column + 1] << 8)]]
                                      : table[padding[column]];
        }
    }
    return image;
}
