// Console control events delivered by signals: SIGINT is Ctrl-C (0), SIGQUIT
// Ctrl-Break (1), SIGHUP close (2), SIGTERM shutdown (6). A dedicated thread
// waits for them and calls the handler there, so the handler may print and
// set events.
#pragma once

#include <functional>
#include <memory>

namespace platform {

inline constexpr int kCtrlCEvent = 0;
inline constexpr int kCtrlBreakEvent = 1;
inline constexpr int kCtrlCloseEvent = 2;
inline constexpr int kCtrlLogoffEvent = 5;
inline constexpr int kCtrlShutdownEvent = 6;

// Call first in main, before any thread starts: blocks the console signals in
// every thread (so only the signal thread receives them) and ignores SIGPIPE.
void blockConsoleSignals();

// Starts the signal thread (once) and routes console events to `handler`.
// A handler returning false lets the signal take its default action.
class ConsoleControl {
public:
    using Handler = std::function<bool(int ctrlType)>;
    explicit ConsoleControl(Handler handler);
    ~ConsoleControl();
    ConsoleControl(const ConsoleControl&) = delete;
    ConsoleControl& operator=(const ConsoleControl&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
