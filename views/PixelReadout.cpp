#include "views/PixelReadout.h"

#include <cmath>
#include <cstdint>
#include <span>

#include "dicom/DicomFile.h"

namespace {

QString Number(double value) {
    if (value == std::floor(value) && std::fabs(value) < 1e15) return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 6);
}

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

}  // namespace

std::optional<int> StoredSample(const CDicomFile& dicom, int frame, QPoint p) {
    if (p.x() < 0 || p.y() < 0 || p.x() >= dicom.m_nColumns || p.y() >= dicom.m_nRows) return std::nullopt;
    // The frame the reader converted last, compressed or not: kept, so a mouse move
    // neither reads nor decodes.
    const std::span<const std::uint8_t> samples = dicom.FrameSamples(frame);
    const std::uint64_t bytes = dicom.m_nBitsAllocated / 8;
    const std::uint64_t index =
        static_cast<std::uint64_t>(p.y()) * dicom.m_nColumns + static_cast<std::uint64_t>(p.x());
    if (bytes == 0 || (index + 1) * bytes > samples.size()) return std::nullopt;
    const std::uint8_t* at = samples.data() + index * bytes;
    std::uint32_t raw = bytes == 1 ? at[0] : at[0] | (std::uint32_t{at[1]} << 8);
    // Bits above the stored ones may hold anything; a signed value extends its top bit.
    const int allocated = static_cast<int>(bytes * 8);
    const int stored = dicom.m_nBitsStored > 0 && dicom.m_nBitsStored < allocated ? dicom.m_nBitsStored : allocated;
    raw &= (1u << stored) - 1u;
    if (dicom.m_nPixelRepresentation == 1 && (raw & (1u << (stored - 1))) != 0) {
        return static_cast<int>(raw) - (1 << stored);
    }
    return static_cast<int>(raw);
}

QString PixelReadoutText(const CDicomFile& dicom, const PackedDib* shown, int frame, QPoint p) {
    if (!shown || p.x() < 0 || p.y() < 0 || p.x() >= DibWidth(shown) || p.y() >= DibHeight(shown)) return {};
    const QString where = QStringLiteral("Pixel (%1, %2): ").arg(p.x()).arg(p.y());
    if (const std::optional<int> stored = StoredSample(dicom, frame, p)) {
        const double value = *stored * dicom.m_dRescaleSlope + dicom.m_dRescaleIntercept;
        QString text = where + QStringLiteral("stored %1, value %2").arg(*stored).arg(Number(value));
        if (dicom.m_strModality == "CT") text += QStringLiteral(" HU");
        return text;
    }
    const QString pixel = ShownPixel(shown, p);
    return pixel.isEmpty() ? QString() : where + pixel;
}
