#include "dicom/DicomWriter.h"

#include <array>
#include <cstring>
#include <exception>
#include <span>

#include "dicom/DicomFile.h"
#include "dicom/VrCodes.h"
#include "io/AtomicFileWriter.h"
#include "io/ByteOrder.h"

namespace {

constexpr std::uint16_t kImageGroup = 0x0028;
constexpr std::uint16_t kPixelGroup = 0x7FE0;
constexpr std::uint16_t kPixelDataElement = 0x0010;
constexpr std::uint64_t kLargestFile = 0xFFFFFFFFull;  // the reader keeps sizes in 32 bits

void AppendText(std::string& out, std::uint16_t group, std::uint16_t element, const char* text) {
    CDicomFile::WriteElement(out, group, element, static_cast<std::uint32_t>(std::strlen(text)), 0,
                             reinterpret_cast<const std::uint8_t*>(text));
}

void AppendShort(std::string& out, std::uint16_t group, std::uint16_t element, std::uint16_t value) {
    CDicomFile::WriteElement(out, group, element, 2, value);
}

void AppendTag(std::string& out, std::uint16_t group, std::uint16_t element, std::uint32_t length) {
    std::uint8_t header[8];
    WriteLE16(header, group);
    WriteLE16(header + 2, element);
    WriteLE32(header + 4, length);
    out.append(reinterpret_cast<const char*>(header), sizeof header);
}

// The picture's rows top to bottom without their padding; 24-bit pixels as red, green, blue.
void AppendPixels(std::string& out, const PackedDib* dib, std::uint64_t pixelBytes, std::uint32_t padding) {
    const std::uint16_t width = DibWidth(dib);
    const std::uint16_t height = DibHeight(dib);
    const bool colour = DibBitCount(dib) == 24;
    const std::uint64_t rowBytes = colour ? 3ull * width : width;
    const std::uint64_t stride = DibRowStride(dib);
    const std::uint8_t* bits = DibBits(dib);
    const std::size_t start = out.size();
    out.resize(start + pixelBytes + padding, '\0');
    auto* to = reinterpret_cast<std::uint8_t*>(out.data() + start);
    for (std::uint32_t r = 0; r < height; ++r, to += rowBytes) {
        const std::uint8_t* row = bits + (height - 1u - r) * stride;
        if (!colour) {
            std::memcpy(to, row, rowBytes);
            continue;
        }
        for (std::uint32_t j = 0; j < width; ++j) {
            to[3 * j + 0] = row[3 * j + 2];
            to[3 * j + 1] = row[3 * j + 1];
            to[3 * j + 2] = row[3 * j + 0];
        }
    }
}

}  // namespace

std::uint32_t PixelDataPadding(std::uint32_t length) {
    std::uint32_t padding = 0;
    // Stepping the first letter on leaves the codes after at most two steps ("CS", "DS",
    // "ES"); a carry into the second byte never lands on a letter pair.
    while (IsKnownVrCode(static_cast<std::uint8_t>(length + padding),
                         static_cast<std::uint8_t>((length + padding) >> 8))) {
        ++padding;
    }
    return padding;
}

void CDicomFile::WriteElement(std::string& out, std::uint16_t group, std::uint16_t element, std::uint32_t length,
                              std::uint16_t shortValue, const std::uint8_t* value) {
    AppendTag(out, group, element, length);
    if (value != nullptr) {
        out.append(reinterpret_cast<const char*>(value), length);
        return;
    }
    std::uint8_t two[2];
    WriteLE16(two, shortValue);
    out.append(reinterpret_cast<const char*>(two), sizeof two);
}

std::string ReasonText(DicomWriteFailure code, const Reason& reason) {
    switch (code) {
    case DicomWriteFailure::NothingToSave: return "there is no image to save";
    case DicomWriteFailure::UnsupportedDepth:
        return "only 8-bit grey and 24-bit colour images can be saved as DICOM (this one has " +
               std::to_string(reason.First()) + " bits per pixel)";
    case DicomWriteFailure::TooLarge: return "the image is too large for a DICOM file";
    case DicomWriteFailure::OutOfMemory: break;
    }
    return "there is not enough memory to save the image";
}

bool EncodeDicomStream(const PackedDib* dib, std::string& out, Reason* why) {
    auto fail = [why](Reason reason) {
        SetReason(why, std::move(reason));
        return false;
    };
    if (dib == nullptr) {
        return fail(DicomWriteFailure::NothingToSave);
    }
    if (Reason problem = DibLayoutProblem(dib)) {
        return fail(std::move(problem));
    }
    const std::uint16_t bitCount = DibBitCount(dib);
    if (bitCount != 8 && bitCount != 24) {
        return fail(Reason(DicomWriteFailure::UnsupportedDepth).Numbers(bitCount));
    }
    const bool colour = bitCount == 24;
    const std::uint64_t pixelBytes = std::uint64_t{DibWidth(dib)} * DibHeight(dib) * (colour ? 3 : 1);
    const std::uint64_t headerBytes = colour ? 135 : 144;
    if (out.size() + headerBytes + pixelBytes + 2 > kLargestFile) {
        return fail(DicomWriteFailure::TooLarge);
    }
    const std::uint32_t padding = PixelDataPadding(static_cast<std::uint32_t>(pixelBytes));
    try {
        out.reserve(out.size() + headerBytes + pixelBytes + padding);
    } catch (const std::exception&) {
        return fail(DicomWriteFailure::OutOfMemory);
    }
    AppendShort(out, kImageGroup, 0x0002, colour ? 3 : 1);                  // Samples per Pixel
    AppendText(out, kImageGroup, 0x0004, colour ? "RGB" : "MONOCHROME2 ");  // Photometric Interpretation
    AppendText(out, kImageGroup, 0x0008, "1");                              // Number of Frames
    AppendShort(out, kImageGroup, 0x0010, DibHeight(dib));                  // Rows
    AppendShort(out, kImageGroup, 0x0011, DibWidth(dib));                   // Columns
    AppendShort(out, kImageGroup, 0x0012, 1);                               // Planes
    AppendShort(out, kImageGroup, 0x0100, 8);                               // Bits Allocated
    AppendShort(out, kImageGroup, 0x0101, 8);                               // Bits Stored
    AppendShort(out, kImageGroup, 0x0102, 7);                               // High Bit
    AppendShort(out, kImageGroup, 0x0103, 1);                               // Pixel Representation
    AppendText(out, kImageGroup, 0x1050, "0");                              // Window Center
    AppendText(out, kImageGroup, 0x1051, "0");                              // Window Width
    AppendText(out, kImageGroup, 0x1052, "1");                              // Rescale Intercept
    AppendTag(out, kPixelGroup, kPixelDataElement, static_cast<std::uint32_t>(pixelBytes + padding));
    AppendPixels(out, dib, pixelBytes, padding);
    return true;
}

WriteOutcome CDicomFile::WriteDicomFile(const PackedDib* dib, const std::string& path, Placement placement) {
    std::string bytes;
    Reason why;
    if (!EncodeDicomStream(dib, bytes, &why)) {
        return WriteOutcome::Failed(why);
    }
    const std::span<const std::uint8_t> pieces[] = {
        {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}};
    return WriteFileAtomically(path, pieces, placement);
}
