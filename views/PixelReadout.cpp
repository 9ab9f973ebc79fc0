#include "views/PixelReadout.h"

#include <cmath>
#include <cstdint>

#include "document/DorvanelleDoc.h"
#include "views/SliderScale.h"

namespace {

// The displayed pixel: its grey level or colour table index, or its colour.
QString ShownPixel(const PackedDib* shown, QPoint p) {
    const std::uint64_t stride = DibRowStride(shown);
    const std::uint8_t* row = DibBits(shown) + static_cast<std::uint64_t>(DibHeight(shown) - 1 - p.y()) * stride;
    switch (DibBitCount(shown)) {
    case 8: return QString::number(row[p.x()]);
    case 24: {
        const std::uint8_t* bgr = row + 3 * static_cast<std::uint64_t>(p.x());
        return QStringLiteral("R %1, G %2, B %3").arg(bgr[2]).arg(bgr[1]).arg(bgr[0]);
    }
    default: return {};
    }
}

QString Units(const std::string& units) {
    if (units == "GY") return QStringLiteral(" Gy");
    if (units.empty()) return {};
    return QLatin1Char(' ') + QString::fromLatin1(units.data(), static_cast<qsizetype>(units.size()));
}

}  // namespace

std::optional<double> StoredSample(const CDorvanelleDoc& doc, QPoint p) {
    const ImageAttributes* a = doc.Attributes();
    const FrameSamples* samples = doc.Samples().get();
    if (a == nullptr || samples == nullptr || samples->layout == SampleLayout::Rgb8) return std::nullopt;
    if (p.x() < 0 || p.y() < 0 || p.x() >= samples->columns || p.y() >= samples->rows) return std::nullopt;
    // The samples of the frame shown are kept: a mouse move neither reads nor decodes.
    const std::size_t index = static_cast<std::size_t>(p.y()) * samples->columns + static_cast<std::size_t>(p.x());
    if (samples->bytes.size() < (index + 1) * SampleBytes(samples->layout)) return std::nullopt;
    return StoredValueAt(*samples, *a, index);
}

QString PixelReadoutText(const CDorvanelleDoc& doc, QPoint p) {
    const PackedDib* shown = doc.m_pDib.get();
    if (!shown || p.x() < 0 || p.y() < 0 || p.x() >= DibWidth(shown) || p.y() >= DibHeight(shown)) return {};
    const QString where = QStringLiteral("Pixel (%1, %2): ").arg(p.x()).arg(p.y());
    if (const std::optional<double> stored = StoredSample(doc, p)) {
        const ImageAttributes& a = *doc.Attributes();
        if (DibBitCount(shown) == 24) {
            // Palette colour: the index the file stores, and the colour it stands for.
            return where + QStringLiteral("index %1, %2").arg(SliderScale::Text(*stored), ShownPixel(shown, p));
        }
        const double value = a.Frame(doc.m_nFrame).modality.Apply(*stored);
        return where + QStringLiteral("stored %1, value %2").arg(SliderScale::Text(*stored), SliderScale::Text(value)) +
               Units(a.units);
    }
    const QString pixel = ShownPixel(shown, p);
    return pixel.isEmpty() ? QString() : where + pixel;
}
