#include "ServerAddress.h"

#include "transport/TextRules.h"

namespace transport {

std::optional<ServerAddress> parseServerAddress(std::string_view text, uint16_t defaultPort) {
    const std::string t = text::trim(text);
    ServerAddress a;
    a.port = defaultPort;
    const size_t colon = t.rfind(':');
    if (colon == std::string::npos) {
        a.host = t;
    } else {
        a.host = t.substr(0, colon);
        const std::string_view digits = std::string_view(t).substr(colon + 1);
        if (digits.empty() || digits.size() > 5) return std::nullopt;
        uint32_t port = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
            port = port * 10 + static_cast<uint32_t>(c - '0');
        }
        if (port == 0 || port > 65535) return std::nullopt;
        a.port = static_cast<uint16_t>(port);
    }
    if (a.host.empty()) return std::nullopt;
    return a;
}

}  // namespace transport
