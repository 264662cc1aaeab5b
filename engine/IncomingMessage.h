// The spooled message under processing: where it lies and the parts of it the
// command handlers read.
#pragma once

#include <string>

struct IncomingMessage {
    std::string FilePath;    // the ".NEW" file in the list directory
    std::string ToHeader;    // spaces trimmed; only its presence matters
    std::string FromHeader;  // as the sender wrote it, display name included
    std::string Subject;     // spaces trimmed, case kept
    std::string Body;        // lines joined by CR LF, no final line end
    // Where the message stands in its thread, as its header says (values as
    // written; the ids are checked where they are passed on).
    std::string MessageId;
    std::string InReplyTo;
    std::string References;
    // False when From names an administrator but the mail lacks the proof
    // the list asks for: it is then handled as a member's.
    bool AdministratorProven = true;
};

// What the subject asks for.
enum class CommandKind { None, Unsubscribe, Subscribe, MemberList, Submission, Unrecognised };
