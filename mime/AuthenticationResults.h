// Authentication-Results (RFC 8601): what a receiving server found when it
// checked where a message came from. Anyone can write such a header; only
// the one the list's own mailbox provider added says anything, and the
// caller names that provider by its authserv-id.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mime {

struct AuthProperty {
    std::string type;      // "header", "smtp", "policy", ...; empty for a bare "name=value"
    std::string property;  // "d", "i", "from", ...
    std::string value;     // quoting undone, comments dropped
};

struct AuthResult {
    std::string method;  // "dkim", "dmarc", ...; its version dropped
    std::string result;  // "pass", "fail", ...
    std::vector<AuthProperty> properties;
    // The first property of that type and name (case ignored); null when none.
    const std::string* find(std::string_view type, std::string_view property) const;
};

struct AuthenticationResults {
    std::string authservId;
    std::vector<AuthResult> results;
};

// Reads one header value, comments, quoted strings and folding included.
// False when the value has no authserv-id (a result where the id belongs,
// as Microsoft 365 writes it) or its syntax breaks anywhere: a header that
// cannot be read whole cannot be told apart from one a sender forged into
// it. A trailing ';' and "name=value" properties without a type are taken.
bool parseAuthenticationResults(std::string_view value, AuthenticationResults& out);

// Whether `authservId` is one of `trusted`: ids separated by commas or
// blanks, each matched whole ignoring case; "*.example.net" matches every
// id below example.net (a provider whose receiving hosts each write their
// own name).
bool isTrustedAuthServId(std::string_view trusted, std::string_view authservId);

// Whether the results show mail with a From in `domain` as sent by the
// domain's owner: dmarc=pass for header.from `domain`, or dkim=pass whose
// header.d (else header.i's domain) is `domain` or a parent of it. A dmarc
// result other than pass or none for the domain outweighs any pass: the
// provider found the From forged, whatever else the header seems to say.
bool vouchesForDomain(const AuthenticationResults& results, std::string_view domain);

// The verdict over a message's Authentication-Results values, topmost
// first: only the topmost one with a trusted authserv-id counts (the
// provider adds its own above everything the sender wrote). False when
// there is none, or it cannot be read, or it does not vouch for `domain`.
bool trustedResultsVouch(const std::vector<std::string_view>& values, std::string_view trusted,
                         std::string_view domain);

}  // namespace mime
