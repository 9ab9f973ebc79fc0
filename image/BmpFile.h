// Windows bitmap (.bmp) files: a 14-byte file header followed by the packed
// bitmap block byte for byte.
#pragma once

#include <string>

#include "image/PackedDib.h"
#include "io/WriteOutcome.h"

// Reads a .bmp file into a new block: what follows the 14-byte file header, as far
// as the bitmap header declares the picture (header, colour table, rows, an embedded
// colour profile) and up to 64 KiB beyond, never the rest of a larger file. Rows
// after a gap are taken from right after the colour table, the gap first. Top-down
// rows are turned bottom-up and 16- or 32-bit pixels become 24-bit ones, so the rest
// of the program sees the layout it knows.
// Only an ordinary file is read. Null on any failure, with the reason in `why` when
// it is given (a FileReadFailure or a BmpFailure).
PackedDibPtr ReadBmpFile(const std::string& path, Reason* why = nullptr);

// The same from bytes already in memory (the whole file, file header included).
PackedDibPtr ReadBmpBytes(const std::uint8_t* bytes, std::size_t size, Reason* why = nullptr);

// Writes "BM", the file size, two zero words, the offset of the rows, then the block.
// `placement` says whether a file at the path is replaced.
WriteOutcome WriteBmpFile(const PackedDib* dib, const std::string& path,
                          Placement placement = Placement::ReplaceExisting);
