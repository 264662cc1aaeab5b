// The domain announced in HELO, taken from the sender address.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace smtp {

// Longest domain we announce (the limit of a domain name).
inline constexpr size_t kMaxDomainLength = 255;

// The text behind the last "@"; without "@", the last two dot-separated
// labels (or the whole text when it has a single dot). Success, or
// InvalidParameter when no non-empty domain of at most 255 bytes results.
int32_t heloDomain(std::string_view from, std::string& domain);

}  // namespace smtp
