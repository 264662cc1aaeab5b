// The smallest service: reports running, accepts stop, reports stopped when
// told to. Used to drive the service manager without the engine.
#include <condition_variable>
#include <mutex>

#include "platform/ServiceManager.h"

using namespace platform;

namespace {

std::mutex mutex;
std::condition_variable stopAsked;
bool stopping = false;
ServiceStatusHandle handle = nullptr;

void report(uint32_t state, uint32_t accepted) {
    ServiceStatus s;
    s.currentState = state;
    s.controlsAccepted = accepted;
    setServiceStatus(handle, s);
}

void handler(uint32_t control) {
    if (control != SERVICE_CONTROL_STOP) return;
    report(SERVICE_STOP_PENDING, 0);
    std::lock_guard lock(mutex);
    stopping = true;
    stopAsked.notify_all();
}

void serviceMain(uint32_t, char**) {
    handle = registerServiceCtrlHandler("Tiny", handler);
    if (!handle) return;
    report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP);
    std::unique_lock lock(mutex);
    stopAsked.wait(lock, [] { return stopping; });
    lock.unlock();
    report(SERVICE_STOPPED, 0);
}

}  // namespace

int main() { return startServiceCtrlDispatcher("Tiny", serviceMain) ? 0 : 1; }
