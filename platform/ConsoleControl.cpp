#include "ConsoleControl.h"

#include <csignal>
#include <pthread.h>
#include <thread>

namespace platform {

namespace {
// SIGUSR2 wakes the signal thread to end it.
constexpr int kStopSignal = SIGUSR2;

sigset_t consoleSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGQUIT);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, kStopSignal);
    return set;
}

int ctrlTypeFor(int sig) {
    switch (sig) {
        case SIGINT: return kCtrlCEvent;
        case SIGQUIT: return kCtrlBreakEvent;
        case SIGHUP: return kCtrlCloseEvent;
        case SIGTERM: return kCtrlShutdownEvent;
        default: return -1;
    }
}
}  // namespace

void blockConsoleSignals() {
    sigset_t set = consoleSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

struct ConsoleControl::Impl {
    Handler handler;
    std::thread thread;

    void run() {
        const sigset_t set = consoleSignals();
        for (;;) {
            int sig = 0;
            if (sigwait(&set, &sig) != 0) continue;
            if (sig == kStopSignal) return;
            const int type = ctrlTypeFor(sig);
            if (type >= 0 && handler && handler(type)) continue;
            // Unhandled: let the signal do what it would have done.
            std::signal(sig, SIG_DFL);
            sigset_t one;
            sigemptyset(&one);
            sigaddset(&one, sig);
            pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
            raise(sig);
        }
    }
};

ConsoleControl::ConsoleControl(Handler handler) : impl_(std::make_unique<Impl>()) {
    impl_->handler = std::move(handler);
    blockConsoleSignals();  // harmless if main did it already
    impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
}

ConsoleControl::~ConsoleControl() {
    if (impl_->thread.joinable()) {
        pthread_kill(impl_->thread.native_handle(), kStopSignal);
        impl_->thread.join();
    }
}

}  // namespace platform
