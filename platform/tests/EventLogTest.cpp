#include "platform/EventLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/ErrorText.h"
#include "platform/FileSystem.h"
#include "platform/LineTap.h"
#include "platform/MessageTable.h"
#include "tests/TempDir.h"

using namespace platform;

namespace {

RINGPOST_MESSAGE_TABLE(testMessageTable, RINGPOST_MESSAGE(0, "%1\r\n%2\r\n%3\r\n") RINGPOST_MESSAGE(0x40000000, "%1\r\n")
                                             RINGPOST_MESSAGE(7, "100%% of %2 then %1, %3 %x"));

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("RINGPOST_SYSTEM_DIR", dir.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("RINGPOST_SYSTEM_DIR"); }
    TempDir dir;
};

}  // namespace

TEST(MessageTableTest, FoundInsideAProgramFileAndFormatted) {
    // This test program carries a table, like the engine does.
    MessageTable table;
    ASSERT_TRUE(loadMessageTable("/proc/self/exe", table));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table.at(0), "%1\r\n%2\r\n%3\r\n");
    EXPECT_EQ(table.at(0x40000000), "%1\r\n");
    EXPECT_EQ(formatMessage(table.at(7), {"a", "b"}), "100% of b then a, %3 %x");
    EXPECT_EQ(formatMessage("%10|%1", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "ten"}), "ten|1");
    EXPECT_FALSE(parseMessageTable(std::string("no table here\x01RINGPOST-MESSAGE-TABLE\x02", 38), table));
}

TEST_F(EventLogTest, RecordsAreFormattedFromTheRegisteredMessageFileAndStayOnOneLine) {
    ASSERT_EQ(installEventSource("KOVARingpost", "/proc/self/exe"), 0);
    EventSource source;
    ASSERT_TRUE(source.open("KOVARingpost"));
    ASSERT_TRUE(source.report(kEventError, 0, 0, {"KOVA(tm) Ringpost error: 2", "RegOpenKeyEx in MainLoop", "No such\tfile"}));
    ASSERT_TRUE(source.report(kEventInformation, 0, 0x40000000, {"KOVA(tm) Ringpost starting"}));
    ASSERT_TRUE(source.report(kEventWarning, 0, 0x40000000, {"back\\slash"}));

    std::string raw;
    {
        std::ifstream f(dir.path() + "/eventlog/Application.log", std::ios::binary);
        raw.assign(std::istreambuf_iterator<char>(f), {});
    }
    EXPECT_EQ(std::count(raw.begin(), raw.end(), '\n'), 3);
    EXPECT_EQ(raw.find('\r'), std::string::npos);
    EXPECT_NE(raw.find("\tError\tKOVARingpost\t0\tKOVA(tm) Ringpost error: 2\\r\\nRegOpenKeyEx in MainLoop\\r\\nNo "
                       "such\\tfile\\r\\n\n"),
              std::string::npos)
        << raw;

    const auto records = readEventLog();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].type, "Information");
    EXPECT_EQ(records[1].source, "KOVARingpost");
    EXPECT_EQ(records[1].eventId, 0x40000000u);
    EXPECT_EQ(records[1].message, "KOVA(tm) Ringpost starting\r\n");
    EXPECT_EQ(records[2].type, "Warning");
    EXPECT_EQ(records[2].message, "back\\slash\r\n");
    EXPECT_EQ(records[0].time.size(), 19u);
}

TEST_F(EventLogTest, WithoutAMessageFileTheStringsAreStillKept) {
    EventSource source;
    ASSERT_TRUE(source.open("Unregistered"));
    ASSERT_TRUE(source.report(kEventInformation, 0, 0x40000000, {"hello"}));
    const auto records = readEventLog();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_NE(records[0].message.find("\"hello\""), std::string::npos);
    ASSERT_EQ(removeEventSource("Unregistered"), 2);
}

TEST_F(EventLogTest, AnUnwritableLogDropsTheEvent) {
    ASSERT_TRUE(std::filesystem::create_directories(dir.path() + "/eventlog/Application.log"));  // a directory
    EventSource source;
    ASSERT_TRUE(source.open("KOVARingpost"));
    EXPECT_FALSE(source.report(kEventError, 0, 0, {"x"}));
    EXPECT_TRUE(readEventLog().empty());
}

TEST_F(EventLogTest, ConcurrentWritersNeverInterleaveRecords) {
    constexpr int kEach = 200;
    const std::string longText(3000, 'x');
    auto writer = [&](const std::string& tag) {
        EventSource s;
        s.open("KOVARingpost");
        for (int i = 0; i < kEach; ++i) s.report(kEventInformation, 0, 0x40000000, {tag + longText});
    };
    ASSERT_EQ(installEventSource("KOVARingpost", "/proc/self/exe"), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    std::thread t([&] { writer(child == 0 ? "c" : "p"); });
    t.join();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    const auto records = readEventLog();
    ASSERT_EQ(records.size(), 2u * kEach);
    for (const auto& r : records) EXPECT_EQ(r.message.size(), longText.size() + 3) << r.message.substr(0, 20);
}

TEST(ErrorTextTest, WindowsServiceCodesAndErrnoValues) {
    EXPECT_EQ(systemErrorText(1063), "The service process could not connect to the service controller.");
    EXPECT_EQ(systemErrorText(1066), "The service has returned a service-specific error code.");
    EXPECT_EQ(systemErrorText(2), "No such file or directory");
    EXPECT_EQ(systemErrorText(3999), "");
    EXPECT_EQ(systemErrorText(0x40000000), "");
}

// Lines already in the log must still read back: the escapes stay as they are.
TEST(EventLogEscape, ControlBytesNamedOrInHexAndReadBack) {
    const std::string message("a\tb\r\n\\c\x01\x1F\x7F\xE9", 11);
    EXPECT_EQ(escapeEventMessage(message), "a\\tb\\r\\n\\\\c\\x01\\x1F\\x7F\xE9");
    EXPECT_EQ(unescapeEventMessage(escapeEventMessage(message)), message);
    EXPECT_EQ(unescapeEventMessage("\\x0a\\q"), "\n\\q");
}

// The service's output keeps going to its file while its lines are watched:
// every byte reaches the file, and every line reaches the watcher whole, in
// order, however the writes cut it.
TEST(LineTapTest, WritesThroughAndHandsOverWholeLines) {
    TempDir dir;
    const std::string path = dir.path() + "/output.log";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    std::vector<std::string> lines;
    FILE* tap = openLineTap(fd, [&](std::string_view line) { lines.emplace_back(line); });
    ASSERT_NE(tap, nullptr);
    std::setvbuf(tap, nullptr, _IOLBF, 0);
    std::fputs("Updating Tea List\n  Connecting...", tap);
    std::fflush(tap);
    EXPECT_EQ(lines.size(), 1u);  // the open line waits for its end
    std::fputs("FAILURE -3\r\n\n", tap);
    const std::string big(10000, 'x');
    std::fputs(big.c_str(), tap);
    std::fputs("\nno end", tap);
    std::fclose(tap);
    ::close(fd);

    const std::vector<std::string> expected = {"Updating Tea List", "  Connecting...FAILURE -3", "", big, "no end"};
    EXPECT_EQ(lines, expected);
    std::string written;
    ASSERT_TRUE(readFile(path, written));
    EXPECT_EQ(written, "Updating Tea List\n  Connecting...FAILURE -3\r\n\n" + big + "\nno end");
}
