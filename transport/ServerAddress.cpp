#include "ServerAddress.h"

#include "text/TextRules.h"

namespace transport {

namespace {

// "1" to "65535"; anything else is no port.
std::optional<uint16_t> parsePort(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    uint32_t port = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        port = port * 10 + static_cast<uint32_t>(c - '0');
    }
    if (port == 0 || port > 65535) return std::nullopt;
    return static_cast<uint16_t>(port);
}

}  // namespace

std::optional<ServerAddress> parseServerAddress(std::string_view text, uint16_t defaultPort) {
    const std::string t = text::trim(text);
    ServerAddress a;
    a.port = defaultPort;
    if (!t.empty() && t.front() == '[') {
        // An IPv6 literal in brackets, as in a URL, so that its colons are not a port.
        const size_t close = t.find(']');
        if (close == std::string::npos) return std::nullopt;
        a.host = t.substr(1, close - 1);
        const std::string_view rest = std::string_view(t).substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            const auto port = parsePort(rest.substr(1));
            if (!port) return std::nullopt;
            a.port = *port;
        }
    } else if (const size_t colon = t.find(':'); colon == std::string::npos) {
        a.host = t;
    } else if (t.find(':', colon + 1) != std::string::npos) {
        a.host = t;  // more than one colon: a bare IPv6 literal, which cannot carry a port
    } else {
        a.host = t.substr(0, colon);
        const auto port = parsePort(std::string_view(t).substr(colon + 1));
        if (!port) return std::nullopt;
        a.port = *port;
    }
    if (a.host.empty()) return std::nullopt;
    return a;
}

}  // namespace transport
