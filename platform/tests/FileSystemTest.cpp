#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include "tests/TempDir.h"

using namespace platform;

TEST(Wildcard, StarDotStarMatchesEverythingAndCaseIsIgnored) {
    EXPECT_TRUE(wildcardMatch("*.*", "New List"));
    EXPECT_TRUE(wildcardMatch("*.*", ".hidden"));
    EXPECT_TRUE(wildcardMatch("*.NEW", "abc.new"));
    EXPECT_TRUE(wildcardMatch("*.new", ".x.NEW"));
    EXPECT_FALSE(wildcardMatch("*.NEW", "abc.NEWS"));
    EXPECT_FALSE(wildcardMatch("*.MSG", "abcMSG"));
    EXPECT_TRUE(wildcardMatch("a?c*", "ABCDEF"));
}

TEST(FindFiles, ListsSortedIgnoringCaseWithDirectoriesMarked) {
    TempDir dir;
    dir.write("b.TXT", "x");
    dir.write("A.txt", "x");
    dir.mkdir("c list");
    auto all = findFiles(dir.path(), "*.*");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].name, "A.txt");
    EXPECT_EQ(all[1].name, "b.TXT");
    EXPECT_EQ(all[2].name, "c list");
    EXPECT_TRUE(all[2].isDirectory);
    EXPECT_EQ(findFiles(dir.path(), "*.txt").size(), 2u);
    EXPECT_TRUE(findFiles(dir.path() + "/missing", "*.*").empty());
}

TEST(ResolveName, FindsVariantOfOtherCaseElseExactName) {
    TempDir dir;
    dir.write("prepend.TXT", "x");
    EXPECT_EQ(resolveName(dir.path(), "Prepend.txt"), dir.path() + "/prepend.TXT");
    EXPECT_EQ(resolveName(dir.path(), "Members.TXT"), dir.path() + "/Members.TXT");
    dir.write("Prepend.txt", "y");  // the exact name wins when both exist
    EXPECT_EQ(resolveName(dir.path(), "Prepend.txt"), dir.path() + "/Prepend.txt");
}

TEST(AtomicWrite, ReplacesWholeFileAndLeavesNoTemporary) {
    TempDir dir;
    const std::string p = dir.path() + "/f";
    dir.write("f", "old content");
    ASSERT_TRUE(writeFileAtomically(p, "new"));
    std::string got;
    ASSERT_TRUE(readFile(p, got));
    EXPECT_EQ(got, "new");
    EXPECT_EQ(findFiles(dir.path(), "*.*").size(), 1u);
    EXPECT_FALSE(writeFileAtomically(dir.path() + "/no/such/dir/f", "x"));
}

TEST(FileTimes, SetAndReadBack) {
    TempDir dir;
    dir.write("f", "x");
    const std::string p = dir.path() + "/f";
    FileTime t{1000000000, 5};
    ASSERT_TRUE(setLastWriteTime(p, t));
    FileTime got;
    ASSERT_TRUE(lastWriteTime(p, got));
    EXPECT_EQ(got.seconds, t.seconds);
}
