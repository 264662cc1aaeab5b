// Whether something listens on a loopback port: used to wait until a server
// started beside us is ready, instead of sleeping a fixed time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// One connect attempt to ipv4:port, bounded by timeoutMs. The connection is
// closed at once.
bool acceptsConnections(const std::string& ipv4, uint16_t port, uint32_t timeoutMs);

// Tries until the port accepts, boundMs passes, or stillWorthWaiting (when
// given) returns false, e.g. because the server process has exited.
bool waitForListener(const std::string& ipv4, uint16_t port, uint32_t boundMs,
                     const std::function<bool()>& stillWorthWaiting = {});

}  // namespace platform
