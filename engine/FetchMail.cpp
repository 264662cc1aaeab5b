#include "FetchMail.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ListSecurity.h"
#include "ListSignIn.h"
#include "Spool.h"
#include "SpoolFileName.h"
#include "platform/Clock.h"
#include "pop3/KOVAPOP3.h"
#include "text/TextRules.h"

namespace {

constexpr int kLoginAttempts = 4;
constexpr uint32_t kLoginPauseMs = 10000;
constexpr int32_t kListingBuffer = 8192;
// A session that broke off is opened again this often in one cycle at most,
// so a server that fails every transfer cannot hold the pass for long.
constexpr int kReconnects = 2;
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

struct ListedMessage {
    int32_t number = 0;
    std::string id;   // as listed, for the progress lines
    std::string key;  // spool name; the record and the file name use it
};

// Parses the id listing. A listing that names one id twice keeps both
// messages: the later ones get a key of their own instead of overwriting.
std::vector<ListedMessage> parseListing(std::string_view rest) {
    std::vector<ListedMessage> out;
    std::unordered_map<std::string, int> seen;
    if (!rest.empty() && rest[0] == '.') rest = {};
    while (!rest.empty()) {
        const size_t end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 2);
        if (!rest.empty() && rest[0] == '.') rest = {};
        const size_t space = line.find(' ');
        if (space == std::string_view::npos) continue;
        ListedMessage m;
        m.number = text::atol32(line.substr(0, space));
        m.id = std::string(line.substr(space + 1));
        m.key = SpoolNameForId(m.id);
        const int n = ++seen[m.key];
        if (n > 1) m.key += "~" + std::to_string(n);
        out.push_back(std::move(m));
    }
    return out;
}

// The keys of messages stored but perhaps not yet deleted on the server,
// one a line.
class StoredIds {
public:
    explicit StoredIds(const platform::Directory& directory) : directory_(directory) {
        std::string text;
        if (!ReadSpoolRecord(directory_, kFetchedIdsFile, text)) return;
        std::string_view rest(text);
        while (!rest.empty()) {
            const size_t end = rest.find("\r\n");
            const std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 2);
            if (!line.empty()) keys_.insert(std::string(line));
        }
    }
    bool contains(const std::string& key) const { return keys_.count(key) != 0; }
    // Forgets ids the server no longer lists: their messages are gone there.
    bool prune(const std::vector<ListedMessage>& listed) {
        std::unordered_set<std::string> keep;
        for (const auto& m : listed)
            if (keys_.count(m.key)) keep.insert(m.key);
        if (keep.size() == keys_.size()) return true;
        keys_.swap(keep);
        return save();
    }
    bool add(const std::string& key) {
        keys_.insert(key);
        return save();
    }

private:
    // Durable before the caller deletes anything on the server; the
    // directory flush also makes the new spool file's name durable.
    bool save() const {
        std::string text;
        for (const auto& k : keys_) text += k + "\r\n";
        return WriteSpoolRecord(directory_, kFetchedIdsFile, text);
    }

    const platform::Directory& directory_;
    std::unordered_set<std::string> keys_;
};

enum class Drained { Done, Reconnect, Stop };

// Fetches and deletes every listed message not fetched in this cycle yet.
Drained drainListing(const platform::Directory& directory, const std::vector<ListedMessage>& listed, StoredIds& stored,
                     std::unordered_set<std::string>& failed, bool& anyStored) {
    for (const auto& m : listed) {
        if (failed.count(m.key)) continue;
        if (!stored.contains(m.key)) {
            std::printf("    Getting message: %ld  ID: %s...", static_cast<long>(m.number), m.id.c_str());
            std::fflush(stdout);
            SpoolDownload download(directory);
            int32_t got = download.Begin() ? KOVAPOP3_GetMessage(m.number, download.LibraryPath().c_str())
                                           : KOVA_FILE_NOT_CREATED;
            std::string path;
            // A spool file of that name waiting still is never replaced.
            if (got == 0 && !download.Publish(m.key, path))
                got = errno == EEXIST ? KOVA_FILE_NOT_CREATED : KOVA_WRITE_ERROR;
            if (got == 0 && !stored.add(m.key)) {
                // Without the record a lost DELE would bring it twice; it
                // stays on the server for a pass that can keep the record.
                RemoveSpoolFile(path);
                got = KOVA_WRITE_ERROR;
            }
            if (got != 0) {
                std::printf("FAILURE %ld\n", static_cast<long>(got));
                failed.insert(m.key);
                // The session is still in step after a refusal or a file
                // that could not be created; a full disk fails every message.
                if (got == KOVA_INCORRECT_RESPONSE || got == KOVA_FILE_NOT_CREATED) continue;
                if (got == KOVA_WRITE_ERROR) return Drained::Stop;
                return Drained::Reconnect;
            }
            anyStored = true;
            std::printf("Success\n");
        } else {
            // Stored in an earlier session whose DELE or QUIT was lost.
            std::printf("    Message %ld  ID: %s is stored already\n", static_cast<long>(m.number), m.id.c_str());
        }
        std::printf("    Deleting message from server: %ld...", static_cast<long>(m.number));
        std::fflush(stdout);
        const int32_t deleted = KOVAPOP3_DeleteMessage(m.number);
        if (deleted != 0) {
            std::printf("FAILURE %ld\n", static_cast<long>(deleted));
            // A refusal stands for this cycle; after a broken session the
            // next one deletes it without fetching it again.
            if (deleted == KOVA_INCORRECT_RESPONSE) {
                failed.insert(m.key);
                continue;
            }
            return Drained::Reconnect;
        }
        std::printf("Success\n");
    }
    return Drained::Done;
}

bool login(MailList& list, int attempts) {
    int failures = 0;
    for (;;) {
        // A list that cannot sign in at its provider leaves its mail in the
        // mailbox, also when only its SMTP side needs the token: no reply
        // or copy of it could go out.
        int32_t result = list.signInFailure;
        if (result == 0)
            result = KOVAPOP3_Login(list.pop3Server.c_str(), list.pop3Username.c_str(), Pop3Secret(list).c_str());
        // A refused token gets one fresh one at once.
        if (result == KOVA_AUTH_REFUSED && list.pop3OAuth) {
            result = RenewListSignIn(list);
            if (result == 0)
                result = KOVAPOP3_Login(list.pop3Server.c_str(), list.pop3Username.c_str(), Pop3Secret(list).c_str());
        }
        if (result == 0) return true;
        ++failures;
        // Credentials the server refused, or no way to sign in: more tries
        // in this pass would only get the account locked and hold up the
        // other lists. Busy servers and broken connections get their tries.
        const bool final = result == KOVA_AUTH_REFUSED || result == KOVA_OAUTH_SIGN_IN_AGAIN ||
                           result == KOVA_OAUTH_ENDPOINT_FAILED || result == KOVA_PLAIN_AUTH_REFUSED ||
                           result == KOVA_INVALID_PARAMETER;
        if (failures >= attempts || final) {
            std::printf("FAILURE %ld\n", static_cast<long>(result));
            return false;
        }
        std::printf("FAILURE %ld on try %d...Waiting 10 seconds.\n    ", static_cast<long>(result), failures);
        std::fflush(stdout);
        pauseBeforeRetry();
    }
}

// Reads and parses the listing, printing the step; false after a failure
// (the session is then logged out).
bool listMessages(std::vector<ListedMessage>& listed, bool& any) {
    std::printf("Success\n    Getting message IDs...");
    std::fflush(stdout);
    std::string listing;
    const int32_t result = readListing(listing);
    if (result < 0) {
        std::printf("FAILURE %ld\n    Logging out.\n", static_cast<long>(result));
        KOVAPOP3_Logout();
        return false;
    }
    std::printf("Success\n");
    any = result > 0;
    if (any) std::printf("    Parsing message IDs\n");
    listed = parseListing(listing);
    return true;
}

}  // namespace

void SetLoginPauseForTesting(LoginPause pause) { loginPause() = std::move(pause); }

bool FetchMail(MailList& list) {
    bool anyStored = false;
    std::printf("  Connecting to: %s  Username: %s...", list.pop3Server.c_str(), list.pop3Username.c_str());
    std::fflush(stdout);
    if (!login(list, kLoginAttempts)) return false;

    const platform::Directory directory = platform::Directory::open(list.directory);
    StoredIds stored(directory);
    std::unordered_set<std::string> failed;  // not to be tried again in this cycle
    for (int reconnects = 0;; ++reconnects) {
        std::vector<ListedMessage> listed;
        bool any = false;
        if (!listMessages(listed, any)) return anyStored;
        if (!any) break;
        stored.prune(listed);
        const Drained d = drainListing(directory, listed, stored, failed, anyStored);
        if (d != Drained::Reconnect || reconnects >= kReconnects) break;
        // The broken session cannot be trusted to be in step: start afresh,
        // and list again, since message numbers belong to one session.
        KOVAPOP3_Logout();
        std::printf("    Connecting again...");
        std::fflush(stdout);
        if (!login(list, 1)) return anyStored;
    }

    std::printf("    Logging out.\n");
    KOVAPOP3_Logout();
    return anyStored;
}
