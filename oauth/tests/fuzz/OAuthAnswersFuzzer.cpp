// libFuzzer target: arbitrary bytes as what others send the OAuth module —
// a token endpoint's answer, an ID token, the request line a browser brings
// to the loopback address. Judged answers must keep their promises: success
// only with an access token, and no token in the words shown to people.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "oauth/SignInRequest.h"
#include "oauth/TokenEndpoint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    for (long status : {200L, 400L}) {
        const oauth::TokenAnswer a = oauth::judgeTokenAnswer(status, input);
        if (a.code == 0 && a.accessToken.empty()) std::abort();
        if (!a.accessToken.empty() && a.why.find(a.accessToken) != std::string::npos) std::abort();
    }
    oauth::accountFromIdToken(input);
    const oauth::Redirect r = oauth::parseRedirect(input);
    if (r.code.size() > input.size() || r.state.size() > input.size()) std::abort();
    return 0;
}
