// The one address a header value (From, Reply-To) or a command argument
// names, read as RFC 5322 writes mailboxes and kept only when SMTP (RFC 5321)
// can carry it as it stands.
#pragma once

#include <string>
#include <string_view>

namespace mime {

// Why a text gave no address.
enum class AddressFault {
    None,
    NoAddress,         // a display name alone, an empty group, nothing at all
    Several,           // more than one mailbox
    Syntax,            // not a mailbox as RFC 5322 writes one
    Unclosed,          // a quoted string, comment, angle bracket or literal left open
    NulByte,
    NoLocalPart,       // nothing before the '@'
    NeedsQuotes,       // a local part that only a quoted string could carry
    LocalPartTooLong,  // over 64 octets
    TooLong,           // over 254 octets in all
    BadDomain,         // neither host name labels nor an IPv4 or IPv6 literal
    NotAscii,          // 8-bit bytes in the address itself
};

// A few words saying why, for a printed line.
const char* describe(AddressFault fault);

struct MailAddress {
    // local-part "@" domain, the local part without needless quotes; empty
    // unless `fault` is None.
    std::string bareAddress;
    AddressFault fault = AddressFault::None;
    bool ok() const { return fault == AddressFault::None; }
};

// Reads an address list: display names, quoted strings, nested comments,
// angle addresses, groups, obsolete routes (dropped) and folding whitespace.
// It yields an address only when the whole text names exactly one mailbox
// and that mailbox is a bare address (local@domain) within SMTP's limits: a
// dot-string local part of at most 64 octets, a domain of host name labels
// or an address literal, 254 octets in all. Linear in the text's length,
// whatever it holds.
MailAddress parseMailbox(std::string_view text);

// Whether `text` is one such bare address and nothing else: what may go to the
// SMTP library as a recipient.
bool isBareAddress(std::string_view text);

}  // namespace mime
