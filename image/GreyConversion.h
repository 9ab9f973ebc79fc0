// Turning a 24-bit colour bitmap into an 8-bit grey one.
#pragma once

#include "image/PackedDib.h"

// Consumes `source` (24-bit) and returns a new 8-bit grey block, its width rounded
// up to a multiple of 4; grey = trunc((R x 0.29 + B x 0.11) + G x 0.6).
PackedDibPtr ConvertDibTo8Bpp(PackedDibPtr source);
