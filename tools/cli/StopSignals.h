// Ctrl+C and SIGTERM during a batch conversion: the first asks the run to stop at
// the next point where nothing is half-written (between inputs, and between the
// frames of one input); a second ends the program at once.
#pragma once

class StopSignals {
public:
    // Catches SIGINT and SIGTERM for the object's life; a signal ignored when the
    // run starts (a job started in the background by a script) stays ignored.
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal caught since the run started, or 0.
    static int Caught();
};
