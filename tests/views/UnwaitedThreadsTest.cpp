// The end of the program with passes still running: those that stop when asked are
// joined, one stuck in a step it cannot leave is not waited for.
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "views/UnwaitedThreads.h"

namespace {

using namespace std::chrono_literals;

struct Pass {
    std::shared_ptr<std::atomic<bool>> finished = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
};

// Keeps a thread that runs until `until` is set, then finishes.
void KeepRunning(UnwaitedThreads& threads, const Pass& pass, std::shared_ptr<std::atomic<bool>> until) {
    threads.Keep(std::thread([finished = pass.finished, until] {
                     while (!*until)
                         std::this_thread::sleep_for(1ms);
                     *finished = true;
                 }),
                 pass.finished, pass.cancel);
}

TEST(UnwaitedThreads, StopAllAsksEveryPassToStopAndJoinsThoseThatDo) {
    UnwaitedThreads threads;
    Pass stopping;
    Pass stuck;
    auto release = std::make_shared<std::atomic<bool>>(false);
    KeepRunning(threads, stopping, stopping.cancel);
    KeepRunning(threads, stuck, release);

    EXPECT_FALSE(threads.StopAll(30ms));
    EXPECT_TRUE(*stopping.cancel);
    EXPECT_TRUE(*stuck.cancel);
    EXPECT_TRUE(*stopping.finished);
    EXPECT_FALSE(*stuck.finished);

    *release = true;
    EXPECT_TRUE(threads.StopAll(10s));
}

TEST(UnwaitedThreadsDeathTest, TheProgramEndsWithItsStatusWithoutWaitingForAStuckPass) {
    // The child starts afresh, without workers or passes this process has started.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Pass stuck;
            KeepRunning(UnwaitedThreads::Instance(), stuck, std::make_shared<std::atomic<bool>>(false));
            EndWithoutWaiting(3);
        },
        ::testing::ExitedWithCode(3), "");
}

}  // namespace
