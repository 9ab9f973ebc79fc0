#include "tools/cli/StopSignals.h"

#include <atomic>
#include <csignal>

namespace {

// Set by the signal handler, read by the jobs between files and frames.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);
// What SIGINT and SIGTERM did before the run: the handler puts it back at once, so
// that a second Ctrl+C ends the program (through the temporary-file cleanup, when
// that was installed) without waiting for the files being converted.
struct sigaction g_before[2];

constexpr int kStopSignals[2] = {SIGINT, SIGTERM};

extern "C" void OnStopSignal(int signal) {
    g_stopSignal.store(signal);
    for (int i = 0; i < 2; ++i) {
        if (kStopSignals[i] == signal) sigaction(signal, &g_before[i], nullptr);
    }
}

}  // namespace

StopSignals::StopSignals() {
    g_stopSignal.store(0);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 2; ++i) {
        sigaction(kStopSignals[i], nullptr, &g_before[i]);
        if (g_before[i].sa_handler != SIG_IGN) sigaction(kStopSignals[i], &action, nullptr);
    }
}

StopSignals::~StopSignals() {
    for (int i = 0; i < 2; ++i)
        sigaction(kStopSignals[i], &g_before[i], nullptr);
}

int StopSignals::Caught() { return g_stopSignal.load(); }
