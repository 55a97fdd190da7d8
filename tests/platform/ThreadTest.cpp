#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

using namespace platform;
using namespace std::chrono_literals;

TEST(Thread, JoinWaitsForTheBodyAndAnEscapingExceptionEndsOnlyTheThread)
{
    int value = 0;
    CThread thread;
    ASSERT_TRUE(thread.Start([&value] { value = 42; }));
    EXPECT_FALSE(thread.Start([] {})); // one thread per object
    thread.Join();
    EXPECT_EQ(value, 42);
    EXPECT_FALSE(thread.IsJoinable());

    CThread throwing;
    ASSERT_TRUE(throwing.Start([] { throw std::runtime_error("lost"); }));
    throwing.Join();
}

TEST(Thread, ADetachedThreadRunsOnToItsEnd)
{
    CLock lock;
    CCondition changed;
    bool done = false;
    {
        CThread thread;
        ASSERT_TRUE(thread.Start([&] {
            CLockHolder holder(lock);
            done = true;
            changed.WakeAll();
        }));
        thread.Detach();
    }
    CLockHolder holder(lock);
    EXPECT_TRUE(changed.WaitFor(lock, 10s, [&] { return done; }));
}

TEST(Condition, AWaitEndsAtItsDeadlineWithWhatThePredicateSays)
{
    CLock lock;
    CCondition condition;
    CLockHolder holder(lock);
    int asked = 0;
    EXPECT_FALSE(condition.WaitFor(lock, 20ms, [&] { return ++asked > 1000000; }));
    EXPECT_GE(asked, 2); // asked before sleeping and once more at the deadline
    EXPECT_TRUE(condition.WaitFor(lock, 0ms, [] { return true; }));
}
