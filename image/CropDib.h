// Cutting a rectangle out of an 8-bit grey or 24-bit colour bitmap.
#pragma once

#include "image/Geometry.h"
#include "image/PackedDib.h"

// A new block holding the rectangle of `source` (normalised and clipped to the image
// first: the one place a selection is clipped). An 8-bit crop has its width rounded
// up to a multiple of 4 and the source's colour table; a 24-bit crop keeps its exact
// width. Null for a null source or one of another depth.
PackedDibPtr CropDib(DibRect rect, const PackedDib* source);
