#include "list/MemberFile.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/ProfileFile.h"
#include "platform/UniqueFd.h"
#include "tests/MountNamespace.h"
#include "tests/TempDir.h"
#include "tests/UnreadableFile.h"

TEST(MemberFile, LoadsInOrderAndRewritesAdministratorsFirst) {
    TempDir dir;
    dir.write("Members.TXT", "ann@example.com\r\n_!_boss@example.com\n\r\ncarl@example.com");
    MemberStore store;
    ASSERT_TRUE(list::readMemberFile(dir.file("Members.TXT"), store));
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

    ASSERT_TRUE(list::writeMemberFile(dir.path(), store));
    EXPECT_EQ(dir.read("Members.TXT"), "_!_boss@example.com\r\nann@example.com\r\n\r\ncarl@example.com\r\n");
    EXPECT_EQ(dir.read("Members.OLD"), "ann@example.com\r\n_!_boss@example.com\n\r\ncarl@example.com");
    EXPECT_EQ(platform::findFiles(dir.path(), "*.TMP").size(), 0u);
}

TEST(MemberFile, LongLineLoadsWholeAndIsWrittenBackUnchanged) {
    TempDir dir;
    const std::string longAddress = std::string(188, 'a') + "@example.com";  // 200 characters
    dir.write("Members.TXT", longAddress + "\r\n");
    MemberStore store;
    ASSERT_TRUE(list::readMemberFile(dir.file("Members.TXT"), store));
    ASSERT_EQ(store.count(), 1);
    ASSERT_TRUE(list::writeMemberFile(dir.path(), store));
    EXPECT_EQ(dir.read("Members.TXT"), longAddress + "\r\n");
}

TEST(MemberFile, ReplacesTheVariantOfOtherLetterCase) {
    TempDir dir;
    dir.write("members.txt", "old@example.com\r\n");
    dir.write("members.old", "older@example.com\r\n");
    MemberStore store;
    store.append("new@example.com", false);
    ASSERT_TRUE(list::writeMemberFile(dir.path(), store));
    EXPECT_EQ(dir.read("members.txt"), "new@example.com\r\n");
    EXPECT_EQ(dir.read("members.old"), "old@example.com\r\n");
    EXPECT_EQ(platform::findFiles(dir.path(), "*.*").size(), 3u);  // with the lock file Members.LCK
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
    const bool ok = list::writeMemberFile(dir.path(), store);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(dir.read("Members.TXT"), original);
    EXPECT_EQ(platform::findFiles(dir.path(), "*.TMP").size(), 0u);  // no temporary left behind
}

namespace {

const char kTwoMembers[] = "_!_boss@example.com\r\nann@example.com\r\n";

bool addCarl(MemberStore& store) {
    store.append("carl@example.com", false);
    return true;
}

// Members held in memory the way the engine holds a list's.
struct LoadedList {
    std::string directory;
    MemberStore members;
    platform::FileIdentity membersOnDisk;
};

LoadedList loadedList(const std::string& dir) {
    LoadedList loaded;
    loaded.directory = dir + "/";
    list::readMemberFile(dir + "/Members.TXT", loaded.members, &loaded.membersOnDisk);
    return loaded;
}

bool changeMembers(LoadedList& l, uint32_t& code, bool* written = nullptr) {
    return list::changeMembers(l.directory, l.members, l.membersOnDisk, addCarl, code, written);
}

bool setImmutable(const std::string& path, bool on) {
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    int flags = 0;
    if (!fd || ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0) return false;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    return ::ioctl(fd.get(), FS_IOC_SETFLAGS, &flags) == 0;
}

}  // namespace

// A rewrite that cannot reach the disk leaves the members in memory as they
// were, Members.TXT as it was and no temporary behind.
TEST(MemberFile, FailedRewriteUndoesTheChange) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a file system and set the immutable attribute";
    struct Fault {
        const char* name;
        std::function<bool(const std::string& dir)> apply;  // after the list was read
        std::function<void(const std::string& dir)> undo;
    };
    const std::vector<Fault> faults = {
        {"disk full", [](const std::string& dir) { return fillFileSystem(dir + "/filler"); }, nullptr},
        {"read-only file system",
         [](const std::string& dir) {
             return ::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
         },
         nullptr},
        {"immutable member file", [](const std::string& dir) { return setImmutable(dir + "/Members.TXT", true); },
         [](const std::string& dir) { setImmutable(dir + "/Members.TXT", false); }},
    };
    for (const Fault& fault : faults) {
        TempDir dir;
        const std::string failure = inMountNamespace([&]() -> std::string {
            if (::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0) return "mount failed";
            dir.write("Members.TXT", kTwoMembers);
            LoadedList list = loadedList(dir.path());
            if (!fault.apply(dir.path())) return "fault not applied";
            uint32_t code = 0;
            bool written = true;
            const bool ok = changeMembers(list, code, &written);
            if (fault.undo) fault.undo(dir.path());
            if (ok || written) return "reported success";
            if (code == 0) return "no system error";
            if (list.members.count() != 2) return "change kept in memory";
            if (dir.read("Members.TXT") != kTwoMembers) return "member file changed";
            if (!platform::findFiles(dir.path(), "*.TMP").empty()) return "temporary left";
            return "";
        });
        EXPECT_EQ(failure, "") << fault.name;
    }
}

// Members added by hand or by the console while the engine runs survive the
// engine's next change; both writers take one lock.
TEST(MemberFile, ChangeTakesUpEditsMadeOnDiskAndSharesTheLock) {
    TempDir dir;
    dir.write("Members.TXT", kTwoMembers);
    LoadedList list = loadedList(dir.path());

    MemberStore console;
    list::readMemberFile(dir.file("Members.TXT"), console);
    console.append("dan@example.com", false);
    ASSERT_TRUE(list::writeMemberFile(dir.path(), console));  // the console's save
    std::ofstream(dir.file("Members.TXT"), std::ios::app) << "eve@example.com\r\n";  // an edit by hand

    uint32_t code = 0;
    ASSERT_TRUE(changeMembers(list, code));
    EXPECT_EQ(dir.read("Members.TXT"),
              "_!_boss@example.com\r\nann@example.com\r\ndan@example.com\r\neve@example.com\r\ncarl@example.com\r\n");
    EXPECT_EQ(list.members.count(), 5);
    // Its own write is no change to take up.
    EXPECT_EQ(list::refreshMembers(list.directory, list.members, list.membersOnDisk), list::MemberRefresh::Unchanged);

    // While one writer holds the lock, no other gets it.
    {
        list::MemberFileLock held(dir.path());
        ASSERT_TRUE(held.locked());
        platform::UniqueFd other(::open(dir.file("Members.LCK").c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(other);
        EXPECT_NE(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
    }
}

// A member file that is there but cannot be read holds members all the
// same: no change is written over it, and once it can be read again it is
// taken up whole and changed as usual.
TEST(MemberFile, UnreadableFileIsNeverRewritten) {
    const char kThreeMembers[] = "_!_boss@example.com\r\nann@example.com\r\ndan@example.com\r\n";
    struct Case {
        const char* name;
        bool readBeforeFault;  // the list was read while the file could be
        const char* onDisk;    // the content while it cannot be read
    };
    const Case cases[] = {
        {"unreadable from the start", false, kTwoMembers},
        {"edited by hand, then unreadable", true, kThreeMembers},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("Members.TXT", kTwoMembers);
        LoadedList list;
        if (c.readBeforeFault) list = loadedList(dir.path());
        dir.write("Members.TXT", c.onDisk);
        UnreadableFile fault(dir.file("Members.TXT"));
        ASSERT_TRUE(fault.unreadable()) << "the file could still be read";
        if (!c.readBeforeFault) {
            list = loadedList(dir.path());
            EXPECT_EQ(list.members.count(), 0);
        }
        const int32_t held = list.members.count();

        EXPECT_EQ(list::refreshMembers(list.directory, list.members, list.membersOnDisk),
                  list::MemberRefresh::Unreadable);
        uint32_t code = 0;
        bool written = true;
        EXPECT_FALSE(changeMembers(list, code, &written));
        EXPECT_FALSE(written);
        EXPECT_EQ(code, static_cast<uint32_t>(EACCES));
        EXPECT_EQ(list.members.count(), held);
        fault.restore();
        EXPECT_EQ(dir.read("Members.TXT"), c.onDisk);
        EXPECT_TRUE(platform::findFiles(dir.path(), "Members.OLD").empty());

        EXPECT_EQ(list::refreshMembers(list.directory, list.members, list.membersOnDisk),
                  list::MemberRefresh::Reloaded);
        ASSERT_TRUE(changeMembers(list, code, &written));
        EXPECT_TRUE(written);
        EXPECT_EQ(dir.read("Members.TXT"), std::string(c.onDisk) + "carl@example.com\r\n");
    }
}

// Files holding passwords and addresses are created for their owner only;
// rewriting keeps whatever mode and owner the administrator gave them.
TEST(MemberFile, ModesAndOwnersOfWrittenFiles) {
    struct Case {
        const char* name;
        bool existing;
        mode_t mode;  // of the existing file
        bool otherOwner;
        mode_t expectedMode;
    };
    const bool root = ::geteuid() == 0;
    const std::vector<Case> cases = {
        {"new file", false, 0, false, 0600},
        {"existing group-readable file", true, 0640, false, 0640},
        {"existing file of another owner", true, 0604, root, 0604},
    };
    for (const Case& c : cases) {
        for (const char* file : {"Members.TXT", "Settings.INI"}) {
            TempDir dir;
            const std::string path = dir.file(file);
            if (c.existing) {
                dir.write(file, "[General]\r\nold@example.com\r\n");
                ::chmod(path.c_str(), c.mode);
                if (c.otherOwner) {
                    ASSERT_EQ(::chown(path.c_str(), 4321, 4321), 0);
                }
            }
            if (std::string(file) == "Members.TXT") {
                MemberStore store;
                store.append("ann@example.com", true);
                ASSERT_TRUE(list::writeMemberFile(dir.path(), store)) << c.name;
            } else {
                ASSERT_TRUE(platform::writePrivateProfileString("General", "Name", "Club", path)) << c.name;
            }
            struct stat st {};
            ASSERT_EQ(::stat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, c.expectedMode) << c.name << " " << file;
            if (c.otherOwner) {
                EXPECT_EQ(st.st_uid, 4321u) << c.name << " " << file;
            }
        }
    }
}

// A lock file any account could open would let it block every writer.
TEST(MemberFile, LockFileIsOwnerOnlyAndNeverALink) {
    TempDir dir;
    { list::MemberFileLock lock(dir.path()); }
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("Members.LCK").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    ::chmod(dir.file("Members.LCK").c_str(), 0644);  // left by an older version
    { list::MemberFileLock lock(dir.path()); }
    ::stat(dir.file("Members.LCK").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    TempDir other;
    other.write("target", "keep");
    ::unlink(dir.file("Members.LCK").c_str());
    ASSERT_EQ(::symlink(other.file("target").c_str(), dir.file("Members.LCK").c_str()), 0);
    list::MemberFileLock lock(dir.path());
    EXPECT_FALSE(lock.locked());
    MemberStore store;
    store.append("ann@example.com", true);
    EXPECT_FALSE(list::writeMemberFile(dir.path(), store));
}
