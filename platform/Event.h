// Events with timed waits: the stand-in for the classic manual- and
// auto-reset event objects the engine and the mail transport wait on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Result of a wait: the index of the signalled event, or one of these.
inline constexpr int kWaitTimeout = -1;

class Event {
public:
    Event(bool manualReset, bool initiallySet);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    bool isSet() const;

    // Waits up to `ms` milliseconds (kInfinite: no limit). True when signalled;
    // an auto-reset event is reset by the wait that sees it.
    bool wait(uint32_t ms);

    // Waits until any of `events` is signalled; returns its index (the lowest
    // when several are) or kWaitTimeout.
    static int waitAny(std::initializer_list<Event*> events, uint32_t ms);
    static int waitAny(const std::vector<Event*>& events, uint32_t ms);

private:
    struct Waiter;
    bool tryConsumeLocked();
    void addWaiter(const std::shared_ptr<Waiter>& w);
    void removeWaiter(const std::shared_ptr<Waiter>& w);

    const bool manual_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_;
    std::vector<std::shared_ptr<Waiter>> waiters_;
};

}  // namespace platform
