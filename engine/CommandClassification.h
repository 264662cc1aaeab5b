// Which command a subject carries.
#pragma once

#include <string_view>

#include "IncomingMessage.h"
#include "MailList.h"

inline constexpr char kMemberListCommand[] = "MEMBER LIST";

// `upperSubject` is the subject upper-cased. Commands match as substrings
// anywhere; the order of the tests decides between overlapping ones (the
// default "UNSUBSCRIBE" contains "SUBSCRIBE"). An empty Submit command makes
// every other message a submission.
CommandKind ClassifyCommand(const MailList& list, std::string_view upperSubject);
