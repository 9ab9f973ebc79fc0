// Cutting a rectangle out of an 8-bit bitmap.
#pragma once

#include "image/Geometry.h"
#include "image/PackedDib.h"

// A new 8-bit block holding the rectangle of `source` (normalised and clipped to the
// image first: the one place a selection is clipped),
// its width rounded up to a multiple of 4, the source's colour table kept.
// Null for a null or non-8-bit source.
PackedDibPtr CropDib(DibRect rect, const PackedDib* source);
