#include "CommandClassification.h"

namespace {
bool contains(std::string_view subject, std::string_view command) {
    return !command.empty() && subject.find(command) != std::string_view::npos;
}
}  // namespace

CommandKind ClassifyCommand(const MailList& list, std::string_view upperSubject) {
    if (contains(upperSubject, list.unsubscribeCommand)) return CommandKind::Unsubscribe;
    if (contains(upperSubject, list.subscribeCommand)) return CommandKind::Subscribe;
    if (contains(upperSubject, kMemberListCommand)) return CommandKind::MemberList;
    if (list.submitCommand.empty() || contains(upperSubject, list.submitCommand)) return CommandKind::Submission;
    return CommandKind::Unrecognised;
}
