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

int32_t converse(MailSocket& s, const char* from, const char* to, const char* replyTo, const char* subject,
                 const char* body, int32_t bodyLength, const char* attachments, const std::string& extraHeaders,
                 const Security& security) {
    int32_t r = expect(s, {}, "220");
    if (r != ResultCode::Success) return r;

    std::string domain;
    r = heloDomain(from, domain);
    if (r != ResultCode::Success) return r;
    // TLS and authentication need EHLO; the plain dialogue keeps HELO.
    if (security.mode != Security::None || !security.user.empty())
        r = openExtended(s, domain, security);
    else
        r = expect(s, "helo " + domain + "\r\n", "250");
    if (r != ResultCode::Success) return r;
    r = expect(s, std::string("mail from:<") + from + ">\r\n", "250");
    if (r != ResultCode::Success) return r;

    const auto recipients = splitRecipients(to);
    for (const auto& rcpt : recipients) {
        r = expect(s, "rcpt to:<" + rcpt + ">\r\n", "250");
        if (r != ResultCode::Success) return r;
    }
    r = expect(s, "data\r\n", "354");
    if (r != ResultCode::Success) return r;

    const bool multipart = attachments != nullptr;
    MessageFields fields;
    fields.from = from;
    fields.recipients = recipients;
    fields.replyTo = replyTo;
    fields.subject = subject;
    fields.multipart = multipart;
    fields.extraHeaders = extraHeaders;
    fields.date = platform::localNow();
    fields.messageId = newMessageId(from);
    std::string text;
    if (body && bodyLength > 0) text = prepareBody(std::string_view(body, static_cast<size_t>(bodyLength)), &fields.body);
    std::string message = composeHeader(fields);
    message += text;
    if (multipart) {
        r = s.Send(message);
        if (r != ResultCode::Success) return r;
        for (const auto& path : splitAttachmentPaths(attachments)) {
            r = s.Send(attachmentPartHeader(attachmentName(path)));
            if (r != ResultCode::Success) return r;
            r = s.SendFileBase64(path.c_str());
            if (r != ResultCode::Success) return r;
        }
        message.clear();
    }
    // Without attachments the end goes out in one write with the message, so
    // the server takes it in one read instead of waking again for the end.
    message += closingText(multipart);
    r = expect(s, message, "250");
    if (r != ResultCode::Success) return r;

    // The message is delivered now: whatever QUIT brings, a retry by the
    // caller would deliver it a second time.
    expect(s, "quit\r\n", "221");
    return ResultCode::Success;
}

}  // namespace

int32_t sendEMail(const char* server, const char* from, const char* to, const char* replyTo, const char* subject,
                  const char* body, int32_t bodyLength, const char* attachments, char* transcript,
                  int32_t transcriptSize, const char* headers, const Security& security) noexcept {
    if (!server || !from || !to || !subject) return ResultCode::NullPointer;
    if (!safeAddress(from) || !safeAddress(to)) return ResultCode::InvalidParameter;
    if (security.mode < Security::None || security.mode > Security::StartTls) return ResultCode::InvalidParameter;
    // Refused before connecting, so not even the user name goes out.
    if (security.mode == Security::None && !security.user.empty() && !security.allowPlainAuth)
        return ResultCode::PlainAuthRefused;
    try {
        std::string extraHeaders;
        if (headers && !checkExtraHeaders(headers, extraHeaders)) return ResultCode::InvalidParameter;
        MailSocket socket;
        const uint16_t port = security.mode == Security::Tls        ? kTlsPort
                              : security.mode == Security::StartTls ? kSubmissionPort
                                                                    : kDefaultPort;
        int32_t r = socket.Connect(server, port, true, transcript != nullptr);
        if (r == ResultCode::Success && security.mode == Security::Tls)
            r = socket.StartTls(transport::TlsOptions{security.caFile});
        if (r == ResultCode::Success)
            r = converse(socket, from, to, replyTo, subject, body, bodyLength, attachments, extraHeaders, security);
        if (transcript && !security.user.empty()) {
            const ByteBuffer raw = socket.GetTranscript();
            const std::string shown = maskCredentials(std::string(raw.data(), raw.size()), security);
            if (transcriptSize > 1) shown.copy(transcript, std::min(shown.size(), static_cast<size_t>(transcriptSize) - 1));
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
