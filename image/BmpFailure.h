// Why a bitmap block or .bmp file cannot be used, read or written.
#pragma once

#include <string>

#include "io/Reason.h"

enum class BmpFailure {
    // The block itself (any bitmap the program is handed).
    NoImage,
    HeaderMissing,
    UnknownHeaderSize,
    HeaderCutShort,
    MorePlanes,
    Compressed,           // a compression the program does not decode
    UnsupportedBitCount,  // First: the bit count
    ColourTableCutShort,
    RowsCutShort,
    // A .bmp file.
    FileTooShort,
    NotBitmap,
    NegativeWidth,
    TooLarge,        // First x Second: the width and height
    TooLargeToShow,  // First x Second: the width and height, beyond the image size limit
    MasksMissing,
    OutOfMemory,
    // Run-length compressed rows.
    RunPastBounds,       // First, Second: the column and row (from the bottom) where it starts
    RunDataCutShort,     // the compressed bytes end inside a command
    CompressedTooLarge,  // First x Second: far more pixels than the compressed data could describe
    // Writing.
    NothingToSave,
    TooLargeForFile,
};
std::string ReasonText(BmpFailure code, const Reason& reason);
const char* ReasonSummary(BmpFailure code);
const char* ReasonName(BmpFailure code);
