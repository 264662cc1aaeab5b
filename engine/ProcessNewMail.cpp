#include "ProcessNewMail.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "AutomaticMail.h"
#include "BounceHandling.h"
#include "CommandClassification.h"
#include "IncomingMessage.h"
#include "ListHeaders.h"
#include "MailHeaders.h"
#include "ListMembers.h"
#include "MemberListRequest.h"
#include "MessageFate.h"
#include "Membership.h"
#include "Spool.h"
#include "SpoolCleanup.h"
#include "SpoolReading.h"
#include "StripMessage.h"
#include "Submission.h"
#include "Subscription.h"
#include "platform/ErrorText.h"
#include "platform/StdioFile.h"
#include "text/Printable.h"
#include "text/TextRules.h"

namespace {

// In the order they were fetched, so one person's requests are applied in
// the order they were sent.
std::vector<SpoolFile> spoolFilesInFetchOrder(const MailList& list) {
    const platform::Directory dir = platform::Directory::open(list.directory);
    if (!dir) return {};
    std::vector<SpoolFile> files = ListSpoolFiles(dir, "*." + std::string(SpoolExtension(SpoolState::Fetched)));
    std::stable_sort(files.begin(), files.end(), [](const SpoolFile& a, const SpoolFile& b) {
        if (a.written.seconds != b.written.seconds) return a.written.seconds < b.written.seconds;
        if (a.written.nanoseconds != b.written.nanoseconds) return a.written.nanoseconds < b.written.nanoseconds;
        return a.name < b.name;
    });
    return files;
}

std::string valueAfter(const std::string& line, size_t prefixLength) {
    return text::trim(std::string_view(line).substr(std::min(prefixLength, line.size())));
}

// The three headers the handlers need. The scan runs on past the header
// block until all three are seen, so a Subject: line in the body counts.
bool scanHeaders(std::FILE* file, IncomingMessage& message) {
    bool to = false, from = false, subject = false;
    std::string line;
    while (!(to && from && subject) && ReadHeaderLine(file, line)) {
        if (text::startsWithIgnoreCase(line, "TO:")) {
            message.ToHeader = valueAfter(line, 3);
            to = true;
        } else if (text::startsWithIgnoreCase(line, "FROM:")) {
            message.FromHeader = valueAfter(line, 5);
            from = true;
        } else if (text::startsWithIgnoreCase(line, "SUBJECT:")) {
            message.Subject = valueAfter(line, 8);
            subject = true;
        }
    }
    return to && from && subject;
}

// The body after the first empty line, up to the "." line. False when the
// message has none (a "." line before any empty line, or nothing but blank
// lines). Lines the server dot-stuffed lose their extra '.'.
bool readBody(std::FILE* file, std::string& body) {
    std::string line;
    for (;;) {
        if (!ReadLine(file, line)) break;
        if (line.empty()) break;
        if (line == ".") return false;
    }
    while (ReadLine(file, line)) {
        if (line == ".") break;
        if (line.size() >= 2 && line[0] == '.' && line[1] == '.') line.erase(0, 1);
        if (body.empty()) {
            body = line;
        } else {
            body += text::kLineEnd;
            body += line;
        }
    }
    return !body.empty();
}

void printIgnored(const IncomingMessage& message) {
    std::printf("    Invalid E-Mail from %s...Ignoring\n", text::printable(message.FromHeader).c_str());
}

// Classifies and hands the message to its handler; returns the kind that
// decides the spool file's fate.
CommandKind dispatch(MailList& list, IncomingMessage& message, const std::string& upperSubject, MessageFate& fate) {
    CommandKind kind = ClassifyCommand(list, upperSubject);
    if (IsMember(list, message.FromHeader)) {
        switch (kind) {
            case CommandKind::Unsubscribe: HandleUnsubscribe(list, message, &fate); break;
            case CommandKind::Subscribe: HandleSubscribe(list, message, &fate); break;
            case CommandKind::Submission: HandleSubmission(list, message, &fate); break;
            case CommandKind::MemberList: HandleMemberListRequest(list, message); break;
            default: printIgnored(message); break;
        }
        return kind;
    }
    if (kind == CommandKind::Subscribe) {
        HandleSubscribe(list, message, &fate);
        return kind;
    }
    printIgnored(message);
    return CommandKind::Unrecognised;
}

void processSpoolFile(MailList& list, const std::string& path) {
    IncomingMessage message;
    message.FilePath = path;
    MessageFate fate = MessageFate::Delete;
    CommandKind kind = CommandKind::None;

    // Looked at before stripping, so what is set aside is what arrived.
    MailHeaders headers;
    ReadMailHeaders(path, headers);
    if (HandleDeliveryReport(list, path, headers) || SetAsideAutomaticMail(list, path, headers)) return;
    TakeThread(headers, message);

    StripMessage(list, path);

    platform::StdioFile file = OpenSpoolFile(path);
    if (!file) {
        // Gone already (set aside by the stripping step), or unreadable; a
        // link or special file put in its place is left alone.
        const platform::Directory dir = SpoolDirectory(path);
        if (dir.type(SpoolName(path)) == platform::EntryType::File) MoveSpoolFile(path, SpoolState::SetAside);
        return;
    }

    if (!scanHeaders(file.get(), message)) {
        file.reset();
        MoveSpoolFile(path, SpoolState::SetAside);
    } else {
        const std::string upperSubject = text::toUpper(message.Subject);
        const bool wantsMemberList = upperSubject.find(kMemberListCommand) != std::string::npos;
        // A post whose content is all in attachments (a photo, a file, HTML)
        // is no empty message.
        const bool hasBody = readBody(file.get(), message.Body);
        // A command needs no text: mail programs send what a List-Unsubscribe
        // or List-Subscribe link holds, the subject alone.
        const CommandKind asked = ClassifyCommand(list, upperSubject);
        const bool command = asked == CommandKind::Subscribe || asked == CommandKind::Unsubscribe;
        if (wantsMemberList || command || hasBody || !ListAttachments(list, path).empty()) {
            try {
                kind = dispatch(list, message, upperSubject, fate);
            } catch (const std::exception&) {
                // A handler that failed half way leaves the message for a person
                // to look at rather than lost or processed again.
                fate = MessageFate::SetAside;
            }
        }
    }

    file.reset();
    if (fate == MessageFate::LeavePending) return;
    if (fate == MessageFate::SetAside) {
        MoveSpoolFile(path, SpoolState::SetAside);
        return;
    }
    // A post that went out must not stay ".NEW", or the next pass sends it
    // again: when it cannot be archived it is set aside, or at last deleted.
    const bool archive = kind == CommandKind::Submission && (!list.adminSubmit || fate == MessageFate::Keep);
    if (!archive || (!MoveSpoolFile(path, SpoolState::Archived) && !MoveSpoolFile(path, SpoolState::SetAside)))
        RemoveSpoolFile(path);
    if (fate == MessageFate::Delete || list.adminSubmit) DeleteAttachments(list, path);
}

}  // namespace

void ProcessNewMail(MailList& list) {
    std::printf("  Processing all new mail...\n");
    // Members added or removed by hand or by the console count from now on.
    RefreshMembers(list);
    // Members that cannot be read are no empty list: a post would reach
    // nobody and every member's mail would be ignored, so the mail waits,
    // also when a handler finds the file unreadable halfway through.
    for (const SpoolFile& entry : spoolFilesInFetchOrder(list)) {
        if (list.memberFileError != 0) break;
        processSpoolFile(list, entry.path);
    }
    if (list.memberFileError != 0)
        std::printf("  Unable to read the member file: %s. The mail waits for the next pass.\n",
                    platform::systemErrorText(list.memberFileError).c_str());
    std::fflush(stdout);
}
