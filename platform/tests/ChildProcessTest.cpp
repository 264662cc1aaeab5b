#include "platform/ChildProcess.h"
#include "platform/Process.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/TempDir.h"

using namespace platform;

namespace {

// A descriptor of ours without close-on-exec, far from the ones a shell uses.
class LeakyDescriptor {
public:
    LeakyDescriptor() : fd_(::fcntl(STDIN_FILENO, F_DUPFD, 150)) {}
    ~LeakyDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace

TEST(ChildProcess, InheritsOnlyTheStandardDescriptorsAndNoIgnoredSignal) {
    TempDir dir;
    const LeakyDescriptor leak;
    ASSERT_GE(leak.fd(), 150);
    struct sigaction ignore {}, saved {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGUSR1, &ignore, &saved);
    ChildProcess child;
    std::string error;
    const bool started = child.start(
        {"sh", "-c", "test -e /proc/$$/fd/" + std::to_string(leak.fd()) + " && echo leaked; grep SigIgn /proc/$$/status"},
        dir.file("out"), &error);
    ::sigaction(SIGUSR1, &saved, nullptr);
    ASSERT_TRUE(started) << error;
    ASSERT_TRUE(child.waitExit(10000));
    const std::string out = dir.read("out");
    ASSERT_EQ(out.rfind("SigIgn:\t", 0), 0u) << out;  // nothing leaked before it
    // The C library's own signals above 31 may stay ignored; none of the standard ones.
    EXPECT_EQ(std::stoull(out.substr(8), nullptr, 16) & 0x7FFFFFFFull, 0u) << out;
}

TEST(ChildProcess, ReportsAProgramThatCannotStart) {
    ChildProcess child;
    std::string error;
    EXPECT_FALSE(child.start({"ringpost-no-such-program"}, {}, &error));
    EXPECT_EQ(error, "cannot start ringpost-no-such-program: No such file or directory");
    EXPECT_FALSE(child.start({}, {}, &error));
    EXPECT_EQ(error, "no program given");
}

TEST(Process, ReportsStillActiveThenTheExitCodeAndSearchesNoPath) {
    Process p;
    ASSERT_TRUE(p.start({"/bin/sh", "-c", "read x; exit 7"}));
    uint32_t code = 0;
    ASSERT_TRUE(p.exitCode(code));
    // Standard input is /dev/null, so the read ends at once.
    for (int i = 0; i < 1000 && p.exitCode(code) && code == kStillActive; ++i) ::usleep(10000);
    EXPECT_EQ(code, 7u);
    Process byName;
    EXPECT_FALSE(byName.start({"sh", "-c", "exit 0"}));
}
