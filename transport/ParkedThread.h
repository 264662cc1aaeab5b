// A thread a connection borrows for as long as it lives. Between connections
// the thread waits parked for the next one, so a session pays neither for
// creating a thread nor for ending it. To its user it behaves like a thread
// started for the job and joined afterwards.
//
// Parked threads are process-wide; they end and are joined when the last
// user is gone and the library's static objects are destroyed, so none
// outlives the code it runs. In the child of a fork the parent's parked
// threads do not exist: they are forgotten there, never waited for.
#pragma once

#include <functional>
#include <memory>

namespace transport {

class ParkedThread {
public:
    ParkedThread();
    ~ParkedThread();  // joins
    ParkedThread(const ParkedThread&) = delete;
    ParkedThread& operator=(const ParkedThread&) = delete;

    // Runs job on a parked thread, or on a new one when none is parked.
    // Throws std::system_error, as std::thread does, when no thread can be
    // started. Must not be called while a job is running.
    void start(std::function<void()> job);
    // True from start() until join().
    bool joinable() const { return worker_ != nullptr; }
    // Waits until the job has returned; the thread then parks for the next.
    void join();

    struct Worker;
    class Park;

private:
    std::unique_ptr<Worker> worker_;
    std::shared_ptr<Park> park_;
};

}  // namespace transport
