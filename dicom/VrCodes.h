// The value representations the reader takes for explicit VR codes, in one list that
// the reader and the writer share: the reader decides element by element whether two
// bytes are a VR code, and the writer pads its pixel data so that its length's two
// low bytes are never taken for one.
#pragma once

#include <cstdint>

// Whether the two bytes are one of the 34 codes the reader knows, in any letter case.
bool IsKnownVrCode(std::uint8_t first, std::uint8_t second);
// Whether the code takes the long explicit form (two reserved bytes, a 32-bit length):
// OB, OW, SQ, UN, UT, OD, OF, OL, OV, SV, UC, UR and UV, in any letter case.
bool IsLongFormVrCode(std::uint8_t first, std::uint8_t second);
