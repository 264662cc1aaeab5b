#include "EventLogging.h"

#include <cstdio>

#include "MainLoop.h"
#include "platform/ErrorText.h"
#include "platform/EventLog.h"
#include "platform/FileSystem.h"
#include "platform/MessageTable.h"

// The engine's message table, carried inside the program file so the event
// log formats events from it once the program is registered as the source's
// message file (done by -install).
RINGPOST_MESSAGE_TABLE(ringpostEngineMessageTable,
                       RINGPOST_MESSAGE(0, "%1\r\n%2\r\n%3\r\n") RINGPOST_MESSAGE(0x40000000, "%1\r\n"));

namespace {
constexpr uint32_t kInformationEventId = 0x40000000;
constexpr size_t kSystemTextLimit = 255;
}  // namespace

void LogEvent(uint32_t eventId, uint32_t errorCode, const std::string& text, uint16_t eventType) {
    if (eventId == 0 && errorCode == 0) errorCode = platform::lastErrorCode();

    std::string systemText = platform::systemErrorText(errorCode);
    if (systemText.size() > kSystemTextLimit - 1) systemText.resize(kSystemTextLimit - 1);

    char summary[128];
    std::snprintf(summary, sizeof summary, "%s error: %lu", kDisplayName, static_cast<unsigned long>(errorCode));

    const std::string& single = !text.empty() ? text : (!systemText.empty() ? systemText : std::string(summary));
    std::vector<std::string> strings;
    if (eventId != 0) {
        strings = {single};
    } else if (eventType == EVENTLOG_ERROR_TYPE) {
        strings = {summary, text, systemText};
    } else {
        eventId = kInformationEventId;
        strings = {single};
    }

    platform::EventSource source;
    if (!source.open(kServiceName)) return;
    source.report(eventType, 0, eventId, strings);
}
