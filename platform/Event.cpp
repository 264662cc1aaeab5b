#include "Event.h"

#include <algorithm>
#include <chrono>

namespace platform {

// A multi-event wait registers one of these with each event; set() pokes it.
struct Event::Waiter {
    std::mutex mutex;
    std::condition_variable cv;
    bool poked = false;
};

Event::Event(bool manualReset, bool initiallySet) : manual_(manualReset), signalled_(initiallySet) {}

Event::~Event() = default;

void Event::set() {
    std::vector<std::shared_ptr<Waiter>> toPoke;
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
        toPoke = waiters_;
    }
    cv_.notify_all();
    for (auto& w : toPoke) {
        std::lock_guard lock(w->mutex);
        w->poked = true;
        w->cv.notify_all();
    }
}

void Event::reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool Event::isSet() const {
    std::lock_guard lock(mutex_);
    return signalled_;
}

bool Event::tryConsumeLocked() {
    if (!signalled_) return false;
    if (!manual_) signalled_ = false;
    return true;
}

bool Event::wait(uint32_t ms) {
    std::unique_lock lock(mutex_);
    if (ms == kInfinite) {
        cv_.wait(lock, [this] { return signalled_; });
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return signalled_; })) {
        return false;
    }
    return tryConsumeLocked();
}

void Event::addWaiter(const std::shared_ptr<Waiter>& w) {
    std::lock_guard lock(mutex_);
    waiters_.push_back(w);
}

void Event::removeWaiter(const std::shared_ptr<Waiter>& w) {
    std::lock_guard lock(mutex_);
    waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), w), waiters_.end());
}

int Event::waitAny(std::initializer_list<Event*> events, uint32_t ms) {
    return waitAny(std::vector<Event*>(events), ms);
}

int Event::waitAny(const std::vector<Event*>& events, uint32_t ms) {
    auto waiter = std::make_shared<Waiter>();
    for (Event* e : events) e->addWaiter(waiter);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    const auto consumeFirst = [&events] {
        for (size_t i = 0; i < events.size(); ++i) {
            std::lock_guard lock(events[i]->mutex_);
            if (events[i]->tryConsumeLocked()) return static_cast<int>(i);
        }
        return kWaitTimeout;
    };
    int result = kWaitTimeout;
    for (;;) {
        {
            std::lock_guard wl(waiter->mutex);
            waiter->poked = false;
        }
        result = consumeFirst();
        if (result != kWaitTimeout) break;
        std::unique_lock wl(waiter->mutex);
        if (ms == kInfinite) {
            waiter->cv.wait(wl, [&] { return waiter->poked; });
        } else if (!waiter->cv.wait_until(wl, deadline, [&] { return waiter->poked; })) {
            wl.unlock();
            // One last look: a set() may have landed right at the deadline.
            result = consumeFirst();
            break;
        }
    }
    for (Event* e : events) e->removeWaiter(waiter);
    return result;
}

}  // namespace platform
