#include "AdminProof.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

#include "AddressRules.h"
#include "AdminMailRecord.h"
#include "Membership.h"
#include "Spool.h"
#include "SpoolCleanup.h"
#include "mime/AuthenticationResults.h"
#include "platform/StdioFile.h"
#include "text/Printable.h"
#include "text/TextRules.h"

namespace {

constexpr std::string_view kApproved = "Approved:";

// Where the line at `pos` ends, and where the next one starts.
size_t lineEnd(const std::string& body, size_t pos) {
    const size_t end = body.find("\r\n", pos);
    return end == std::string::npos ? body.size() : end;
}
size_t nextLine(const std::string& body, size_t pos) {
    const size_t end = lineEnd(body, pos);
    return end == body.size() ? end : end + 2;
}
// The first line at or after `pos` that holds more than blanks.
size_t skipBlankLines(const std::string& body, size_t pos) {
    while (pos < body.size() && text::trimBlanks(std::string_view(body).substr(pos, lineEnd(body, pos) - pos)).empty())
        pos = nextLine(body, pos);
    return pos;
}

// The ids a message is remembered by: every Message-ID it carries (a replay
// with a second one added still matches), else a digest of what it says.
std::vector<std::string> mailIds(const MailHeaders& headers, const IncomingMessage& message) {
    std::vector<std::string> ids;
    for (const auto& [name, value] : headers.fields)
        if (text::equalsIgnoreCase(name, "Message-ID"))
            for (std::string& id : MessageIds(value)) ids.push_back(std::move(id));
    if (!ids.empty()) return ids;
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const std::string* part : {&message.Subject, &message.Body}) {
        for (const char c : *part) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        hash = (hash ^ 0xFFu) * 1099511628211ull;
    }
    std::string digest = "no-id:";
    for (int shift = 56; shift >= 0; shift -= 8) text::appendHex(digest, static_cast<unsigned char>(hash >> shift));
    return {digest};
}

// A post cut short is taken up again at the next pass: it is no replay.
bool distributionUnderWay(const std::string& spoolPath) {
    const platform::Directory dir = SpoolDirectory(spoolPath);
    return dir && dir.type(SpoolName(SpoolPath(spoolPath, SpoolState::Distributing))) == platform::EntryType::File;
}

// Reads the file in pieces, so an attachment of any size costs one buffer.
bool fileHolds(std::FILE* file, std::string_view needle) {
    constexpr size_t kPiece = 64 * 1024;
    std::string window;
    std::string piece(kPiece, '\0');
    for (;;) {
        const size_t n = std::fread(piece.data(), 1, piece.size(), file);
        if (n == 0) return false;
        window.append(piece, 0, n);
        if (window.find(needle) != std::string::npos) return true;
        if (window.size() >= needle.size()) window.erase(0, window.size() - (needle.size() - 1));
    }
}

}  // namespace

bool TakeApprovedLine(std::string& body, const MailHeaders& headers, const std::string& password) {
    if (password.empty()) return false;
    bool shown = false;
    const size_t pos = skipBlankLines(body, 0);
    const std::string_view line = std::string_view(body).substr(pos, lineEnd(body, pos) - pos);
    if (text::startsWithIgnoreCase(line, kApproved)) {
        shown = text::trimBlanks(line.substr(kApproved.size())) == password;
        body.erase(0, skipBlankLines(body, nextLine(body, pos)));
    }
    for (const auto& [name, value] : headers.fields)
        if (text::equalsIgnoreCase(name, "Approved") && text::trimBlanks(value) == password) shown = true;
    return shown;
}

bool ProviderVouchesForSender(const std::string& trustedIds, const MailHeaders& headers,
                              const IncomingMessage& message) {
    const std::string* from = nullptr;
    std::vector<std::string_view> results;
    for (const auto& [name, value] : headers.fields) {
        if (text::equalsIgnoreCase(name, "From")) {
            // Which of two the provider judged, nobody can tell.
            if (from) return false;
            from = &value;
        } else if (text::equalsIgnoreCase(name, "Authentication-Results")) {
            results.push_back(value);
        }
    }
    if (!from) return false;
    // The header scan may have taken a From from below the header block.
    const std::string address = MailboxAddress(*from);
    if (address.empty() || !text::equalsIgnoreCase(address, MailboxAddress(message.FromHeader))) return false;
    return mime::trustedResultsVouch(results, trustedIds, std::string_view(address).substr(address.rfind('@') + 1));
}

AdminMailCheck CheckAdministratorMail(MailList& list, const MailHeaders& headers, IncomingMessage& message,
                                      bool approved) {
    if (list.trustAuthServId.empty() && list.adminPassword.empty()) return AdminMailCheck::Proceed;
    if (!IsAdministrator(list, message.FromHeader)) return AdminMailCheck::Proceed;
    const bool proven =
        approved || (!list.trustAuthServId.empty() && ProviderVouchesForSender(list.trustAuthServId, headers, message));
    if (!proven) {
        std::printf("    Administrator mail not proven...Handled as a member's\n");
        message.AdministratorProven = false;
        return AdminMailCheck::Proceed;
    }
    const std::vector<std::string> ids = mailIds(headers, message);
    const ActedOn acted = RecordActedOn(list, ids, !distributionUnderWay(message.FilePath));
    if (acted == ActedOn::Before) {
        std::printf("    Administrator mail %s acted on before...Ignoring\n", text::printable(ids.front()).c_str());
        return AdminMailCheck::AlreadyActedOn;
    }
    if (acted == ActedOn::NotWritten) {
        list.mailWaiting = true;
        return AdminMailCheck::Waits;
    }
    return AdminMailCheck::Proceed;
}

std::string HowToApprove(const MailList& list) {
    if (!list.adminPassword.empty())
        return "To approve, reply keeping the subject, with \"Approved: \" and the list's password as the first "
               "line of your reply.\r\n\r\n";
    if (!list.trustAuthServId.empty()) return "To approve, reply keeping the subject.\r\n\r\n";
    return {};
}

std::string AttachmentsWithoutPassword(const MailList& list, const std::string& spoolPath,
                                       const std::string& attachments) {
    if (list.adminPassword.empty() || attachments.empty()) return attachments;
    const platform::Directory folder = OpenAttachments(spoolPath);
    std::string kept;
    size_t pos = 0;
    while (pos <= attachments.size()) {
        const size_t bar = std::min(attachments.find('|', pos), attachments.size());
        const std::string path = attachments.substr(pos, bar - pos);
        pos = bar + 1;
        const std::string name = path.substr(path.rfind('/') + 1);
        // What cannot be read here is not sent either.
        platform::StdioFile file = platform::adoptFile(folder ? folder.openFile(name) : platform::UniqueFd(), "rb");
        if (!file || fileHolds(file.get(), list.adminPassword)) {
            std::printf(file ? "    Attachment %s holds the administrators' password...Left out\n"
                             : "    Attachment %s cannot be read...Left out\n",
                        text::printable(name).c_str());
            continue;
        }
        kept += (kept.empty() ? "" : "|") + path;
    }
    return kept;
}
