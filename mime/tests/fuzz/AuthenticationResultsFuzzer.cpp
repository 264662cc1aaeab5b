// libFuzzer target: arbitrary bytes as Authentication-Results values, one a
// line, topmost first. Only a header that reads whole, carries a trusted id
// and is the topmost such one may vouch, and reading it twice gives the same.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "mime/AuthenticationResults.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> values;
    for (size_t pos = 0; pos <= input.size();) {
        const size_t end = std::min(input.find('\n', pos), input.size());
        values.push_back(input.substr(pos, end - pos));
        pos = end + 1;
    }
    constexpr std::string_view trusted = "mx.example.org, *.example.net";
    constexpr std::string_view domain = "list.example";
    const bool vouches = mime::trustedResultsVouch(values, trusted, domain);

    bool expected = false;
    for (const std::string_view v : values) {
        mime::AuthenticationResults r;
        const bool ok = mime::parseAuthenticationResults(v, r);
        if (ok && r.authservId.empty()) std::abort();
        mime::AuthenticationResults again;
        if (ok && (!mime::parseAuthenticationResults(v, again) || again.results.size() != r.results.size()))
            std::abort();
        if (ok && mime::isTrustedAuthServId(trusted, r.authservId)) {
            expected = mime::vouchesForDomain(r, domain);
            break;
        }
    }
    // A value whose id is trusted but whose rest cannot be read ends the
    // search too, without vouching: never more than the parse allows.
    if (vouches && !expected) std::abort();
    return 0;
}
