#include "ParkedThread.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ProcessId.h"

namespace transport {

namespace {
// Enough for two connections at once, each with its reader and writer; more
// threads than that are ended when they come back.
constexpr size_t kMaxParked = 4;
}  // namespace

struct ParkedThread::Worker {
    std::mutex mutex;
    std::condition_variable cv;
    std::function<void()> job;
    bool busy = false;
    bool quit = false;
    std::thread thread;

    void loop() {
        std::unique_lock lock(mutex);
        for (;;) {
            cv.wait(lock, [this] { return job || quit; });
            if (!job) return;
            auto task = std::move(job);
            job = nullptr;
            lock.unlock();
            task();
            task = nullptr;  // what the job holds goes before its end is reported
            lock.lock();
            busy = false;
            cv.notify_all();
        }
    }

    // Ends the parked thread and waits for it.
    void retire() {
        {
            std::lock_guard lock(mutex);
            quit = true;
        }
        cv.notify_all();
        thread.join();
    }
};

class ParkedThread::Park {
public:
    Park() : pid_(platform::currentProcessId()) {}
    ~Park() {
        if (forked())
            forget();
        else
            for (auto& w : idle_) w->retire();
    }

    // The process-wide park; users hold it while they hold a worker, so it
    // lasts until the last worker is back.
    static std::shared_ptr<Park> instance() {
        static const std::shared_ptr<Park> park = std::make_shared<Park>();
        return park;
    }

    std::unique_ptr<Worker> take() {
        std::lock_guard lock(mutex_);
        if (forked()) {
            forget();
            pid_ = platform::currentProcessId();
        }
        if (idle_.empty()) return nullptr;
        auto w = std::move(idle_.back());
        idle_.pop_back();
        return w;
    }

    void give(std::unique_ptr<Worker> w) {
        {
            std::lock_guard lock(mutex_);
            if (!forked() && idle_.size() < kMaxParked) {
                idle_.push_back(std::move(w));
                return;
            }
        }
        w->retire();
    }

private:
    bool forked() const { return platform::currentProcessId() != pid_; }
    // The threads behind these workers live in the parent only.
    void forget() {
        for (auto& w : idle_) static_cast<void>(w.release());
        idle_.clear();
    }

    std::mutex mutex_;
    std::vector<std::unique_ptr<Worker>> idle_;
    uint32_t pid_;
};

ParkedThread::ParkedThread() = default;
ParkedThread::~ParkedThread() { join(); }

void ParkedThread::start(std::function<void()> job) {
    auto park = Park::instance();
    auto w = park->take();
    if (!w) {
        w = std::make_unique<Worker>();
        Worker* raw = w.get();
        w->thread = std::thread([raw] { raw->loop(); });
    }
    {
        std::lock_guard lock(w->mutex);
        w->job = std::move(job);
        w->busy = true;
    }
    w->cv.notify_all();
    worker_ = std::move(w);
    park_ = std::move(park);
}

void ParkedThread::join() {
    if (!worker_) return;
    {
        std::unique_lock lock(worker_->mutex);
        worker_->cv.wait(lock, [this] { return !worker_->busy; });
    }
    park_->give(std::move(worker_));
    park_.reset();
}

}  // namespace transport
