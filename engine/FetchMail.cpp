#include "FetchMail.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "SpoolFileName.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "pop3/KOVAPOP3.h"
#include "transport/ResultCodes.h"
#include "transport/TextRules.h"

namespace {

constexpr int kLoginAttempts = 4;
constexpr uint32_t kLoginPauseMs = 10000;
constexpr int32_t kListingBuffer = 8192;
// The listing cannot change inside one session; the bound only guards
// against a library answering inconsistently.
constexpr int kListingTries = 4;

LoginPause& loginPause() {
    static LoginPause pause;
    return pause;
}

void pauseBeforeRetry() {
    if (loginPause())
        loginPause()(kLoginPauseMs);
    else
        platform::sleepMs(kLoginPauseMs);
}

// The whole id listing. A listing longer than the first buffer is asked for
// again with room for all of it, so a large mailbox drains in one pass.
int32_t readListing(std::string& listing) {
    std::vector<char> buffer(static_cast<size_t>(kListingBuffer));
    int32_t result = 0;
    for (int tries = 0; tries < kListingTries; ++tries) {
        result = KOVAPOP3_GetMessageIDs(buffer.data(), static_cast<int32_t>(buffer.size()));
        if (result < 0) return result;
        if (static_cast<size_t>(result) <= buffer.size()) break;
        buffer.assign(static_cast<size_t>(result), '\0');
    }
    // Never past what the library filled, terminator or not.
    const size_t filled = std::min(static_cast<size_t>(result), buffer.size());
    listing.assign(buffer.data(), filled);
    return result;
}

}  // namespace

void SetLoginPauseForTesting(LoginPause pause) { loginPause() = std::move(pause); }

bool FetchMail(MailList& list) {
    bool stored = false;
    std::printf("  Connecting to: %s  Username: %s...", list.pop3Server.c_str(), list.pop3Username.c_str());
    std::fflush(stdout);

    int failures = 0;
    for (;;) {
        const int32_t result =
            KOVAPOP3_Login(list.pop3Server.c_str(), list.pop3Username.c_str(), list.pop3Password.c_str());
        if (result == 0) break;
        ++failures;
        if (failures >= kLoginAttempts) {
            std::printf("FAILURE %ld\n", static_cast<long>(result));
            return false;
        }
        std::printf("FAILURE %ld on try %d...Waiting 10 seconds.\n    ", static_cast<long>(result), failures);
        std::fflush(stdout);
        pauseBeforeRetry();
    }

    std::printf("Success\n    Getting message IDs...");
    std::fflush(stdout);
    std::string listing;
    const int32_t listed = readListing(listing);
    if (listed < 0) {
        std::printf("FAILURE %ld\n    Logging out.\n", static_cast<long>(listed));
        KOVAPOP3_Logout();
        return false;
    }
    std::printf("Success\n");

    if (listed > 0) {
        std::printf("    Parsing message IDs\n");
        std::string_view rest(listing);
        if (!rest.empty() && rest[0] == '.') rest = {};
        while (!rest.empty()) {
            size_t end = rest.find("\r\n");
            const std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 2);
            if (!rest.empty() && rest[0] == '.') rest = {};

            const size_t space = line.find(' ');
            if (space == std::string_view::npos) continue;
            const int32_t number = text::atol32(line.substr(0, space));
            const std::string id(line.substr(space + 1));
            const std::string path = list.directory + SpoolNameForId(id) + ".NEW";

            std::printf("    Getting message: %ld  ID: %s...", static_cast<long>(number), id.c_str());
            std::fflush(stdout);
            const int32_t got = KOVAPOP3_GetMessage(number, path.c_str());
            if (got != 0) {
                std::printf("FAILURE %ld\n", static_cast<long>(got));
                // A partial file would be processed as a message; the message
                // itself stays on the server and comes again next pass.
                platform::removeFile(path);
                // A refusal of this one message must not block the ones after it.
                if (got == ResultCode::IncorrectResponse) continue;
                break;
            }
            stored = true;
            std::printf("Success\n    Deleting message from server: %ld...", static_cast<long>(number));
            std::fflush(stdout);
            const int32_t deleted = KOVAPOP3_DeleteMessage(number);
            if (deleted != 0) {
                std::printf("FAILURE %ld\n", static_cast<long>(deleted));
                break;
            }
            std::printf("Success\n");
        }
    }

    std::printf("    Logging out.\n");
    KOVAPOP3_Logout();
    return stored;
}
