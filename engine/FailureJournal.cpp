#include "FailureJournal.h"

#include <memory>

#include "platform/EventLog.h"
#include "platform/LineTap.h"

namespace {

constexpr std::string_view kUpdating = "Updating ";
constexpr std::string_view kListEnd = " List";
constexpr std::string_view kUpdateComplete = "Update Complete";
constexpr std::string_view kFailure = "FAILURE";

}  // namespace

std::optional<std::string> FailureJournal::take(std::string_view line) {
    if (line.starts_with(kUpdating) && line.ends_with(kListEnd) && line.size() >= kUpdating.size() + kListEnd.size()) {
        list_ = line.substr(kUpdating.size(), line.size() - kUpdating.size() - kListEnd.size());
        updating_ = true;
        return std::nullopt;
    }
    if (line == kUpdateComplete) {
        updating_ = false;
        return std::nullopt;
    }
    // Failures outside a pass (registry, no list) are events already.
    if (!updating_ || line.find(kFailure) == std::string_view::npos) return std::nullopt;
    const size_t text = line.find_first_not_of(' ');
    return list_ + ": " + std::string(line.substr(text == std::string_view::npos ? line.size() : text));
}

ServiceFailuresToJournal::ServiceFailuresToJournal() {
    std::fflush(stdout);
    auto journal = std::make_shared<FailureJournal>();
    tap_ = platform::openLineTap(fileno(stdout), [journal](std::string_view line) {
        if (const auto message = journal->take(line)) platform::writeToSystemLog(platform::kEventWarning, *message);
    });
    if (!tap_) return;
    std::setvbuf(tap_, nullptr, _IOLBF, 0);
    previous_ = stdout;
    stdout = tap_;
}

ServiceFailuresToJournal::~ServiceFailuresToJournal() {
    if (!tap_) return;
    std::fflush(tap_);
    stdout = previous_;
    std::fclose(tap_);
}
