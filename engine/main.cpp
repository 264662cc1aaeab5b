// RingpostSvc: the list server engine, run by the service manager or, with
// "-start", in a console.
#include <cstdint>
#include <cstdio>

#include "EventLogging.h"
#include "FailureJournal.h"
#include "MainLoop.h"
#include "ServiceFrame.h"
#include "ServiceInstall.h"
#include "platform/ConsoleControl.h"
#include "text/TextRules.h"

namespace {

constexpr char kProgramName[] = "RingpostSvc";
constexpr uint32_t kConsoleDefaultIntervalMs = 60000;

void PrintUsage() {
    std::printf("To install \"%s\",  type:\n", kDisplayName);
    std::printf("%s -install\n\n", kProgramName);
    std::printf("To remove \"%s\", type:\n", kDisplayName);
    std::printf("%s -remove\n", kProgramName);
}

int RunAsService() {
    const ServiceFailuresToJournal journal;
    PrintUsage();
    std::printf("\nService Control Dispatcher being called.\n");
    std::printf("This may take several seconds.  Please wait.\n\n");
    std::printf("Hit Ctrl-C, if you are running this from a command line.\n");
    std::fflush(stdout);
    if (!RunServiceDispatcher()) LogEvent(0, 0, "StartServiceCtrlDispatcher in main failed.", EVENTLOG_ERROR_TYPE);
    return 0;
}

int RunInConsole(int argc, char** argv) {
    const int32_t ms = argc == 3 ? text::atol32(argv[2]) : 0;
    // Zero, negative or non-numeric would poll back to back or never: such a
    // value counts as absent.
    if (ms > 0)
        MainLoop(RunMode::Console, static_cast<uint32_t>(ms), true);
    else
        MainLoop(RunMode::Console, kConsoleDefaultIntervalMs, false);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread starts, so only the signal thread sees console signals.
    platform::blockConsoleSignals();
    // The progress log follows the work also through a pipe or into a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    if (argc > 1 && (argv[1][0] == '-' || argv[1][0] == '/')) {
        const char* sw = argv[1] + 1;
        if (text::equalsIgnoreCase(sw, "install")) return InstallService();
        if (text::equalsIgnoreCase(sw, "remove")) return RemoveService();
        if (text::equalsIgnoreCase(sw, "start")) return RunInConsole(argc, argv);
        return 0;
    }
    return RunAsService();
}
