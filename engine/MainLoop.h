// The polling loop: load every list once, then update each list every interval
// until asked to stop.
#pragma once

#include <cstdint>
#include <functional>

inline constexpr char kServiceName[] = "KOVARingpost";
inline constexpr char kDisplayName[] = "KOVA(tm) Ringpost";
inline constexpr char kServiceKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\KOVARingpost";

enum class RunMode { Service, Console };

// The stages the loop tells whoever runs it about; false from the reporter
// ends the loop there.
enum class LoopStage { Initializing, Running };
using StageReporter = std::function<bool(LoopStage)>;

// Results: 0 normal stop, 1 service key unreadable (service mode), 2 stop
// event not created, 3 no list found. `report` may be empty.
int MainLoop(RunMode mode, uint32_t intervalMs, bool intervalFromCommandLine, const StageReporter& report = {});

// Asks a running MainLoop to stop after its current pass. Safe from any thread.
void ServiceStop();

// True once a stop has been asked for; long work checks it between steps.
bool StopRequested();
// Waits up to `ms`; true as soon as a stop is asked for (at once if it was).
bool WaitForStopRequest(uint32_t ms);
