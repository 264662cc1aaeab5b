// The two mail libraries as the console uses them: opened at the first
// connection test, from the console's own directory first and then by name
// on the system's search path, and kept loaded until the program ends (the
// POP3 library holds its session for the whole process).
#pragma once

#include <cstdint>
#include <string>

struct Pop3Exports {
    int32_t (*Login)(const char* server, const char* user, const char* password) = nullptr;
    int32_t (*GetMessageIDs)(char* target, int32_t targetSize) = nullptr;
    int32_t (*Logout)() = nullptr;
    // Absent from libraries without TLS; tests then run plain.
    int32_t (*SetSecurity)(int32_t security, const char* caFile, int32_t flags) = nullptr;
    // Breaks off a test the user gave up on; absent from older libraries.
    int32_t (*Cancel)() = nullptr;
};

struct SmtpExports {
    int32_t (*SendEMail)(const char* server, const char* from, const char* to, const char* replyTo,
                         const char* subject, const char* body, int32_t bodyLength, const char* attachments,
                         char* transcript, int32_t transcriptSize) = nullptr;
    int32_t (*SetSecurity)(int32_t security, const char* caFile, const char* user, const char* password,
                           int32_t flags) = nullptr;
    int32_t (*Cancel)() = nullptr;
};

class MailLibraries {
public:
    explicit MailLibraries(std::string homeDir, std::string pop3File = "libKOVAPOP3.so",
                           std::string smtpFile = "libKOVASMTP.so");

    // Null, with the reason in `error`, when the library or one of its
    // exports cannot be found.
    const Pop3Exports* pop3(std::string& error);
    const SmtpExports* smtp(std::string& error);

private:
    std::string homeDir_;
    std::string pop3File_;
    std::string smtpFile_;
    Pop3Exports pop3_;
    SmtpExports smtp_;
};
