#include "engine/PollingInterval.h"

#include <cstdlib>
#include <gtest/gtest.h>

#include "engine/MainLoop.h"
#include "platform/Registry.h"
#include "tests/TempDir.h"

TEST(PollingInterval, ClampsStoredMinutesAndDefaultsWhenAbsent) {
    TempDir system;
    setenv("RINGPOST_SYSTEM_DIR", system.path().c_str(), 1);
    platform::RegistryKey key;
    ASSERT_EQ(platform::regCreateKey(platform::RootKey::LocalMachine, kServiceKeyPath, key), platform::kRegOk);

    EXPECT_EQ(IntervalFromServiceKey(key), 10u * 60000);
    const std::pair<uint32_t, uint32_t> cases[] = {{0, 2}, {1, 2}, {2, 2}, {30, 30}, {60, 60}, {61, 60}, {4294967295u, 60}};
    for (auto [stored, minutes] : cases) {
        ASSERT_EQ(platform::regSetDword(key, "WaitTimeInMinutes", stored), platform::kRegOk);
        EXPECT_EQ(IntervalFromServiceKey(key), minutes * 60000) << stored;
    }
    // A value longer than four bytes is unreadable: the default applies.
    const uint8_t eight[8] = {5};
    ASSERT_EQ(platform::regSetValue(key, "WaitTimeInMinutes", platform::REG_BINARY, eight, 8), platform::kRegOk);
    EXPECT_EQ(IntervalFromServiceKey(key), 10u * 60000);
    unsetenv("RINGPOST_SYSTEM_DIR");
}
