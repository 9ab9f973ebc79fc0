// The progress of a batch on a terminal: one line on standard error, redrawn in
// place, with the count, the rate and the time left.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

class ProgressBar {
public:
    // Draws only when `stream` is a terminal.
    ProgressBar(std::FILE* stream, std::size_t total);

    // `done` inputs of the total are finished; redrawn at most ten times a second.
    void Update(std::size_t done);
    // For a total learnt on the way (files a server says it will send).
    void SetTotal(std::size_t total) { m_total = total; }
    // Wipes the line so that a message can be printed; the next Update draws it again.
    void Clear();

    // The line for `done` of `total` after `seconds`, fitted to `columns`:
    // "[#####.....]  120/400  35.2 files/s  0:08 left".
    static std::string Line(std::size_t done, std::size_t total, double seconds, int columns);

private:
    int Columns() const;

    std::FILE* m_stream;
    std::size_t m_total;
    bool m_enabled;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
};
