// A member's post: distributed to every member at once, or first sent to the
// administrators for approval when the list asks for it.
#pragma once

#include <string>

#include "IncomingMessage.h"
#include "MailList.h"
#include "MessageFate.h"

// May overwrite message.Subject (an approval reply names the submitted one).
void HandleSubmission(MailList& list, IncomingMessage& message, MessageFate* fate);

// The approval subject the administrators receive for a post by `sender`.
std::string ApprovalSubject(const std::string& submitCommand, const std::string& sender,
                            const std::string& subjectAfterCommand);

// Reads an administrator's approval reply, "[RE: ]SUBMIT || sender || subject".
// False when the Submit command is not in it.
bool ParseApprovalReply(const std::string& submitCommand, const std::string& subject, std::string& submitter,
                        std::string& submittedSubject);

// "Submission from SENDER[ - SUBJECT]", the subject without the command.
std::string DistributionSubject(const std::string& submitCommand, const std::string& sender,
                                const std::string& subject);
