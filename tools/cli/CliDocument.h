// How every subcommand that shows an image (info, convert, histogram, and each
// input of a batch) opens its file: as the viewer opens it, at the frame asked for,
// then the window and the selection applied in that fixed order, whatever order
// the options were given in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "document/DorvanelleDoc.h"
#include "tools/cli/CliOptions.h"

// Opens `path` into `doc` with the options applied, at `frame` when given instead of
// --frame (a series input names the frame it stands for). False when the file cannot
// be opened at all (doc.OpenError() says why); a file that gives no image opens.
bool OpenWithOptions(CDorvanelleDoc& doc, const CliOptions& options, const std::string& path,
                     std::optional<std::int32_t> frame = std::nullopt);
// The picture convert writes: the image, or with --select the part of it the
// selection holds. Null when there is none, and when the selection holds no pixel
// of the image: the crop of a rectangle outside the image is a picture of 0 x 0
// pixels, which is nothing to write.
const PackedDib* PictureToWrite(const CDorvanelleDoc& doc, const CliOptions& options);
