#include "MessageWriter.h"

#include <cstdio>
#include <new>
#include <string_view>

#include "platform/Directory.h"
#include "platform/LocalTime.h"
#include "platform/StdioFile.h"
#include "smtp/MessageComposer.h"
#include "transport/Base64Encoder.h"
#include "transport/MailSocket.h"
#include "transport/ResultCodes.h"

namespace smtp {

namespace {

// Queuing stops while this much waits for the writer, so a large
// attachment does not sit in memory whole.
constexpr size_t kQueueHighWater = 4u << 20;
// Whole base64 lines per file read.
constexpr size_t kFileChunk = transport::kBase64LineBytes * 1024;

}  // namespace

int32_t sendFileBase64(MailSocket& s, const char* path) {
    if (!path) return ResultCode::NullPointer;
    // Attachments lie where others may write: what a link in a file's place
    // leads to, or a FIFO or device, is never mailed out.
    const platform::StdioFile file = platform::adoptFile(platform::openRegularFile(path), "rb");
    if (!file) return ResultCode::FileNotOpened;
    try {
        std::vector<unsigned char> chunk(kFileChunk);
        std::string text;
        for (;;) {
            const size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
            if (std::ferror(file.get())) return ResultCode::FileNotOpened;
            text.clear();
            transport::appendBase64Lines(text, chunk.data(), got);
            const bool last = got < chunk.size();
            if (last) text += "\r\n\r\n";
            if (!s.WaitForQueueBelow(kQueueHighWater)) return ResultCode::WriteError;
            if (s.Send(text) != ResultCode::Success) return ResultCode::WriteError;
            if (last) return ResultCode::Success;
        }
    } catch (const std::bad_alloc&) {
        return ResultCode::WriteError;
    }
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
    if (copy.body && copy.bodyLength > 0) text = prepareBody(std::string_view(copy.body, copy.bodyLength), &fields.body);
    end = composeHeader(fields);
    end += text;
    if (multipart) {
        int32_t r = s.Send(end);
        if (r != ResultCode::Success) return r;
        for (const auto& path : splitAttachmentPaths(copy.attachments)) {
            r = s.Send(attachmentPartHeader(attachmentName(path)));
            if (r != ResultCode::Success) return r;
            r = sendFileBase64(s, path.c_str());
            if (r != ResultCode::Success) return r;
        }
        end.clear();
    }
    end += closingText(multipart);
    return ResultCode::Success;
}

}  // namespace smtp
