// libFuzzer target: arbitrary bytes as a From value. Whatever is taken must be
// one bare address within SMTP's limits that reads back as itself; anything
// else must come with a reason.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "mime/MailAddress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const mime::MailAddress a = mime::parseMailbox(text);
    if (!a.ok()) {
        if (!a.bareAddress.empty()) std::abort();
        return 0;
    }
    const std::string& s = a.bareAddress;
    const size_t at = s.rfind('@');
    if (s.size() > 254 || at == std::string::npos || at == 0 || at > 64) std::abort();
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        // Nothing that splits a recipient list, a member file line or a log line.
        if (b <= ' ' || b >= 0x7F || c == ',' || c == '<' || c == '>' || c == '"' || c == '(') std::abort();
    }
    if (!mime::isBareAddress(s)) std::abort();
    return 0;
}
