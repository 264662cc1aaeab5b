// "Test POP3" and "Test SMTP": the list's mail settings tried through the
// same library exports the engine uses, the result code turned into words.
#pragma once

#include "Dialogs.h"
#include "MailLibraries.h"

#include <QString>
#include <cstdint>
#include <string>

struct TestOutcome {
    QString text;
    DialogIcon icon = DialogIcon::Information;
};

// The message for a failed call's result code.
QString testFailureMessage(int32_t code);

// Logs in, lists the mailbox and logs out; a failed step still logs out.
TestOutcome RunPop3Test(const Pop3Exports& pop3, const std::string& server, const std::string& user,
                        const std::string& password);

// Sends the test message to `recipient`; a failure carries the SMTP
// dialogue the library recorded.
TestOutcome RunSmtpTest(const SmtpExports& smtp, const std::string& server, const std::string& from,
                        const std::string& recipient);
