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

struct MessageFields {
    std::string_view from;
    std::vector<std::string> recipients;
    const char* replyTo = nullptr;  // null: no Reply-To line
    std::string_view subject;
    bool multipart = false;
    platform::LocalTime date;
    std::string_view extraHeaders;  // checked lines, each ending in CR LF
};

// The caller's extra header lines made ready for the header block: each
// line ended by CR LF, empty lines dropped. False when a line could break
// the header block or repeats a header the composer writes itself.
bool checkExtraHeaders(std::string_view headers, std::string& lines);

// Everything up to and including the empty line that ends the header block
// (for a multipart message also the opening of the text part).
std::string composeHeader(const MessageFields& fields);

// The body as it goes on the wire: trailing line ends and a final "." line
// removed, then every line that begins with "." given one more ".".
std::string prepareBody(std::string_view body);

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
