// The bytes that CDicomFile::WriteDicomFile puts in a file, built in memory so that
// they can be checked and written in one piece.
#pragma once

#include <cstdint>
#include <string>

#include "image/PackedDib.h"
#include "io/Reason.h"

// Why an image cannot be written as a DICOM file (besides the block's own
// BmpFailure and the writer's WriteFailure).
enum class DicomWriteFailure {
    NothingToSave,
    UnsupportedDepth,  // First: the bit count
    TooLarge,
    OutOfMemory,
};
std::string ReasonText(DicomWriteFailure code, const Reason& reason);

// Appends to `out` the 14 implicit-VR elements describing `dib` (8- or 24-bit). False,
// with the reason in `why` when given, for a bitmap that cannot be written.
bool EncodeDicomStream(const PackedDib* dib, std::string& out, Reason* why);

// Zero bytes added after the pixels so that the pixel-data length's two low bytes,
// which follow the tag where an explicit VR would stand, are no VR code: 0 for most
// lengths, 1 or 2 for the few that collide (4 x 4177 8-bit pixels are 0x4144, "DA").
std::uint32_t PixelDataPadding(std::uint32_t length);
