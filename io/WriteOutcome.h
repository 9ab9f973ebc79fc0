// The result of writing a file: whether every byte reached the disk and, if not,
// the reason the document can show the user; and whether a write may replace a file.
#pragma once

#include <utility>

#include "io/Reason.h"

// What a write does with a file already at its path: replace it (a save), or keep it
// and fail (a batch writing names it chose, which another program may take meanwhile).
enum class Placement { ReplaceExisting, KeepExisting };

struct WriteOutcome {
    bool written = false;
    Reason reason;  // empty when written

    static WriteOutcome Ok() { return {true, {}}; }
    static WriteOutcome Failed(Reason why) { return {false, std::move(why)}; }
};
