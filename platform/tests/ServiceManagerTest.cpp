// The service manager driven directly with a tiny service program: its
// answers in each state, a service whose process died, deletion while running.
#include "platform/ServiceManager.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/syscall.h>
#include <thread>

#include "platform/FileSystem.h"
#include "platform/ServiceErrors.h"
#include "platform/UniqueFd.h"
#include "tests/TempDir.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

class ServiceManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("RINGPOST_SYSTEM_DIR", sys.path().c_str(), 1);
        // A copy in a directory of our own: as root the manager runs only a
        // program nobody else could have replaced.
        fs::copy_file(TINY_SERVICE_PATH, home.file("tiny-service"));
        ASSERT_TRUE(openServiceManager(manager));
        ASSERT_TRUE(createService(manager, "Tiny", "Tiny service", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                  SERVICE_ERROR_NORMAL, home.file("tiny-service"), service));
    }
    void TearDown() override {
        ServiceStatus st;
        if (queryServiceStatus(service, st) && st.processId) ::kill(static_cast<pid_t>(st.processId), SIGKILL);
        ::unsetenv("RINGPOST_SYSTEM_DIR");
    }

    ServiceStatus query() {
        ServiceStatus st;
        EXPECT_TRUE(queryServiceStatus(service, st));
        return st;
    }
    // The status once a start has been reported on (the manager offers
    // nothing to wait on), bounded by the manager's own 30 seconds for a
    // service to connect: a loaded machine can take several to start one.
    ServiceStatus settled() {
        ServiceStatus st = query();
        for (int i = 0; i < 7000 && st.currentState == SERVICE_START_PENDING; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            st = query();
        }
        return st;
    }
    // Waits for the service's process to end (it is not our child).
    bool waitExit(uint32_t pid) {
        // Through syscall: the C library's header for it lacks C linkage here.
        UniqueFd fd(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0)));
        if (!fd) return errno == ESRCH;
        pollfd p{fd.get(), POLLIN, 0};
        return ::poll(&p, 1, 20000) == 1;
    }
    bool installed() {
        ServiceHandle h;
        return openService(manager, "Tiny", h);
    }

    TempDir home, sys;
    ServiceManagerHandle manager;
    ServiceHandle service;
};

enum class Step { Start, Pause, Interrogate, Stop, Delete, Create };

struct Case {
    Step step;
    uint32_t error;  // 0: succeeds
    uint32_t state;  // the state reported or queried afterwards
};

bool perform(Step step, const ServiceManagerHandle& manager, const ServiceHandle& service, ServiceStatus& st) {
    ServiceHandle again;
    switch (step) {
    case Step::Start: return startService(service);
    case Step::Pause: return controlService(service, SERVICE_CONTROL_PAUSE, st);
    case Step::Interrogate: return controlService(service, SERVICE_CONTROL_INTERROGATE, st);
    case Step::Stop: return controlService(service, SERVICE_CONTROL_STOP, st);
    case Step::Delete: return deleteService(service);
    case Step::Create:
        return createService(manager, "Tiny", "Tiny", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                             SERVICE_ERROR_NORMAL, "/bin/true", again);
    }
    return false;
}

}  // namespace

TEST_F(ServiceManagerTest, AnswersEachRequestAsTheStateAllowsAndGoesWhenStoppedAfterDeletion) {
    const Case cases[] = {
        {Step::Interrogate, kErrorServiceNotActive, SERVICE_STOPPED},
        {Step::Create, kErrorServiceExists, SERVICE_STOPPED},
        {Step::Start, 0, SERVICE_RUNNING},
        {Step::Start, kErrorServiceAlreadyRunning, SERVICE_RUNNING},
        {Step::Pause, kErrorServiceCannotAcceptCtrl, SERVICE_RUNNING},
        {Step::Interrogate, 0, SERVICE_RUNNING},
        {Step::Delete, 0, SERVICE_RUNNING},
        {Step::Delete, kErrorServiceMarkedForDelete, SERVICE_RUNNING},
        {Step::Create, kErrorServiceMarkedForDelete, SERVICE_RUNNING},
        {Step::Stop, 0, SERVICE_STOP_PENDING},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(&c - cases));
        ServiceStatus st;
        const bool ok = perform(c.step, manager, service, st);
        EXPECT_EQ(ok, c.error == 0);
        if (!ok) {
            EXPECT_EQ(lastErrorCode(), c.error);
        }
        if (c.step != Step::Stop) {
            EXPECT_EQ(settled().currentState, c.state);
        } else {
            // The answer is what the handler reported, or the stop that may have followed at once.
            EXPECT_TRUE(st.currentState == c.state || st.currentState == SERVICE_STOPPED) << st.currentState;
        }
    }
    const uint32_t pid = query().processId;
    ASSERT_NE(pid, 0u);
    ASSERT_TRUE(waitExit(pid));
    // The service's own process removed it on its way out.
    EXPECT_FALSE(installed());
    EXPECT_EQ(lastErrorCode(), kErrorServiceDoesNotExist);
    EXPECT_FALSE(fs::exists(sys.file("services/Tiny")));
}

TEST_F(ServiceManagerTest, AProcessThatDiedReadsAsStoppedWith1067AndStartsAgain) {
    ASSERT_TRUE(startService(service));
    const uint32_t pid = query().processId;
    ASSERT_NE(pid, 0u);
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
    ASSERT_TRUE(waitExit(pid));

    ServiceStatus st = query();
    EXPECT_EQ(st.currentState, SERVICE_STOPPED);
    EXPECT_EQ(st.win32ExitCode, kErrorProcessAborted);
    EXPECT_EQ(st.processId, 0u);
    EXPECT_FALSE(controlService(service, SERVICE_CONTROL_STOP, st));
    EXPECT_EQ(lastErrorCode(), kErrorServiceNotActive);

    // A clean start and stop after it: exit code 0 again.
    ASSERT_TRUE(startService(service));
    const uint32_t second = query().processId;
    ASSERT_EQ(settled().currentState, SERVICE_RUNNING);
    ASSERT_TRUE(controlService(service, SERVICE_CONTROL_STOP, st));
    ASSERT_TRUE(waitExit(second));
    st = query();
    EXPECT_EQ(st.currentState, SERVICE_STOPPED);
    EXPECT_EQ(st.win32ExitCode, 0u);

    // Deleted while stopped: gone at once.
    ASSERT_TRUE(deleteService(service));
    EXPECT_FALSE(installed());
}

TEST_F(ServiceManagerTest, AProgramThatCannotRunFailsTheStartWithItsReason) {
    fs::permissions(home.file("tiny-service"), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(startService(service));
    EXPECT_EQ(lastErrorCode(), static_cast<uint32_t>(EACCES));
    const ServiceStatus st = query();
    EXPECT_EQ(st.currentState, SERVICE_STOPPED);
    EXPECT_EQ(st.win32ExitCode, static_cast<uint32_t>(EACCES));
    EXPECT_EQ(st.processId, 0u);
}
