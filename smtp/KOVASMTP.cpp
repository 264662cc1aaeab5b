#include "KOVASMTP.h"

#include "smtp/SmtpDelivery.h"

extern "C" KOVASMTP_EXPORT int32_t KOVASMTP_SendEMail(const char* server, const char* from, const char* to,
                                                      const char* replyTo, const char* subject, const char* body,
                                                      int32_t bodyLength, const char* attachments,
                                                      char* transcript, int32_t transcriptSize) {
    return smtp::sendEMail(server, from, to, replyTo, subject, body, bodyLength, attachments, transcript,
                           transcriptSize);
}

extern "C" KOVASMTP_EXPORT int32_t KOVASMTP_SendEMailWithHeaders(const char* server, const char* from,
                                                                 const char* to, const char* replyTo,
                                                                 const char* subject, const char* body,
                                                                 int32_t bodyLength, const char* attachments,
                                                                 const char* headers, char* transcript,
                                                                 int32_t transcriptSize) {
    return smtp::sendEMail(server, from, to, replyTo, subject, body, bodyLength, attachments, transcript,
                           transcriptSize, headers);
}
