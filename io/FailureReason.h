// Failures of the file readers, told in plain words that the caller can show.
#pragma once

#include <string>

// Stores `reason` in `why` when the caller asked for it.
inline void SetReason(std::string* why, const std::string& reason) {
    if (why != nullptr) {
        *why = reason;
    }
}
