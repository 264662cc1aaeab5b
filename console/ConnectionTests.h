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
// The plain words for the TLS and authentication failures; empty for others.
QString securityFailureMessage(int32_t code);

// Sets how the following tests connect, as the engine would for the list in
// `listDir` (a relative CA file is taken inside it); default values give
// the plain dialogues.
struct SecurityValues;
void applyPop3Security(const Pop3Exports& pop3, const SecurityValues& v, const std::string& listDir);
// A side that signs in by OAuth sends `token` (an access token) in place of its password.
void applySmtpSecurity(const SmtpExports& smtp, const SecurityValues& v, const std::string& listDir,
                       const std::string& token = {});

// Logs in, lists the mailbox and logs out; a failed step still logs out.
TestOutcome RunPop3Test(const Pop3Exports& pop3, const std::string& server, const std::string& user,
                        const std::string& password);

// Sends the test message to `recipient`; a failure carries the SMTP
// dialogue the library recorded.
TestOutcome RunSmtpTest(const SmtpExports& smtp, const std::string& server, const std::string& from,
                        const std::string& recipient);
