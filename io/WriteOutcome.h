// The result of writing a file: whether every byte reached the disk and, if not,
// why in plain words that the document can show the user.
#pragma once

#include <string>

struct WriteOutcome {
    bool written = false;
    std::string reason;  // empty when written

    static WriteOutcome Ok() { return {true, {}}; }
    static WriteOutcome Failed(std::string why) { return {false, std::move(why)}; }
};
