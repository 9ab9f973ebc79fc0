// The result of writing a file: whether every byte reached the disk and, if not,
// the reason the document can show the user.
#pragma once

#include <utility>

#include "io/Reason.h"

struct WriteOutcome {
    bool written = false;
    Reason reason;  // empty when written

    static WriteOutcome Ok() { return {true, {}}; }
    static WriteOutcome Failed(Reason why) { return {false, std::move(why)}; }
};
