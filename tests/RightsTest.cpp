// What a second, unprivileged local account can do to the service manager and
// to the lists: start nothing as root, block nothing, read no password and no
// member's address.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "list/MemberFile.h"
#include "platform/FileOwner.h"
#include "platform/FileSystem.h"
#include "platform/ProfileFile.h"
#include "platform/Registry.h"
#include "platform/ServiceManager.h"
#include "platform/SystemDirectory.h"
#include "tests/TempDir.h"

using namespace platform;

namespace {

constexpr char kAccount[] = "ringpost-other";
constexpr char kService[] = "RightsProbe";

// Runs `body` as the account in a child process; its result is the child's.
int asAccount(uid_t uid, gid_t gid, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(100);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

// 0 when the account cannot open `path` at all (so it can neither read it
// nor hold a lock on it).
int cannotOpen(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) return 1;
    return errno == EACCES ? 0 : 2;
}

struct stat statOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

class Rights : public testing::Test {
public:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "the rights tests need root to act as a second account";
        if (!lookUpUser(kAccount, &uid, &gid))
            (void)!std::system(("useradd --system --no-create-home --shell /usr/sbin/nologin " +
                                std::string(kAccount) + " >/dev/null 2>&1")
                                   .c_str());
        if (!lookUpUser(kAccount, &uid, &gid)) GTEST_SKIP() << "no second account could be made";
        ::chmod(sys.path().c_str(), 0755);
        ::chmod(home.path().c_str(), 0755);
        ::setenv("RINGPOST_SYSTEM_DIR", sys.path().c_str(), 1);
    }
    void TearDown() override { ::unsetenv("RINGPOST_SYSTEM_DIR"); }

    bool install(const std::string& program, const std::string& account, ServiceHandle& s) {
        ServiceManagerHandle m;
        RegistryKey key;
        return openServiceManager(m) &&
               createService(m, kService, "Probe", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                             SERVICE_ERROR_NORMAL, program, s) &&
               regOpenKey(RootKey::LocalMachine, serviceKeyPath(kService), key) == kRegOk &&
               regSetString(key, "ObjectName", account) == kRegOk;
    }
    std::string keyDir() {
        RegistryKey key;
        regOpenKey(RootKey::LocalMachine, serviceKeyPath(kService), key, KEY_READ);
        return regKeyFiles(key).at(0);
    }

    unsigned uid = 0, gid = 0;
    TempDir sys, home;
};

}  // namespace

// Root starts the program and account the service database names, so it
// starts nothing the other account could have put there.
TEST_F(Rights, CannotStartAProgramOfItsChoiceAsRoot) {
    struct Case {
        const char* name;
        std::function<void(Rights&, const std::string& sysDir)> open;  // what the account was given
        bool refused;
    };
    const std::vector<Case> cases = {
        {"nothing", [](Rights&, const std::string&) {}, false},
        {"the values file",
         [](Rights& t, const std::string&) { ::chown((t.keyDir() + "/.values").c_str(), t.uid, t.gid); }, true},
        {"the key directory", [](Rights& t, const std::string&) { ::chmod(t.keyDir().c_str(), 0777); }, true},
        {"the system directory", [](Rights& t, const std::string& d) { ::chown(d.c_str(), t.uid, t.gid); }, true},
        {"the program",
         [](Rights& t, const std::string&) { ::chown(t.home.file("probe").c_str(), t.uid, t.gid); }, true},
    };
    for (const Case& c : cases) {
        TempDir sysDir;
        ::chmod(sysDir.path().c_str(), 0755);
        ::setenv("RINGPOST_SYSTEM_DIR", sysDir.path().c_str(), 1);
        home.write("probe", "#!/bin/sh\ntouch '" + home.file("ran") + "'\n");
        ::chmod(home.file("probe").c_str(), 0755);
        ::unlink(home.file("ran").c_str());
        ServiceHandle s;
        ASSERT_TRUE(install(home.file("probe"), "root", s)) << c.name;
        c.open(*this, sysDir.path());
        EXPECT_FALSE(startService(s));  // the probe never reports running
        if (c.refused) {
            EXPECT_EQ(lastErrorCode(), 5u) << c.name;
            EXPECT_FALSE(fileExists(home.file("ran"))) << c.name;
        } else {
            for (int i = 0; i < 500 && !fileExists(home.file("ran")); ++i) ::usleep(10000);
            EXPECT_TRUE(fileExists(home.file("ran"))) << "the probe itself must run when nothing is open";
        }
        ::chown(sysDir.path().c_str(), 0, 0);
    }
}

// The runtime directory belongs to the service's account: root neither
// follows what it placed there nor writes the log for it.
TEST_F(Rights, RuntimeFilesAreTheAccountsAndNoLinkIsFollowed) {
    ServiceHandle s;
    ASSERT_TRUE(install("/bin/true", kAccount, s));
    const std::string run = sys.path() + "/services/" + kService;
    ASSERT_TRUE(ensureDirectory(run));
    ::chown(run.c_str(), uid, gid);
    home.write("victim", "root's own\n");
    for (const char* name : {"status", "output.log"})
        ASSERT_EQ(::symlink(home.file("victim").c_str(), (run + "/" + name).c_str()), 0);

    EXPECT_FALSE(startService(s));  // /bin/true never reports running
    EXPECT_EQ(home.read("victim"), "root's own\n");
    const struct stat log = statOf(run + "/output.log");
    EXPECT_TRUE(S_ISREG(log.st_mode));
    EXPECT_EQ(log.st_uid, uid);
    EXPECT_EQ(log.st_mode & 0777, 0600u);
    EXPECT_EQ(statOf(run).st_uid, uid);

    // Its own directory replaced by a link: root does not hand over the target.
    ::rename(run.c_str(), (run + ".old").c_str());
    ASSERT_EQ(::symlink(home.path().c_str(), run.c_str()), 0);
    EXPECT_FALSE(startService(s));
    EXPECT_EQ(lastErrorCode(), 5u);
    EXPECT_EQ(statOf(home.path()).st_uid, 0u);
}

// Anyone who can open a lock file can hold it and stall every writer.
TEST_F(Rights, CannotBlockTheServiceManager) {
    ensureDirectory(sys.path() + "/services");
    const std::string serviceLock = sys.path() + "/services/." + kService + ".lock";
    home.write("x", "");
    ASSERT_EQ(::rename(home.file("x").c_str(), serviceLock.c_str()), 0);
    ::chmod(serviceLock.c_str(), 0644);  // as an older version left it
    ServiceHandle s;
    ASSERT_TRUE(install("/bin/true", "root", s));
    for (const std::string& lock : {serviceLock, sys.path() + "/registry/.lock"}) {
        EXPECT_EQ(statOf(lock).st_mode & 0777, 0600u) << lock;
        EXPECT_EQ(asAccount(uid, gid, [&] { return cannotOpen(lock); }), 0) << lock;
    }
}

// Settings.INI holds the mailbox password, Members.TXT every address.
TEST_F(Rights, CannotReadAListsPasswordOrMembers) {
    const std::string dir = home.file("club");
    ASSERT_TRUE(createDirectory(dir));
    ::chmod(dir.c_str(), 0755);
    ASSERT_TRUE(writePrivateProfileString("POP3", "Password", "secret", dir + "/Settings.INI"));
    MemberStore store;
    store.append("boss@example.org", true);
    ASSERT_TRUE(list::writeMemberFile(dir, store));
    for (const char* file : {"Settings.INI", "Members.TXT", "Members.LCK"})
        EXPECT_EQ(asAccount(uid, gid, [&] { return cannotOpen(dir + "/" + file); }), 0) << file;
}
