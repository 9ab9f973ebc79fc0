// Bringing a bitmap block taken from a file into the layout the rest of the program
// knows: bottom-up rows and 1-, 4-, 8- or 24-bit uncompressed pixels.
#pragma once

#include <string>

#include "image/PackedDib.h"

// Turns top-down rows bottom-up (in place), 16- or 32-bit pixels, plain or with
// bit-field masks, into a new 24-bit block, and run-length compressed 4- and 8-bit
// pixels into a new uncompressed block. A block that still cannot be trusted (another
// compression, cut short, too large for 16-bit sizes) gives null and the reason.
PackedDibPtr NormaliseBmpBlock(PackedDibPtr block, Reason* why);
