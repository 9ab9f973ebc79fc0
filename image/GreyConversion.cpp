#include "image/GreyConversion.h"

PackedDibPtr ConvertDibTo8Bpp(PackedDibPtr source) {
    if (!source || !DibIsComplete(source.get()) || DibBitCount(source.get()) != 24) {
        return nullptr;
    }
    const std::uint16_t width = DibWidth(source.get());
    const std::uint16_t height = DibHeight(source.get());
    PackedDibPtr grey = CreateGreyDib(BuiltWidth(width), height);
    if (!grey) {
        return nullptr;
    }
    const std::uint64_t sourceStride = DibRowStride(source.get());
    const std::uint64_t greyStride = DibRowStride(grey.get());
    const std::uint8_t* from = DibBits(source.get());
    std::uint8_t* to = DibBits(grey.get());
    // Rows keep their stored order; the columns added on the right stay 0.
    for (std::uint32_t k = 0; k < height; ++k) {
        const std::uint8_t* pixel = from + k * sourceStride;
        std::uint8_t* out = to + k * greyStride;
        for (std::uint32_t j = 0; j < width; ++j, pixel += 3) {
            const double blue = pixel[0];
            const double green = pixel[1];
            const double red = pixel[2];
            // This order of the sums decides which greys lose one by truncation.
            out[j] = static_cast<std::uint8_t>((red * 0.29 + blue * 0.11) + green * 0.6);
        }
    }
    return grey;
}
