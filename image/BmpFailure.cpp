#include "image/BmpFailure.h"

std::string ReasonText(BmpFailure code, const Reason& reason) {
    switch (code) {
    case BmpFailure::NoImage: return "there is no image";
    case BmpFailure::HeaderMissing: return "the bitmap header is missing";
    case BmpFailure::UnknownHeaderSize: return "the bitmap header has an unknown size";
    case BmpFailure::HeaderCutShort: return "the bitmap header is cut short";
    case BmpFailure::MorePlanes: return "the bitmap has more than one plane";
    case BmpFailure::Compressed: return "the bitmap is compressed";
    case BmpFailure::UnsupportedBitCount:
        return "the bitmap has an unsupported number of bits per pixel (" + std::to_string(reason.First()) + ")";
    case BmpFailure::ColourTableCutShort: return "the colour table is cut short";
    case BmpFailure::RowsCutShort: return "the pixel rows are cut short";
    case BmpFailure::FileTooShort: return "the file is too short to be a bitmap";
    case BmpFailure::NotBitmap: return "the file is not a bitmap (it does not begin with \"BM\")";
    case BmpFailure::NegativeWidth: return "the bitmap has a negative width";
    case BmpFailure::TooLarge:
        return "the bitmap is larger than 65,535 pixels on a side (" + std::to_string(reason.First()) + " x " +
               std::to_string(reason.Second()) + ")";
    case BmpFailure::TooLargeToShow:
        return "too large to show (" + std::to_string(reason.First()) + " x " + std::to_string(reason.Second()) + ")";
    case BmpFailure::MasksMissing: return "the bitmap's colour masks are missing";
    case BmpFailure::OutOfMemory: return "there is not enough memory for the bitmap";
    case BmpFailure::RunPastBounds:
        return "a compressed run passes the edge of the bitmap (at column " + std::to_string(reason.First()) +
               " of row " + std::to_string(reason.Second()) + " from the bottom)";
    case BmpFailure::RunDataCutShort: return "the compressed pixel data is cut short";
    case BmpFailure::CompressedTooLarge:
        return "the compressed bitmap announces far more pixels (" + std::to_string(reason.First()) + " x " +
               std::to_string(reason.Second()) + ") than its data could describe";
    case BmpFailure::NothingToSave: return "there is no image to save";
    case BmpFailure::TooLargeForFile: return "the image is too large for a bitmap file";
    }
    return "the bitmap cannot be used";
}

const char* ReasonName(BmpFailure code) {
    switch (code) {
    case BmpFailure::NoImage: return "bmp_no_image";
    case BmpFailure::HeaderMissing: return "bmp_header_missing";
    case BmpFailure::UnknownHeaderSize: return "bmp_unknown_header_size";
    case BmpFailure::HeaderCutShort: return "bmp_header_cut_short";
    case BmpFailure::MorePlanes: return "bmp_more_planes";
    case BmpFailure::Compressed: return "bmp_compressed";
    case BmpFailure::UnsupportedBitCount: return "bmp_unsupported_bit_count";
    case BmpFailure::ColourTableCutShort: return "bmp_colour_table_cut_short";
    case BmpFailure::RowsCutShort: return "bmp_rows_cut_short";
    case BmpFailure::FileTooShort: return "bmp_file_too_short";
    case BmpFailure::NotBitmap: return "not_bitmap";
    case BmpFailure::NegativeWidth: return "bmp_negative_width";
    case BmpFailure::TooLarge: return "bmp_too_large";
    case BmpFailure::TooLargeToShow: return "too_large_to_show";
    case BmpFailure::MasksMissing: return "bmp_masks_missing";
    case BmpFailure::OutOfMemory: return "out_of_memory";
    case BmpFailure::RunPastBounds: return "bmp_run_past_bounds";
    case BmpFailure::RunDataCutShort: return "bmp_run_data_cut_short";
    case BmpFailure::CompressedTooLarge: return "bmp_compressed_too_large";
    case BmpFailure::NothingToSave: return "nothing_to_save";
    case BmpFailure::TooLargeForFile: return "bmp_too_large_for_file";
    }
    return "unknown";
}

const char* ReasonSummary(BmpFailure code) {
    switch (code) {
    case BmpFailure::UnsupportedBitCount: return "the bitmap has an unsupported number of bits per pixel";
    case BmpFailure::TooLarge: return "the bitmap is larger than 65,535 pixels on a side";
    case BmpFailure::TooLargeToShow: return "too large to show";
    case BmpFailure::RunPastBounds: return "a compressed run passes the edge of the bitmap";
    case BmpFailure::CompressedTooLarge:
        return "the compressed bitmap announces far more pixels than its data could describe";
    default: return nullptr;
    }
}
