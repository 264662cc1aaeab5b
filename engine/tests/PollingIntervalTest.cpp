#include "engine/PollingInterval.h"

#include <cstdlib>
#include <gtest/gtest.h>

#include "engine/FailureJournal.h"
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

// What of the service's progress log reaches the journal: a pass's failure
// lines, naming their list; nothing of a pass that went well, and nothing
// outside a pass (those failures are events already).
TEST(FailureJournal, PassesOnlyAPassesFailuresNamingTheList) {
    const std::pair<const char*, const char*> lines[] = {
        {"Opening registry...FAILURE. Check Event Log with Event Viewer for details.", nullptr},
        {"Initialization Success", nullptr},
        {"", nullptr},
        {"Updating Tea Lovers List", nullptr},
        {"  Connecting to POP3 server...Success", nullptr},
        {"  Connecting to POP3 server...FAILURE -3", "Tea Lovers: Connecting to POP3 server...FAILURE -3"},
        {"    FAILURE. unsubscribe x@example.org is not a member.",
         "Tea Lovers: FAILURE. unsubscribe x@example.org is not a member."},
        {"Update Complete", nullptr},
        {"Stopping...FAILURE", nullptr},
        {"Updating  List", nullptr},
        {"FAILURE -18", ": FAILURE -18"},
        {"Updating List", nullptr},  // not a heading: the pass before goes on
        {"FAILURE", ": FAILURE"},
    };
    FailureJournal journal;
    for (const auto& [line, message] : lines) {
        const auto taken = journal.take(line);
        if (message)
            EXPECT_EQ(taken.value_or("(nothing)"), message) << line;
        else
            EXPECT_FALSE(taken) << line << " gave " << *taken;
    }
}
