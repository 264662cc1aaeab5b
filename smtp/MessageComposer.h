// The message text handed over in the DATA phase: header block, plain-text
// body and the MIME part headers of attachments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/LocalTime.h"

namespace smtp {

inline constexpr std::string_view kBoundary = "__--__KOVA__--__--__--__--__KOVA__--__";
inline constexpr std::string_view kMailerLine = "X-Mailer: KOVA SMTP DLL v1.1 (https://ringpost.example.org)\r\n";

// The texts between the commas of `to`, each exactly as written (spaces kept,
// an empty text gives an empty recipient).
std::vector<std::string> splitRecipients(std::string_view to);

// A header value with every CR and LF turned into a space, so that it cannot
// start a header line of its own.
std::string headerValue(std::string_view value);

// "Sun, 7 Dec 2026 09:05:03 +0100", with the zone's real hours and minutes.
std::string dateText(const platform::LocalTime& t);

// "To: <a>,< b>" plus CR LF.
std::string toLine(const std::vector<std::string>& recipients);

// What the body text is declared as: "us-ascii" or "utf-8", and "7bit" or
// "quoted-printable".
struct BodyForm {
    std::string_view charset = "us-ascii";
    std::string_view encoding = "7bit";
};

// Pure ASCII with short lines goes as it is; 8-bit bytes or a line over 998
// bytes need quoted-printable, since HELO tells nothing of 8BITMIME.
BodyForm chooseBodyForm(std::string_view body);

// "<unique@domain of the sender>"; the domain is what follows the last "@"
// ("ringpost.invalid" when there is none).
std::string newMessageId(std::string_view from);

// A header line (without its CR LF) longer than 998 bytes, folded at blanks.
std::string foldHeaderLine(std::string line);

// A header value with 8-bit bytes as UTF-8 encoded words; ASCII stays as is.
std::string encodedHeaderValue(std::string_view value);

struct MessageFields {
    std::string_view from;
    std::vector<std::string> recipients;
    const char* replyTo = nullptr;  // null: no Reply-To line
    std::string_view subject;
    bool multipart = false;
    platform::LocalTime date;
    BodyForm body;
    std::string messageId;          // empty: no Message-ID line
    std::string_view extraHeaders;  // checked lines, each ending in CR LF
};

// The caller's extra header lines made ready for the header block: each
// line ended by CR LF, empty lines dropped. False when a line could break
// the header block or repeats a header the composer writes itself.
bool checkExtraHeaders(std::string_view headers, std::string& lines);

// Everything up to and including the empty line that ends the header block
// (for a multipart message also the opening of the text part).
std::string composeHeader(const MessageFields& fields);

// The body as it goes on the wire: every bare CR or LF made CR LF, trailing
// line ends and a final "." line removed, quoted-printable when `form` (set
// here by chooseBodyForm) says so, then every line that begins with "." given
// one more ".".
std::string prepareBody(std::string_view body, BodyForm* form = nullptr);

// Bare CR and bare LF as CR LF: a lone CR before "." must never reach a
// server, which might take it for the end of the data.
std::string normalizeLineEnds(std::string_view body);

// Quoted-printable (RFC 2045) of CR LF text: lines of at most 76 bytes.
std::string encodeQuotedPrintable(std::string_view body);

// The paths of an attachments text: separated by "|", spaces around each path
// removed, empty paths skipped.
std::vector<std::string> splitAttachmentPaths(std::string_view attachments);

// The file name a part carries: the text behind the last "/", "\" or ":".
std::string attachmentName(std::string_view path);

// Boundary line and part headers of one attachment, ending in the empty line.
std::string attachmentPartHeader(std::string_view name);

// What follows the last part (or the body) before the end of the data.
std::string closingText(bool multipart);

}  // namespace smtp
