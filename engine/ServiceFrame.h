// The engine as the service "KOVARingpost": entry point, control handler and
// status reports to the service manager.
#pragma once

#include <cstdint>

// How long the service manager is told to wait for each start step.
inline constexpr uint32_t kStartWaitHintMs = 3000;

// Connects to the service manager's dispatcher with the one-entry table
// (KOVARingpost, ServiceMain). False when the process was not started by the
// service manager; the last error then holds the reason (1063).
bool RunServiceDispatcher();

void ServiceMain(uint32_t argc, char** argv);
void ServiceStart();
void ServiceCtrlHandler(uint32_t control);
bool ReportStatusToSCMgr(uint32_t currentState, uint32_t win32ExitCode, uint32_t serviceSpecificExitCode,
                         uint32_t waitHintMs);
