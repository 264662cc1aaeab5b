#include "MainLoop.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>

#include "ActiveLists.h"
#include "EventLogging.h"
#include "ListLoading.h"
#include "PollingInterval.h"
#include "UpdateList.h"
#include "platform/ConsoleControl.h"
#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/Registry.h"

namespace {

std::mutex stopEventMutex;
std::unique_ptr<platform::Event> stopEvent;
// A stop asked for before the event exists (a signal during start-up) is
// kept for it, not lost.
bool stopRequested = false;

const char kInitFailure[] = "Initialization FAILURE! If you haven't created any lists, this message will appear.";

bool ConsoleCtrlHandler(int ctrlType) {
    switch (ctrlType) {
        case platform::kCtrlCEvent:
        case platform::kCtrlBreakEvent:
        case platform::kCtrlCloseEvent:
        case platform::kCtrlLogoffEvent:
        case platform::kCtrlShutdownEvent:
            std::printf("Stopping %s...Please wait\n", kDisplayName);
            std::fflush(stdout);
            ServiceStop();
            return true;
        default:
            return false;
    }
}

}  // namespace

void ServiceStop() {
    std::lock_guard lock(stopEventMutex);
    stopRequested = true;
    if (stopEvent) stopEvent->set();
}

bool StopRequested() {
    std::lock_guard lock(stopEventMutex);
    return stopEvent && stopEvent->isSet();
}

bool WaitForStopRequest(uint32_t ms) {
    platform::Event* event = nullptr;
    {
        std::lock_guard lock(stopEventMutex);
        event = stopEvent.get();
    }
    // Outside MainLoop (tests, tools) there is nothing to wait for.
    if (!event) {
        platform::sleepMs(ms);
        return false;
    }
    return event->wait(ms);
}

int MainLoop(RunMode mode, uint32_t intervalMs, bool intervalFromCommandLine, const StageReporter& report) {
    const bool service = mode == RunMode::Service;
    const auto reached = [&](LoopStage stage) { return !report || report(stage); };
    int result = 0;
    std::optional<platform::ConsoleControl> consoleControl;

    if (service) {
        LogEvent(0, 0, "KOVA(tm) Ringpost starting", EVENTLOG_INFORMATION_TYPE);
    } else {
        consoleControl.emplace(ConsoleCtrlHandler);
        std::printf("Running in console mode...Press Ctrl-C to exit\n\n");
    }

    std::printf("Opening registry...");
    {
        platform::RegistryKey key;
        // Read access only: the engine writes no value, and a service running
        // as its own account may read the key but not change it.
        const int32_t rc =
            platform::regOpenKey(platform::RootKey::LocalMachine, kServiceKeyPath, key, platform::KEY_READ);
        if (rc != platform::kRegOk) {
            std::printf("FAILURE. Check Event Log with Event Viewer for details.\n");
            LogEvent(0, static_cast<uint32_t>(rc), "RegOpenKeyEx in MainLoop", EVENTLOG_ERROR_TYPE);
            if (service) result = 1;
        } else {
            std::printf("Success\n");
            if (!intervalFromCommandLine) intervalMs = IntervalFromServiceKey(key);
        }
    }
    std::printf("Update time is set to %ld minute(s).\n", static_cast<long>(intervalMs / kMillisecondsPerMinute));

    {
        std::lock_guard lock(stopEventMutex);
        stopEvent = std::make_unique<platform::Event>(true, false);
        if (stopRequested) stopEvent->set();
    }

    if (result == 0 && reached(LoopStage::Initializing)) {
        std::printf("Initializing...\n");
        if (!DiscoverLists()) {
            std::printf("%s\n", kInitFailure);
            result = 3;
            if (service) {
                LogEvent(0, 0, kInitFailure, EVENTLOG_WARNING_TYPE);
                LogEvent(0, 0, "KOVA(tm) Ringpost stopped", EVENTLOG_INFORMATION_TYPE);
            }
        } else {
            std::printf("Initialization Success\n");
            if (reached(LoopStage::Running)) {
                ActiveLists& lists = ActiveLists::instance();
                for (;;) {
                    std::fflush(stdout);
                    if (stopEvent->wait(intervalMs)) break;
                    for (int32_t i = 0; i < lists.count(); ++i) {
                        MailList& list = lists.at(i);
                        std::printf("\nUpdating %s List\n", list.name.c_str());
                        UpdateList(list);
                        std::printf("Update Complete\n");
                    }
                }
                std::printf("Stopping...\n");
                if (service) LogEvent(0, 0, "KOVA(tm) Ringpost stopped", EVENTLOG_INFORMATION_TYPE);
            }
        }
    }
    std::fflush(stdout);

    std::lock_guard lock(stopEventMutex);
    stopEvent.reset();
    stopRequested = false;
    return result;
}
