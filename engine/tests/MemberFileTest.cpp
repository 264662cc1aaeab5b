#include "engine/MemberFile.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "platform/FileSystem.h"
#include "tests/TempDir.h"

TEST(MemberFile, LoadsInOrderAndRewritesAdministratorsFirst) {
    TempDir dir;
    dir.write("Members.TXT", "ann@example.com\r\n_!_boss@example.com\n\r\ncarl@example.com");
    MemberStore store;
    ASSERT_TRUE(ReadMemberFile(dir.file("Members.TXT"), store));
    ASSERT_EQ(store.count(), 4);
    Member m;
    store.get(0, m);
    EXPECT_EQ(m.address, "ann@example.com");
    EXPECT_FALSE(m.isAdministrator);
    store.get(1, m);
    EXPECT_EQ(m.address, "boss@example.com");
    EXPECT_TRUE(m.isAdministrator);
    store.get(2, m);
    EXPECT_EQ(m.address, "");  // an empty line is an (empty) entry
    store.get(3, m);
    EXPECT_EQ(m.address, "carl@example.com");

    ASSERT_TRUE(WriteMemberFile(dir.path(), store));
    EXPECT_EQ(dir.read("Members.TXT"), "_!_boss@example.com\r\nann@example.com\r\n\r\ncarl@example.com\r\n");
    EXPECT_EQ(dir.read("Members.OLD"), "ann@example.com\r\n_!_boss@example.com\n\r\ncarl@example.com");
    EXPECT_EQ(platform::findFiles(dir.path(), "*.TMP").size(), 0u);
}

TEST(MemberFile, LongLineLoadsWholeAndIsWrittenBackUnchanged) {
    TempDir dir;
    const std::string longAddress = std::string(188, 'a') + "@example.com";  // 200 characters
    dir.write("Members.TXT", longAddress + "\r\n");
    MemberStore store;
    ASSERT_TRUE(ReadMemberFile(dir.file("Members.TXT"), store));
    ASSERT_EQ(store.count(), 1);
    ASSERT_TRUE(WriteMemberFile(dir.path(), store));
    EXPECT_EQ(dir.read("Members.TXT"), longAddress + "\r\n");
}

TEST(MemberFile, ReplacesTheVariantOfOtherLetterCase) {
    TempDir dir;
    dir.write("members.txt", "old@example.com\r\n");
    dir.write("members.old", "older@example.com\r\n");
    MemberStore store;
    store.append("new@example.com", false);
    ASSERT_TRUE(WriteMemberFile(dir.path(), store));
    EXPECT_EQ(dir.read("members.txt"), "new@example.com\r\n");
    EXPECT_EQ(dir.read("members.old"), "old@example.com\r\n");
    EXPECT_EQ(platform::findFiles(dir.path(), "*.*").size(), 2u);
}

TEST(MemberFile, FailedWriteLeavesMemberFileComplete) {
    TempDir dir;
    const std::string original = "_!_boss@example.com\r\nann@example.com\r\n";
    dir.write("Members.TXT", original);
    MemberStore store;
    for (int i = 0; i < 50; ++i) store.append("member" + std::to_string(i) + "@example.com", false);

    // A file-size limit makes the write of the new file fail part-way.
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = 100;
    setrlimit(RLIMIT_FSIZE, &tight);
    const bool ok = WriteMemberFile(dir.path(), store);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(dir.read("Members.TXT"), original);
    EXPECT_EQ(platform::findFiles(dir.path(), "*.*").size(), 1u);  // no temporary left behind
}
