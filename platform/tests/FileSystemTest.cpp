#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Directory.h"

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

// What others may plant in a shared directory: the directory API never
// follows it, never opens a special file, never writes through a link, and
// says what it found. Each case runs with openat2 and with the name-by-name
// walk of kernels without it.
TEST(Directory, PlantedEntriesAreNeverFollowed) {
    TempDir dir, elsewhere;
    elsewhere.write("victim", "secret");
    elsewhere.mkdir("folder");
    elsewhere.write("folder/a", "secret");
    struct Row {
        const char* name;
        std::function<void(const std::string&)> plant;
        EntryType type;
    };
    const Row rows[] = {
        {"link to a file", [&](const std::string& p) { ::symlink(elsewhere.file("victim").c_str(), p.c_str()); },
         EntryType::Link},
        {"dangling link", [&](const std::string& p) { ::symlink(elsewhere.file("new").c_str(), p.c_str()); },
         EntryType::Link},
        {"link to a folder", [&](const std::string& p) { ::symlink(elsewhere.file("folder").c_str(), p.c_str()); },
         EntryType::Link},
        {"FIFO", [](const std::string& p) { ::mkfifo(p.c_str(), 0666); }, EntryType::Other},
    };
    const auto untouched = [&] {
        EXPECT_EQ(elsewhere.read("victim"), "secret");
        EXPECT_EQ(elsewhere.read("folder/a"), "secret");
        EXPECT_FALSE(std::filesystem::exists(elsewhere.file("new")));
        EXPECT_FALSE(std::filesystem::exists(elsewhere.file("folder/x")));
    };
    for (const bool walk : {false, true}) {
        walkPathsForTesting(walk);
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (walk ? ", walked" : ", openat2"));
            row.plant(dir.file("e"));
            const Directory d = Directory::open(dir.path());
            ASSERT_TRUE(d);
            EXPECT_EQ(d.type("e"), row.type);
            ASSERT_EQ(d.list("*").size(), 1u);
            EXPECT_EQ(d.list("*")[0].type, row.type);
            EntryType found = EntryType::Missing;
            EXPECT_FALSE(d.openFile("e", &found));
            EXPECT_EQ(found, row.type);
            std::string text;
            EXPECT_FALSE(d.readFile("e", text));
            EXPECT_FALSE(d.openForAppend("e"));
            EXPECT_FALSE(d.createFile("e"));
            EXPECT_EQ(errno, EEXIST);
            EXPECT_FALSE(d.openFolder("e"));
            EXPECT_FALSE(d.openFile("e/a"));
            EXPECT_FALSE(d.createFile("e/x"));
            found = EntryType::Missing;
            EXPECT_FALSE(d.makeFolder("e", &found));
            EXPECT_EQ(found, row.type);
            EXPECT_FALSE(readRegularFile(dir.file("e"), text));
            untouched();
            // A record written under the name replaces the entry itself.
            ASSERT_TRUE(d.writeFile("e", "record"));
            EXPECT_EQ(d.type("e"), EntryType::File);
            EXPECT_EQ(dir.read("e"), "record");
            untouched();
            ASSERT_TRUE(d.remove("e"));
            ASSERT_EQ(d.list("*").size(), 0u);
        }
        // Paths that lead out of the directory.
        ::symlink(elsewhere.path().c_str(), dir.file("out").c_str());
        const Directory d = Directory::open(dir.path());
        for (const char* path : {"out/victim", "../" , "sub/../../x", "/etc/passwd"}) {
            SCOPED_TRACE(path);
            EXPECT_FALSE(d.openFile(path));
            EXPECT_FALSE(d.createFile(std::string(path) + "x"));
        }
        EXPECT_FALSE(d.remove("out/victim"));
        untouched();
        std::filesystem::remove(dir.file("out"));
    }
    walkPathsForTesting(false);
}

// Owner-only in a private directory; in a set-group-ID one the group's too,
// whatever the creation mask. Records replace files whole; a file kept for
// its owner keeps mode and owner.
TEST(Directory, ModesAndDurableWrites) {
    for (const bool shared : {false, true}) {
        SCOPED_TRACE(shared ? "shared" : "private");
        TempDir dir;
        if (shared) ::chmod(dir.path().c_str(), 02770);
        const mode_t mask = ::umask(022);
        const Directory d = Directory::open(dir.path());
        ASSERT_TRUE(d.createFile("new"));
        ASSERT_TRUE(d.makeFolder("folder"));
        ASSERT_TRUE(d.writeFile("record", "one"));
        ::umask(mask);
        struct stat st {};
        ::stat(dir.file("new").c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, shared ? 0660u : 0600u);
        ::stat(dir.file("record").c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, shared ? 0660u : 0600u);
        ::stat(dir.file("folder").c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, shared ? 02770u : 0700u);
        EXPECT_TRUE(d.makeFolder("folder"));  // a folder of that name is taken as it is
        EXPECT_EQ(d.list("*.TMP").size(), 0u);

        dir.write("kept", "old");
        ::chmod(dir.file("kept").c_str(), 0640);
        PendingFile pending;
        ASSERT_TRUE(d.writeTemporary("kept-", ".TMP", "new", pending, "kept"));
        EXPECT_EQ(dir.read("kept"), "old");
        EXPECT_FALSE(pending.commit("record", false));  // taken
        ASSERT_TRUE(pending.commit("kept"));
        EXPECT_EQ(dir.read("kept"), "new");
        ::stat(dir.file("kept").c_str(), &st);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
        {
            PendingFile abandoned;
            ASSERT_TRUE(d.writeTemporary("gone-", ".TMP", "x", abandoned));
        }
        EXPECT_EQ(d.list("*.TMP").size(), 0u);
    }
}
