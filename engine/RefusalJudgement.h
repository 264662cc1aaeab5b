// Whose a permanent refusal is. Only a refusal of the member's own address
// or mailbox ends the post for that member; one that concerns the list (its
// account's sending limit, a policy, the post itself) would refuse every
// member alike, so it holds the post for a later pass instead: a provider's
// limit must never cost members a post.
#pragma once

#include <string>
#include <vector>

#include "MailSending.h"

enum class RefusalOwner {
    Member,   // X.1 (the address), X.2 (that mailbox), or no server reply at all
    List,     // X.3 to X.7: the mail system, network, protocol, content, policy
    Unclear,  // a 5xx without an enhanced status, X.0 or X.2.0, which say nothing of whose
};

// By the RFC 3463 class of the reply's enhanced status code.
RefusalOwner OwnerOfRefusal(const ServerReply& reply);

// The reply as one line for the log and the administrators: its code and
// text, line breaks made spaces, control bytes escaped.
std::string ReplyLine(const ServerReply& reply);

// The unclear refusals of one post's copies, in a row: the same reply, the
// recipient's address taken out, for three different members is the list's
// refusal. Until the run is judged its members are neither served nor
// refused.
class RefusalRun {
public:
    // One unclear refusal. True when it makes three: the list's refusal. A
    // run of another reply ends with it, and its members, refused for
    // themselves, are added to `settled`.
    bool add(const std::string& address, const ServerReply& reply, std::vector<std::string>& settled);
    // The run ended before three: its members were refused for themselves.
    // Hands them out and starts anew.
    std::vector<std::string> settle();
    // Members whose refusal is not judged yet.
    const std::vector<std::string>& members() const { return members_; }

private:
    std::string key_;
    std::vector<std::string> members_;
};
