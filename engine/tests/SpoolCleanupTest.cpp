#include "engine/SpoolCleanup.h"

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "tests/TempDir.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {
constexpr int64_t kMinute = 60, kHour = 3600, kDay = 86400;

struct ListDir {
    TempDir dir;
    MailList list;
    explicit ListDir(int32_t keep) {
        list.directory = dir.path() + "/";
        list.keep = keep;
    }
    void spool(const std::string& name, int64_t ageSeconds) {
        dir.write(name, "x");
        platform::FileTime t = platform::currentTime();
        t.seconds -= ageSeconds;
        platform::setLastWriteTime(dir.file(name), t);
    }
    bool has(const std::string& name) const { return platform::pathExists(dir.file(name)); }
};
}  // namespace

TEST(RemoveOldFiles, KeepDaysDecideForArchivedMessages) {
    ListDir l(5);
    l.spool("young.MSG", 4 * kDay + 23 * kHour);
    l.spool("old.msg", 5 * kDay + kMinute);
    l.dir.mkdir("old");
    l.dir.write("old/a.txt", "a");
    CaptureStdout();
    RemoveOldFiles(l.list, ".MSG", l.list.keep);
    const std::string out = GetCapturedStdout();
    EXPECT_TRUE(l.has("young.MSG"));
    EXPECT_FALSE(l.has("old.msg"));
    EXPECT_FALSE(l.has("old"));
    const std::string path = l.list.directory + "old.msg";
    EXPECT_EQ(out, "  Removing old MSG files...\n    Removing " + path + "\n    Deleting attachments...\n      Removing " +
                       AbbreviatePath(l.list.directory + "old/a.txt", 64) +
                       "\n      Removed 1 attachment.\n    Removed 1 MSG file.\n");
}

TEST(RemoveOldFiles, KeepZeroRemovesArchivesButFailedMessagesLiveThirtyDays) {
    ListDir l(0);
    l.spool("a.MSG", kMinute);
    l.spool("b.MSG", 0);
    l.spool("fresh.BAD", kMinute);
    l.spool("stale.BAD", 30 * kDay + kMinute);
    l.spool("w.TMP", 0);
    // A work file left by a crash shares its folder with the post it was
    // rewriting: the post keeps its attachments.
    l.spool("w.NEW", 0);
    l.dir.mkdir("w");
    l.dir.write("w/a.txt", "a");
    CaptureStdout();
    RemoveOldFiles(l.list, "MSG", l.list.keep);
    RemoveOldFiles(l.list, "BAD", 30);
    RemoveOldFiles(l.list, "TMP", 0);
    const std::string out = GetCapturedStdout();
    EXPECT_FALSE(l.has("a.MSG"));
    EXPECT_FALSE(l.has("b.MSG"));
    EXPECT_TRUE(l.has("fresh.BAD"));
    EXPECT_FALSE(l.has("stale.BAD"));
    EXPECT_FALSE(l.has("w.TMP"));
    EXPECT_TRUE(l.has("w/a.txt"));
    EXPECT_NE(out.find("    Removed 2 MSG files.\n"), std::string::npos);
    EXPECT_NE(out.find("  Removing old TMP files...\n"), std::string::npos);
}

TEST(RemoveOldFiles, HugeKeepSaturatesInsteadOfWrapping) {
    ListDir l(99999999);
    l.spool("fresh.MSG", kMinute);
    l.spool("ancient.MSG", 20 * 365 * kDay);
    CaptureStdout();
    RemoveOldFiles(l.list, "MSG", l.list.keep);
    EXPECT_EQ(GetCapturedStdout(), "  Removing old MSG files...\n");
    EXPECT_TRUE(l.has("fresh.MSG"));
    EXPECT_TRUE(l.has("ancient.MSG"));
}

TEST(Attachments, ListJoinsPathsAndDeleteEmptiesFolder) {
    ListDir l(5);
    const std::string spool = l.list.directory + "abc.MSG";
    EXPECT_EQ(ListAttachments(l.list, spool), "");
    l.dir.mkdir("abc/sub");
    l.dir.write("abc/one.pdf", "1");
    l.dir.write("abc/two.txt", "2");
    EXPECT_EQ(ListAttachments(l.list, spool), l.list.directory + "abc/one.pdf|" + l.list.directory + "abc/two.txt");
    CaptureStdout();
    DeleteAttachments(l.list, spool);
    const std::string out = GetCapturedStdout();
    EXPECT_NE(out.find("      Removed 2 attachments.\n"), std::string::npos);
    EXPECT_TRUE(l.has("abc/sub"));  // a folder still holding a subdirectory stays
    EXPECT_FALSE(l.has("abc/one.pdf"));
    CaptureStdout();
    DeleteAttachments(l.list, "");
    EXPECT_EQ(GetCapturedStdout(), "");
}

TEST(AbbreviatePath, KeepsHeadAndTail) {
    const std::string p = "/" + std::string(49, 'a') + std::string(50, 'b');  // 100 characters
    const std::string r = AbbreviatePath(p, 64);
    EXPECT_EQ(r.size(), 63u);
    EXPECT_EQ(r, p.substr(0, 29) + " ... " + p.substr(71));
    EXPECT_EQ(AbbreviatePath(p, 6), p);
    EXPECT_EQ(AbbreviatePath("short", 64), "short");
}
