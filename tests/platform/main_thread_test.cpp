#include "platform/main_thread.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace vexa::platform;
using namespace std::chrono_literals;

TEST(MainThread, SynchronizeOnMainThreadRunsDirectly)
{
    MainThread::SetCurrentAsMain();
    int ran = 0;
    MainThread::Synchronize([&] { ++ran; });
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(MainThread::Pending(), 0u);
}

TEST(MainThread, WorkerBlocksUntilMainLoopRunsItAndSeesExceptions)
{
    MainThread::SetCurrentAsMain();
    const auto mainId = std::this_thread::get_id();
    std::atomic<bool> workerDone{false};
    std::thread::id ranOn;
    std::string caught;
    std::thread worker([&] {
        MainThread::Synchronize([&] { ranOn = std::this_thread::get_id(); });
        try {
            MainThread::Synchronize([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        workerDone = true;
        MainThread::NotifyWaiters();
    });
    // The worker cannot finish until the main thread serves its hand-offs.
    EXPECT_TRUE(MainThread::WaitServing([&] { return workerDone.load(); }, 10s));
    worker.join();
    EXPECT_EQ(ranOn, mainId);
    EXPECT_EQ(caught, "boom");
}

TEST(MainThread, WakeUpHookFiresPerHandOff)
{
    MainThread::SetCurrentAsMain();
    std::atomic<int> wakes{0};
    MainThread::SetWakeUpHook([&] { ++wakes; });
    std::atomic<bool> done{false};
    std::thread worker([&] {
        MainThread::Synchronize([] {});
        MainThread::Synchronize([] {});
        done = true;
        MainThread::NotifyWaiters();
    });
    EXPECT_TRUE(MainThread::WaitServing([&] { return done.load(); }, 10s));
    worker.join();
    MainThread::SetWakeUpHook({});
    EXPECT_EQ(wakes.load(), 2);
}

TEST(MainThread, CheckSynchronizeOffMainThreadDoesNothing)
{
    MainThread::SetCurrentAsMain();
    bool result = true;
    std::thread t([&] { result = MainThread::CheckSynchronize(); });
    t.join();
    EXPECT_FALSE(result);
}

TEST(MainThread, WaitServingTimesOut)
{
    MainThread::SetCurrentAsMain();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(MainThread::WaitServing([] { return false; }, 50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
}

TEST(MainThread, PostedHandOffsRunInQueueOrderAndNobodyWaitsForThem)
{
    MainThread::SetCurrentAsMain();
    std::vector<std::string> order;  // touched on the main thread only
    std::atomic<int> wakes{0};
    MainThread::SetWakeUpHook([&] { ++wakes; });
    std::thread poster([&] {
        MainThread::Post([&] { order.push_back("posted 1"); });
        MainThread::Post([] { throw std::runtime_error("nobody hears this"); });
        MainThread::Post([&] { order.push_back("posted 2"); });
    });
    poster.join();  // returned without the main thread serving anything
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(MainThread::Pending(), 3u);
    MainThread::Post([&] { order.push_back("from main"); });  // queued behind, not run at once
    EXPECT_TRUE(order.empty());
    EXPECT_TRUE(MainThread::CheckSynchronize());
    EXPECT_EQ(order, (std::vector<std::string>{"posted 1", "posted 2", "from main"}));
    EXPECT_EQ(wakes.load(), 4);

    // Mixed with a synchronous hand-off, the queue order holds, and a wait
    // that ends runs what was posted before it ended.
    order.clear();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        MainThread::Post([&] { order.push_back("a"); });
        MainThread::Synchronize([&] { order.push_back("b"); });
        MainThread::Post([&] { order.push_back("c"); });
        done = true;
        MainThread::NotifyWaiters();
    });
    EXPECT_TRUE(MainThread::WaitServing([&] { return done.load(); }, 10s));
    worker.join();
    MainThread::SetWakeUpHook({});
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(MainThread::Pending(), 0u);
}
