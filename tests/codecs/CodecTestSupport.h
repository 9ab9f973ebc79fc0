// Helpers for tests that make compressed files with DCMTK's and OpenJPEG's tools
// and read them back without the reader: the tools run as separate processes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Whether `tool` is on the PATH.
bool HaveTool(const std::string& tool);
// Runs `command` through the shell with its output discarded; true when it exits 0.
bool RunQuietly(const std::string& command);
std::vector<std::uint8_t> ReadBytes(const std::string& path);
// Decoded samples as a plain vector, to compare with an expected one and print.
template <class Bytes>
std::vector<std::uint8_t> PlainBytes(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

// The value of the last Pixel Data element of an explicit VR little-endian file:
// for encapsulated data, everything after its header (the items); otherwise the
// value itself. Empty when there is none.
std::span<const std::uint8_t> PixelDataValue(const std::vector<std::uint8_t>& file, bool* encapsulated);
