// Reading a whole file into memory, with the reason in plain words when it fails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The file's bytes, or false with `why` (when given) set to "cannot open <path>: <reason>".
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string* why);

// Stores `reason` in `why` when the caller asked for it.
inline void SetReason(std::string* why, const std::string& reason) {
    if (why != nullptr) {
        *why = reason;
    }
}
