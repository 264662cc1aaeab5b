// libFuzzer target: arbitrary bytes as a spooled message through the
// delivery-report reader. Every recipient it returns must be a plain address
// and every reason one short line.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "mime/DeliveryReport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const mime::DeliveryReport report =
        mime::readDeliveryReport(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const mime::FailedRecipient& r : report.recipients) {
        if (r.address.empty() || r.address.find('@') == std::string::npos) std::abort();
        if (r.reason.size() > mime::kMaxReason) std::abort();
        for (const char c : r.address + r.finalAddress + r.reason + r.status)
            if (static_cast<unsigned char>(c) < ' ') std::abort();
    }
    if (!report.isReport() && !report.recipients.empty()) std::abort();
    return 0;
}
