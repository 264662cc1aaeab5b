#include "platform/Event.h"

#include <gtest/gtest.h>
#include <thread>

using platform::Event;

TEST(Event, ManualResetStaysSetAutoResetIsConsumed) {
    Event manual(true, false), autoEv(false, false);
    manual.set();
    autoEv.set();
    EXPECT_TRUE(manual.wait(0));
    EXPECT_TRUE(manual.wait(0));
    EXPECT_TRUE(autoEv.wait(0));
    EXPECT_FALSE(autoEv.wait(0));
    manual.reset();
    EXPECT_FALSE(manual.wait(10));
}

TEST(Event, WaitAnyReportsLowestSignalledIndexOrTimeout) {
    Event a(true, false), b(true, false);
    EXPECT_EQ(Event::waitAny({&a, &b}, 10), platform::kWaitTimeout);
    b.set();
    EXPECT_EQ(Event::waitAny({&a, &b}, 0), 1);
    a.set();
    EXPECT_EQ(Event::waitAny({&a, &b}, 0), 0);
}

TEST(Event, WaitAnyWakesWhenAnotherThreadSets) {
    Event a(false, false), b(false, false);
    std::thread t([&] { b.set(); });
    EXPECT_EQ(Event::waitAny({&a, &b}, platform::kInfinite), 1);
    t.join();
    EXPECT_FALSE(b.isSet());  // auto-reset consumed by the wait
}
