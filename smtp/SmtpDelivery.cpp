#include "SmtpDelivery.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/LocalTime.h"
#include "smtp/HeloDomain.h"
#include "smtp/MessageComposer.h"
#include "smtp/SmtpExtensions.h"
#include "transport/Limits.h"
#include "transport/MailSocket.h"
#include "transport/ResultCodes.h"

namespace smtp {

namespace {

// An address that carries CR or LF would end the command line early and let
// the rest be read as a command of its own.
bool safeAddress(std::string_view a) { return a.find_first_of("\r\n") == std::string_view::npos; }

int32_t expect(MailSocket& s, const std::string& command, std::string_view code) {
    return s.SendAndExpect(command.empty() ? nullptr : command.data(), static_cast<int32_t>(command.size()),
                           code.data(), static_cast<int32_t>(code.size()), transport::limits().replyMs);
}

uint16_t portFor(const Security& security) {
    return security.mode == Security::Tls        ? kTlsPort
           : security.mode == Security::StartTls ? kSubmissionPort
                                                 : kDefaultPort;
}

int32_t converse(MailSocket& s, const Copy& copy) {
    int32_t r = expect(s, std::string("mail from:<") + copy.from + ">\r\n", "250");
    if (r != ResultCode::Success) return r;
    for (const auto& rcpt : copy.recipients) {
        r = expect(s, "rcpt to:<" + rcpt + ">\r\n", "250");
        if (r != ResultCode::Success) return r;
    }
    r = expect(s, "data\r\n", "354");
    if (r != ResultCode::Success) return r;
    std::string end;
    r = writeMessage(s, copy, end);
    if (r != ResultCode::Success) return r;
    r = expect(s, end, "250");
    if (r != ResultCode::Success) return r;

    // The message is delivered now: whatever QUIT brings, a retry by the
    // caller would deliver it a second time.
    expect(s, "quit\r\n", "221");
    return ResultCode::Success;
}

}  // namespace

int32_t checkDelivery(const char* server, const char* from, const char* to, const Security& security) {
    if (!server || !from || !to) return ResultCode::NullPointer;
    if (!safeAddress(from) || !safeAddress(to)) return ResultCode::InvalidParameter;
    if (security.mode < Security::None || security.mode > Security::StartTls) return ResultCode::InvalidParameter;
    // Refused before connecting, so not even the user name goes out.
    if (security.mode == Security::None && !security.user.empty() && (security.bearer || !security.allowPlainAuth))
        return ResultCode::PlainAuthRefused;
    return ResultCode::Success;
}

int32_t prepareCopy(Copy& copy, const char* from, const char* to, const char* replyTo, const char* subject,
                    const char* body, int32_t bodyLength, const char* attachments, const char* headers) {
    copy.from = from;
    copy.recipients = splitRecipients(to);
    copy.replyTo = replyTo;
    copy.subject = subject;
    copy.body = body;
    copy.bodyLength = bodyLength;
    copy.attachments = attachments;
    copy.extraHeaders.clear();
    if (headers && !checkExtraHeaders(headers, copy.extraHeaders)) return ResultCode::InvalidParameter;
    return ResultCode::Success;
}

int32_t openConnection(MailSocket& s, const char* server, const char* from, const Security& security, bool record,
                       Extensions& offered) {
    offered = Extensions{};
    int32_t r = s.Connect(server, portFor(security), true, record);
    if (r == ResultCode::Success && security.mode == Security::Tls)
        r = s.StartTls(transport::TlsOptions{security.caFile});
    if (r != ResultCode::Success) return r;
    r = expect(s, {}, "220");
    if (r != ResultCode::Success) return r;

    std::string domain;
    r = heloDomain(from, domain);
    if (r != ResultCode::Success) return r;
    // TLS and authentication need EHLO; the plain dialogue keeps HELO.
    if (security.mode != Security::None || !security.user.empty()) return openExtended(s, domain, security, &offered);
    return expect(s, "helo " + domain + "\r\n", "250");
}

int32_t writeMessage(MailSocket& s, const Copy& copy, std::string& end) {
    const bool multipart = copy.attachments != nullptr;
    MessageFields fields;
    fields.from = copy.from;
    fields.recipients = copy.recipients;
    fields.replyTo = copy.replyTo;
    fields.subject = copy.subject;
    fields.multipart = multipart;
    fields.extraHeaders = copy.extraHeaders;
    fields.date = platform::localNow();
    fields.messageId = newMessageId(copy.from);
    std::string text;
    if (copy.body && copy.bodyLength > 0)
        text = prepareBody(std::string_view(copy.body, static_cast<size_t>(copy.bodyLength)), &fields.body);
    end = composeHeader(fields);
    end += text;
    if (multipart) {
        int32_t r = s.Send(end);
        if (r != ResultCode::Success) return r;
        for (const auto& path : splitAttachmentPaths(copy.attachments)) {
            r = s.Send(attachmentPartHeader(attachmentName(path)));
            if (r != ResultCode::Success) return r;
            r = s.SendFileBase64(path.c_str());
            if (r != ResultCode::Success) return r;
        }
        end.clear();
    }
    end += closingText(multipart);
    return ResultCode::Success;
}

void copyTranscript(std::string_view dialogue, const Security& security, char* transcript, int32_t size) {
    if (!transcript || size <= 1) return;
    const std::string shown = maskCredentials(std::string(dialogue), security);
    shown.copy(transcript, std::min(shown.size(), static_cast<size_t>(size) - 1));
}

int32_t sendEMail(const char* server, const char* from, const char* to, const char* replyTo, const char* subject,
                  const char* body, int32_t bodyLength, const char* attachments, char* transcript,
                  int32_t transcriptSize, const char* headers, const Security& security) noexcept {
    if (!subject) return ResultCode::NullPointer;
    int32_t r = checkDelivery(server, from, to, security);
    if (r != ResultCode::Success) return r;
    try {
        Copy copy;
        r = prepareCopy(copy, from, to, replyTo, subject, body, bodyLength, attachments, headers);
        if (r != ResultCode::Success) return r;
        MailSocket socket;
        Extensions offered;
        r = openConnection(socket, server, from, security, transcript != nullptr, offered);
        if (r == ResultCode::Success) r = converse(socket, copy);
        if (transcript && !security.user.empty()) {
            const ByteBuffer raw = socket.GetTranscript();
            copyTranscript(raw.view(), security, transcript, transcriptSize);
        } else if (transcript) {
            socket.CopyTranscript(transcript, transcriptSize);
        }
        socket.Disconnect();
        return r;
    } catch (...) {
        // Only allocation can fail by throwing here.
        return ResultCode::OutOfMemory;
    }
}

}  // namespace smtp
