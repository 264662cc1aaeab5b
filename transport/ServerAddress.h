// A server text as the administrator writes it: "host" or "host:port"; an
// IPv6 literal bare ("::1") or in brackets ("[::1]" or "[::1]:110").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace transport {

struct ServerAddress {
    std::string host;
    uint16_t port = 0;
};

// Without a port the default is used. Surrounding spaces are ignored. An
// empty host or a port that is not a number from 1 to 65535 gives nullopt.
std::optional<ServerAddress> parseServerAddress(std::string_view text, uint16_t defaultPort);

}  // namespace transport
