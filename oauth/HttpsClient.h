// Form-encoded POSTs to an OAuth 2.0 endpoint over HTTPS (libcurl), the
// server verified like the mail servers: the system's authorities plus an
// optional CA file, the name against the URL's host, TLS 1.2 at the least.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace oauth {

using FormFields = std::vector<std::pair<std::string, std::string>>;

struct HttpAnswer {
    long status = 0;
    std::string body;
};

// Percent-encoding for URLs and form bodies (RFC 3986 unreserved kept).
std::string urlEncode(const std::string& text);
std::string formEncode(const FormFields& fields);

// 0 with the answer (any HTTP status), PlainAuthRefused for a URL that is
// not https (nothing is sent), OAuthEndpointFailed when no answer came
// (unreachable, TLS or certificate failure, time-out); `why` says what
// happened, for people.
int32_t postForm(const std::string& url, const FormFields& fields, const std::string& caFile, HttpAnswer& answer,
                 std::string* why = nullptr);

// Bound on one request, connection included.
inline constexpr long kRequestTimeoutMs = 30000;

}  // namespace oauth
