/* libKOVASMTP.so: composes a MIME message with optional attachments and
 * delivers it through an SMTP server. Returns 0 or a negative result code. */
#ifndef KOVASMTP_H
#define KOVASMTP_H

#include <stdint.h>

#if defined(KOVASMTP_BUILDING)
#define KOVASMTP_EXPORT __attribute__((visibility("default")))
#else
#define KOVASMTP_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* server: "host" or "host:port" (default port 25). to: addresses separated by
 * ",". replyTo: null omits the Reply-To header. body: bodyLength bytes, lines
 * ended by CR LF. attachments: null for a plain message, else file paths
 * separated by "|" (may be empty). transcript: null, or an array of
 * transcriptSize bytes that receives at most transcriptSize - 1 bytes of the
 * dialogue, no terminator written. */
KOVASMTP_EXPORT int32_t KOVASMTP_SendEMail(const char* server, const char* from, const char* to,
                                           const char* replyTo, const char* subject, const char* body,
                                           int32_t bodyLength, const char* attachments, char* transcript,
                                           int32_t transcriptSize);

/* As KOVASMTP_SendEMail, with extra header lines in the header block.
 * headers: null or empty for none, else "Name: value" lines separated by
 * CR LF; a line starting with a space or a tab continues the one before it.
 * A line without a field name, a lone CR or LF, a control character, a line
 * over 998 characters, or a header the library writes itself (Subject,
 * From, To, Date, ...) gives -20 and nothing is sent. */
KOVASMTP_EXPORT int32_t KOVASMTP_SendEMailWithHeaders(const char* server, const char* from, const char* to,
                                                      const char* replyTo, const char* subject,
                                                      const char* body, int32_t bodyLength,
                                                      const char* attachments, const char* headers,
                                                      char* transcript, int32_t transcriptSize);

#ifdef __cplusplus
}
#endif

#endif
