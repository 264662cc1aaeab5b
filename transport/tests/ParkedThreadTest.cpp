#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <latch>
#include <thread>

#include "transport/ParkedThread.h"

using transport::ParkedThread;

namespace {

size_t threadCount() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

// Exit status of a child, or -1 when it has not ended within 10 s (it is killed then).
int waitChild(pid_t pid) {
    for (int i = 0; i < 1000; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

}  // namespace

TEST(ParkedThread, JoinWaitsForTheJobAndTheThreadIsReused) {
    std::thread::id first;
    {
        ParkedThread t;
        std::atomic<bool> done{false};
        t.start([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            first = std::this_thread::get_id();
            done = true;
        });
        EXPECT_TRUE(t.joinable());
        t.join();
        EXPECT_FALSE(t.joinable());
        EXPECT_TRUE(done);
    }
    const size_t threads = threadCount();
    for (int i = 0; i < 50; ++i) {
        ParkedThread t;
        std::thread::id id;
        t.start([&] { id = std::this_thread::get_id(); });
        t.join();
        EXPECT_EQ(id, first);
        EXPECT_NE(id, std::this_thread::get_id());
    }
    EXPECT_EQ(threadCount(), threads);
}

TEST(ParkedThread, JobsRunningAtOnceHaveThreadsOfTheirOwn) {
    // Each job waits for the other: with a shared thread neither would end.
    std::latch both(2);
    ParkedThread a, b;
    a.start([&] { both.arrive_and_wait(); });
    b.start([&] { both.arrive_and_wait(); });
    a.join();
    b.join();
    // A destroyed handle joins its job.
    std::atomic<bool> done{false};
    {
        ParkedThread c;
        c.start([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            done = true;
        });
    }
    EXPECT_TRUE(done);
}

TEST(ParkedThread, AForkedChildNeitherUsesNorWaitsForTheParentsThreads) {
    {
        ParkedThread t;  // leaves a parked thread behind in this process
        t.start([] {});
    }
    // A child that only exits, and one that runs jobs of its own first.
    const pid_t quiet = ::fork();
    ASSERT_GE(quiet, 0);
    if (quiet == 0) std::exit(0);
    const pid_t busy = ::fork();
    ASSERT_GE(busy, 0);
    if (busy == 0) {
        int ran = 0;
        for (int i = 0; i < 3; ++i) {
            ParkedThread t;
            t.start([&] { ++ran; });
            t.join();
        }
        std::exit(ran == 3 ? 0 : 1);
    }
    EXPECT_EQ(waitChild(quiet), 0);
    EXPECT_EQ(waitChild(busy), 0);
}
