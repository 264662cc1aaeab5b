#include "RefusalJudgement.h"

#include <algorithm>
#include <utility>

#include "text/Printable.h"
#include "text/TextRules.h"

namespace {

constexpr size_t kRunThatIsTheLists = 3;

// The reply as it would read for any member: servers often name the
// recipient ("<ann@example.org>: quota exceeded").
std::string withoutAddress(const std::string& address, const ServerReply& reply) {
    std::string text = text::toUpper(reply.text);
    const std::string upper = text::toUpper(address);
    if (!upper.empty())
        for (size_t at = text.find(upper); at != std::string::npos; at = text.find(upper, at))
            text.erase(at, upper.size());
    return std::to_string(reply.code) + ' ' + reply.status + ' ' + text::trim(text);
}

}  // namespace

RefusalOwner OwnerOfRefusal(const ServerReply& reply) {
    if (reply.code / 100 != 5) return RefusalOwner::Member;  // refused before any server was asked
    const std::string& s = reply.status;
    const size_t dot = s.find('.');
    const char subject = dot != std::string::npos && dot + 1 < s.size() ? s[dot + 1] : '\0';
    const bool oneDigit = dot != std::string::npos && dot + 2 < s.size() && s[dot + 2] == '.';
    if (!oneDigit || subject == '0') return RefusalOwner::Unclear;
    // X.2.0, "other mailbox status", names no fault of the recipient's
    // mailbox; Microsoft 365 answers 5.2.0 when the list's own account is
    // over its sending quota or blocked, which would refuse every member alike.
    if (subject == '2' && s.compare(dot + 2, std::string::npos, ".0") == 0) return RefusalOwner::Unclear;
    if (subject == '1' || subject == '2') return RefusalOwner::Member;
    if (subject >= '3' && subject <= '7') return RefusalOwner::List;
    return RefusalOwner::Unclear;
}

std::string ReplyLine(const ServerReply& reply) {
    std::string text = reply.text;
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text::printable(std::to_string(reply.code) + ' ' + text::trim(text));
}

bool RefusalRun::add(const std::string& address, const ServerReply& reply, std::vector<std::string>& settled) {
    const std::string key = withoutAddress(address, reply);
    if (key != key_) {
        const std::vector<std::string> earlier = settle();
        settled.insert(settled.end(), earlier.begin(), earlier.end());
        key_ = key;
    }
    const auto same = [&](const std::string& m) { return text::equalsIgnoreCase(m, address); };
    if (std::none_of(members_.begin(), members_.end(), same)) members_.push_back(address);
    return members_.size() >= kRunThatIsTheLists;
}

std::vector<std::string> RefusalRun::settle() {
    key_.clear();
    return std::exchange(members_, {});
}
