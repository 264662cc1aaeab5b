#include "ConnectionTests.h"

#include "StoredText.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr int32_t kBufferSize = 4096;
const char kTestText[] = "KOVA(tm) Ringpost Test Message";

TestOutcome success() { return {QStringLiteral("Test successful!"), DialogIcon::Information}; }

}  // namespace

QString testFailureMessage(int32_t code) {
    switch (code) {
        case -3:
            return QStringLiteral(
                "Test failed because a port was unable to be opened. Please report this error to KOVA.");
        case -11:
            return QStringLiteral("Test failed because a reader or writer thread was unable to be created. Please "
                                  "report this error to KOVA.");
        case -14: return QStringLiteral("Test failed because out of memory. Please report this error to KOVA.");
        case -17:
            return QStringLiteral("Test failed due to an incorrect response. Usually this is caused by the mail "
                                  "server, an incorrect password, or an incorrect username.");
        case -18:
            return QStringLiteral("Test failed because a response took too long, or the mail server is not "
                                  "responding. Usually this is caused by the mail server.");
        case -20: return QStringLiteral("Test failed because of an invalid parameter.");
        case -21: return QStringLiteral("Test failed because of an invalid NULL pointer.");
        case -23:
            return QStringLiteral(
                "Test failed because the file was unable to be opened. Please make sure the file exists.");
        case -26: return QStringLiteral("Test failed because of a write error. Please report this error to KOVA.");
        default:
            return QStringLiteral("Test failed with error code ") + QString::number(code) +
                   QStringLiteral(". Please report this error to KOVA.");
    }
}

TestOutcome RunPop3Test(const Pop3Exports& pop3, const std::string& server, const std::string& user,
                        const std::string& password) {
    // The library keeps one session for the whole process; a test given up
    // on may still be in it.
    static std::mutex session;
    std::lock_guard lock(session);
    const int32_t login = pop3.Login(server.c_str(), user.c_str(), password.c_str());
    if (login != 0) {
        pop3.Logout();
        return {testFailureMessage(login), DialogIcon::Error};
    }
    std::vector<char> ids(kBufferSize, '\0');
    const int32_t listed = pop3.GetMessageIDs(ids.data(), kBufferSize);
    if (listed < 0) {
        pop3.Logout();
        return {testFailureMessage(listed), DialogIcon::Error};
    }
    const int32_t logout = pop3.Logout();
    if (logout == 0) return success();
    return {testFailureMessage(logout), DialogIcon::Error};
}

TestOutcome RunSmtpTest(const SmtpExports& smtp, const std::string& server, const std::string& from,
                        const std::string& recipient) {
    std::vector<char> transcript(kBufferSize, '\0');
    const int32_t sent = smtp.SendEMail(server.c_str(), from.c_str(), recipient.c_str(), nullptr, kTestText,
                                        kTestText, static_cast<int32_t>(sizeof kTestText - 1), nullptr,
                                        transcript.data(), kBufferSize);
    if (sent == 0) return success();
    const std::string dialogue(transcript.data(), ::strnlen(transcript.data(), transcript.size()));
    QString text = testFailureMessage(sent);
    if (!dialogue.empty())
        text += QStringLiteral("\r\n\r\nAnd here's why:\r\n") + decodeStored(dialogue).text;
    return {text, DialogIcon::Error};
}
