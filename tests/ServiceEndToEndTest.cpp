// The engine as a service: installed from a temporary home directory into a
// temporary system directory, started, controlled and removed through the
// service manager, its events read back from the log.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/EventLog.h"
#include "platform/FileOwner.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/ServiceManager.h"
#include "tests/TempDir.h"
#include "tests/harness/ListHome.h"
#include "tests/harness/ScriptedPop3Server.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

constexpr char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\KOVARingpost";

class ServiceEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("RINGPOST_SYSTEM_DIR", sys.path().c_str(), 1);
        harness::copyEngine(home.path(), {"ringpost-registry"});
    }
    void TearDown() override {
        ServiceHandle s;
        ServiceStatus st;
        if (open(s) && controlService(s, SERVICE_CONTROL_STOP, st)) waitState(s, SERVICE_STOPPED);
        ::unsetenv("RINGPOST_SYSTEM_DIR");
    }

    int run(const std::string& args, std::string* output = nullptr) {
        const std::string out = home.file("run.out");
        const int rc = std::system(("cd / && '" + home.file("RingpostSvc") + "' " + args + " > '" + out + "' 2>&1").c_str());
        if (output) *output = home.read("run.out");
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    void addList(const std::string& name) {
        home.mkdir(name);
        home.write(name + "/Settings.INI", "[General]\r\nName=" + name + "\r\n");
        home.write(name + "/Members.TXT", "admin@example.com\r\n");
    }
    bool open(ServiceHandle& s) {
        ServiceManagerHandle m;
        return openServiceManager(m) && openService(m, "KOVARingpost", s);
    }
    void installAndStart(ServiceHandle& s) {
        ASSERT_EQ(run("-install"), 0);
        ASSERT_TRUE(open(s));
        ASSERT_TRUE(startService(s));
    }
    // Polls the status (the manager offers nothing to wait on), bounded.
    ServiceStatus waitState(const ServiceHandle& s, uint32_t state) {
        ServiceStatus st;
        for (int i = 0; i < 1000; ++i) {
            if (queryServiceStatus(s, st) && st.currentState == state) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return st;
    }
    std::vector<std::string> messages() {
        std::vector<std::string> m;
        for (const auto& r : readEventLog()) m.push_back(r.type + ": " + r.message);
        return m;
    }
    std::string statusLog() { return sys.read("services/KOVARingpost/status.log"); }

    TempDir home, sys;
};

}  // namespace

TEST_F(ServiceEndToEnd, InstallWritesTheServiceEntryAndASecondInstallFails) {
    ASSERT_EQ(run("-install"), 0);
    RegistryKey key;
    ASSERT_EQ(regOpenKey(RootKey::LocalMachine, kKey, key, KEY_READ), kRegOk);
    uint32_t v = 0;
    EXPECT_EQ(regQueryDword(key, "Type", v), kRegOk);
    EXPECT_EQ(v, 16u);
    EXPECT_EQ(regQueryDword(key, "Start", v), kRegOk);
    EXPECT_EQ(v, 3u);
    EXPECT_EQ(regQueryDword(key, "ErrorControl", v), kRegOk);
    EXPECT_EQ(v, 1u);
    std::string s;
    EXPECT_EQ(regQueryString(key, "ImagePath", s), kRegOk);
    EXPECT_EQ(fs::canonical(s), fs::canonical(home.file("RingpostSvc")));
    EXPECT_EQ(regQueryString(key, "DisplayName", s), kRegOk);
    EXPECT_EQ(s, "KOVA(tm) Ringpost");
    EXPECT_NE(run("/INSTALL"), 0);
}

TEST_F(ServiceEndToEnd, StartRunsInterrogateAndStopWhileWaitingWithEventsInOrder) {
    addList("Alpha");
    ServiceHandle s;
    ASSERT_NO_FATAL_FAILURE(installAndStart(s));
    ServiceStatus st = waitState(s, SERVICE_RUNNING);
    ASSERT_EQ(st.currentState, SERVICE_RUNNING);
    EXPECT_EQ(st.checkPoint, 0u);
    EXPECT_EQ(st.controlsAccepted, SERVICE_ACCEPT_STOP);
    EXPECT_FALSE(startService(s));
    EXPECT_EQ(lastErrorCode(), 1056u);

    // Three start-pending reports with rising checkpoints, accepting nothing, then running.
    EXPECT_EQ(statusLog().rfind("16 2 0 0 0 1 3000 ", 0), 0u) << statusLog();
    EXPECT_NE(statusLog().find("16 2 0 0 0 2 3000"), std::string::npos);
    EXPECT_NE(statusLog().find("16 2 0 0 0 3 3000"), std::string::npos);
    EXPECT_NE(statusLog().find("16 4 1 0 0 0 0"), std::string::npos);

    ASSERT_TRUE(controlService(s, SERVICE_CONTROL_INTERROGATE, st));
    EXPECT_EQ(st.currentState, SERVICE_RUNNING);
    EXPECT_EQ(st.checkPoint, 0u);

    const auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(controlService(s, SERVICE_CONTROL_STOP, st));
    EXPECT_EQ(st.currentState, SERVICE_STOP_PENDING);
    st = waitState(s, SERVICE_STOPPED);
    EXPECT_EQ(st.currentState, SERVICE_STOPPED);
    EXPECT_EQ(st.win32ExitCode, 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    const std::vector<std::string> expected = {"Information: KOVA(tm) Ringpost starting\r\n",
                                               "Information: KOVA(tm) Ringpost stopped\r\n",
                                               "Information: KOVA(tm) Ringpost started\r\n"};
    EXPECT_EQ(messages(), expected);
    EXPECT_NE(sys.read("services/KOVARingpost/output.log").find("Initialization Success\n"), std::string::npos);
}

// The system stops a service with SIGTERM (service stop, shutdown): that is a
// clean stop, as the stop control is, not something to wait out until SIGKILL.
TEST_F(ServiceEndToEnd, SigtermStopsTheServiceCleanly) {
    addList("Alpha");
    ServiceHandle s;
    ASSERT_NO_FATAL_FAILURE(installAndStart(s));
    ServiceStatus st = waitState(s, SERVICE_RUNNING);
    ASSERT_EQ(st.currentState, SERVICE_RUNNING);
    ASSERT_EQ(::kill(static_cast<pid_t>(st.processId), SIGTERM), 0);
    st = waitState(s, SERVICE_STOPPED);
    EXPECT_EQ(st.currentState, SERVICE_STOPPED);
    EXPECT_EQ(st.win32ExitCode, 0u);  // not 1067, the code of a process that died
    EXPECT_NE(statusLog().find("16 3 1 0 0 "), std::string::npos) << statusLog();  // stop pending first
    const std::vector<std::string> expected = {"Information: KOVA(tm) Ringpost starting\r\n",
                                               "Information: KOVA(tm) Ringpost stopped\r\n",
                                               "Information: KOVA(tm) Ringpost started\r\n"};
    EXPECT_EQ(messages(), expected);
}

TEST_F(ServiceEndToEnd, NoListStopsWithSpecificCode3AndAWarning) {
    ServiceHandle s;
    ASSERT_NO_FATAL_FAILURE(installAndStart(s));
    const ServiceStatus st = waitState(s, SERVICE_STOPPED);
    EXPECT_EQ(st.currentState, SERVICE_STOPPED);
    EXPECT_EQ(st.win32ExitCode, 1066u);
    EXPECT_EQ(st.serviceSpecificExitCode, 3u);
    const std::vector<std::string> expected = {
        "Information: KOVA(tm) Ringpost starting\r\n",
        "Warning: Initialization FAILURE! If you haven't created any lists, this message will appear.\r\n",
        "Information: KOVA(tm) Ringpost stopped\r\n"};
    EXPECT_EQ(messages(), expected);
}

// The engine only reads its key: one it may read but not change (a service
// running as an account of its own) is enough; one its account cannot read
// stops it with 1 and an error event.
TEST_F(ServiceEndToEnd, UnreadableServiceKeyStopsWithSpecificCode1) {
    addList("Alpha");
    ASSERT_EQ(run("-install"), 0);
    const std::string keyDir = sys.path() + "/registry/HKEY_LOCAL_MACHINE/SYSTEM/CurrentControlSet/Services/KOVARingpost";
    ASSERT_EQ(::chmod(keyDir.c_str(), 0555), 0);
    ServiceHandle s;
    ASSERT_TRUE(open(s));
    ASSERT_TRUE(startService(s));
    ASSERT_EQ(waitState(s, SERVICE_RUNNING).currentState, SERVICE_RUNNING);
    ServiceStatus stop;
    ASSERT_TRUE(controlService(s, SERVICE_CONTROL_STOP, stop));
    ASSERT_EQ(waitState(s, SERVICE_STOPPED).currentState, SERVICE_STOPPED);

    if (::geteuid() != 0) GTEST_SKIP() << "a service of another account needs root";
    constexpr char kAccount[] = "ringpost-other";
    unsigned uid = 0, gid = 0;
    if (!lookUpUser(kAccount, &uid, &gid))
        (void)!std::system((std::string("useradd --system --no-create-home --shell /usr/sbin/nologin ") + kAccount +
                            " >/dev/null 2>&1")
                               .c_str());
    if (!lookUpUser(kAccount, &uid, &gid)) GTEST_SKIP() << "no second account could be made";
    ASSERT_EQ(::chmod(keyDir.c_str(), 0700), 0);
    RegistryKey key;
    ASSERT_EQ(regOpenKey(RootKey::LocalMachine, kKey, key), kRegOk);
    ASSERT_EQ(regSetString(key, "ObjectName", kAccount), kRegOk);
    // Root trusts the entry only while the system directory is root's alone.
    for (const std::string& dir : {home.path(), sys.path()}) ::chmod(dir.c_str(), 0755);
    ::chmod((sys.path() + "/eventlog").c_str(), 0777);
    ASSERT_TRUE(fs::remove(eventLogPath()));
    ASSERT_TRUE(startService(s));
    const ServiceStatus st = waitState(s, SERVICE_STOPPED);
    ::chmod(keyDir.c_str(), 0755);
    EXPECT_EQ(st.win32ExitCode, 1066u);
    EXPECT_EQ(st.serviceSpecificExitCode, 1u);
    const auto log = readEventLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[1].type, "Error");
    EXPECT_EQ(log[1].message, "KOVA(tm) Ringpost error: 5\r\nRegOpenKeyEx in MainLoop\r\nAccess is denied.\r\n");
}

TEST_F(ServiceEndToEnd, RemoveWhileStoppedAndWhileRunning) {
    addList("Alpha");
    ASSERT_EQ(run("-install"), 0);
    ASSERT_EQ(run("-remove"), 0);
    RegistryKey key;
    EXPECT_EQ(regOpenKey(RootKey::LocalMachine, kKey, key, KEY_READ), kRegNotFound);
    EXPECT_NE(run("-remove"), 0);

    ServiceHandle s;
    ASSERT_NO_FATAL_FAILURE(installAndStart(s));
    ASSERT_EQ(waitState(s, SERVICE_RUNNING).currentState, SERVICE_RUNNING);
    ASSERT_EQ(run("-remove"), 0);
    ASSERT_EQ(regOpenKey(RootKey::LocalMachine, kKey, key, KEY_READ), kRegOk);
    uint32_t flag = 0;
    EXPECT_EQ(regQueryDword(key, "DeleteFlag", flag), kRegOk);
    EXPECT_EQ(flag, 1u);
    EXPECT_NE(run("-remove"), 0);   // already marked (1072)
    EXPECT_NE(run("-install"), 0);  // cannot come back before it is gone
    ServiceStatus st;
    ASSERT_TRUE(controlService(s, SERVICE_CONTROL_STOP, st));
    for (int i = 0; i < 500 && regOpenKey(RootKey::LocalMachine, kKey, key, KEY_READ) == kRegOk; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(regOpenKey(RootKey::LocalMachine, kKey, key, KEY_READ), kRegNotFound);
    EXPECT_EQ(run("-install"), 0);
}

TEST_F(ServiceEndToEnd, KilledServiceReadsStoppedWith1067AndStartsAgain) {
    addList("Alpha");
    ServiceHandle s;
    ASSERT_NO_FATAL_FAILURE(installAndStart(s));
    ServiceStatus st = waitState(s, SERVICE_RUNNING);
    ASSERT_NE(st.processId, 0u);
    ASSERT_EQ(::kill(static_cast<pid_t>(st.processId), SIGKILL), 0);
    st = waitState(s, SERVICE_STOPPED);
    EXPECT_EQ(st.currentState, SERVICE_STOPPED);
    EXPECT_EQ(st.win32ExitCode, 1067u);
    EXPECT_FALSE(controlService(s, SERVICE_CONTROL_STOP, st));
    EXPECT_EQ(lastErrorCode(), 1062u);
    ASSERT_TRUE(startService(s));
    EXPECT_EQ(waitState(s, SERVICE_RUNNING).currentState, SERVICE_RUNNING);
}

TEST_F(ServiceEndToEnd, RunFromAShellPrintsUsageAndLogsTheDispatcherFailure) {
    ASSERT_EQ(run("-install"), 0);  // registers the message file
    std::string out;
    EXPECT_EQ(run("", &out), 0);
    EXPECT_EQ(out,
              "To install \"KOVA(tm) Ringpost\",  type:\nRingpostSvc -install\n\n"
              "To remove \"KOVA(tm) Ringpost\", type:\nRingpostSvc -remove\n"
              "\nService Control Dispatcher being called.\nThis may take several seconds.  Please wait.\n\n"
              "Hit Ctrl-C, if you are running this from a command line.\n");
    const auto log = readEventLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].type, "Error");
    EXPECT_EQ(log[0].message,
              "KOVA(tm) Ringpost error: 1063\r\nStartServiceCtrlDispatcher in main failed.\r\n"
              "The service process could not connect to the service controller.\r\n");
}

// The first pass comes one interval (at least two minutes) after the start,
// so this test is slow by nature.
TEST_F(ServiceEndToEnd, StopDuringAPassStaysPendingUntilThePassEnds) {
    // A mailbox that answers slowly keeps the pass busy when the stop comes.
    harness::ScriptedPop3Server pop3("127.0.5.10");
    pop3.acceptWithin(200000).pause(3000).greetAndLogin().reply("+OK\r\n.\r\n").reply("+OK bye\r\n");
    std::string error;
    ASSERT_TRUE(pop3.start(&error)) << error;
    home.mkdir("Slow");
    home.write("Slow/Settings.INI", "[General]\r\nName=Slow\r\n[POP3]\r\nServer=" + pop3.server() +
                                        "\r\nUsername=slow\r\nPassword=pw\r\n");
    home.write("Slow/Members.TXT", "");
    ASSERT_EQ(run("-install"), 0);
    {
        RegistryKey key;
        ASSERT_EQ(regOpenKey(RootKey::LocalMachine, kKey, key), kRegOk);
        ASSERT_EQ(regSetDword(key, "WaitTimeInMinutes", 2), kRegOk);
    }
    ServiceHandle s;
    ASSERT_TRUE(open(s));
    ASSERT_TRUE(startService(s));
    ASSERT_EQ(waitState(s, SERVICE_RUNNING).currentState, SERVICE_RUNNING);

    // The service's output is a file another process writes: look at it now and then, bounded.
    const std::string output = "services/KOVARingpost/output.log";
    for (int i = 0; i < 3000 && sys.read(output).find("Connecting to: ") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(sys.read(output).find("Connecting to: "), std::string::npos) << sys.read(output);

    ServiceStatus st;
    ASSERT_TRUE(controlService(s, SERVICE_CONTROL_STOP, st));
    EXPECT_EQ(st.currentState, SERVICE_STOP_PENDING);
    ASSERT_TRUE(queryServiceStatus(s, st));
    EXPECT_EQ(st.currentState, SERVICE_STOP_PENDING);
    EXPECT_EQ(sys.read(output).find("Update Complete"), std::string::npos);  // the pass is still running

    st = waitState(s, SERVICE_STOPPED);
    EXPECT_EQ(st.currentState, SERVICE_STOPPED);
    EXPECT_EQ(st.win32ExitCode, 0u);
    const std::string out = sys.read(output);
    EXPECT_NE(out.find("    Logging out.\nUpdate Complete\nStopping...\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("Updating Slow List"), out.rfind("Updating Slow List"));  // one pass only
}
