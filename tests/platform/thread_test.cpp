#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace vexa::platform;
using namespace std::chrono_literals;

TEST(ThreadPriority, LoweringAppliesAndIdleIsIdle)
{
    struct Case { TThreadPriority set; TThreadPriority expect; };
    const Case cases[] = {
        {TThreadPriority::tpLowest, TThreadPriority::tpLowest},
        {TThreadPriority::tpLower, TThreadPriority::tpLower},
        {TThreadPriority::tpIdle, TThreadPriority::tpIdle},
    };
    for (const Case& c : cases) {
        TThread t;
        std::atomic<int> seen{-1};
        t.Start([&] { seen = static_cast<int>(CurrentThreadPriority()); }, c.set);
        t.Join();
        EXPECT_EQ(seen.load(), static_cast<int>(c.expect)) << static_cast<int>(c.set);
        EXPECT_TRUE(t.Finished());
    }
}

TEST(ThreadPriority, ThreadIdsDiffer)
{
    uint32_t other = 0;
    std::thread t([&] { other = CurrentThreadId(); });
    t.join();
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, CurrentThreadId());
}

TEST(Event, ManualResetStaysSetUntilReset)
{
    TEvent e;
    EXPECT_FALSE(e.WaitFor(10ms));
    std::thread t([&] { e.SetEvent(); });
    EXPECT_TRUE(e.WaitFor(10s));
    t.join();
    EXPECT_TRUE(e.WaitFor(0ms));  // still set: manual reset
    EXPECT_TRUE(e.IsSet());
    e.ResetEvent();
    EXPECT_FALSE(e.WaitFor(0ms));
}
