/* libKOVASMTP.so: composes a MIME message with optional attachments and
 * delivers it through an SMTP server. Returns 0 or a negative result code. */
#ifndef KOVASMTP_H
#define KOVASMTP_H

#include <stdint.h>

#include "KOVAMail.h" /* result codes, security values (beside the transport) */

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
 * separated by "|" (may be empty); only regular files are sent, a path whose
 * last part is a symbolic link, a FIFO or a device gives -23 as a file that
 * cannot be read does, and nothing is delivered. transcript: null, or an array of
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


/* Sets how the following KOVASMTP_SendEMail and KOVASMTP_SendEMailWithHeaders calls of the calling thread
 * connect, until called again; (KOVA_SECURITY_NONE, NULL, NULL, NULL, 0), the
 * setting before the first call, is plain TCP without authentication. Every
 * dialogue greets with EHLO, and with HELO when the server refuses EHLO; a
 * user name adds AUTH (PLAIN, or LOGIN when the server offers only that). caFile: NULL, or a PEM file of
 * certificates trusted besides the system's; the server's certificate must
 * name the host (or IP address) of the server text. STARTTLS never falls back
 * to plain text. Results: 0, -20 (unknown mode; sending then fails with -20
 * until a valid mode is set), -14.
 * KOVASMTP_SendEMail's further results then: -23 (CA file unreadable), -40
 * (TLS handshake failed), -41 (certificate not trusted), -42 (certificate for
 * another host), -43 (server offers no STARTTLS), -44 (authentication
 * refused), -45 (a user name without TLS and without KOVA_ALLOW_PLAIN_AUTH:
 * refused before connecting), -46 (certificate expired or not yet valid), -47
 * (server offers neither AUTH PLAIN nor LOGIN). After a refused AUTH the
 * library ends the dialogue with QUIT.
 * flags may add KOVA_BEARER_TOKEN: password is then an OAuth 2.0 access
 * token for user, sent with AUTH OAUTHBEARER, or XOAUTH2 where EHLO offers
 * only that; -47 when it offers neither. A token goes over TLS only: without
 * TLS the send fails with -45 before connecting, whatever
 * KOVA_ALLOW_PLAIN_AUTH says. Transcripts show the token masked. */
KOVASMTP_EXPORT int32_t KOVASMTP_SetSecurity(int32_t security, const char* caFile, const char* user,
                                             const char* password, int32_t flags);

/* A session carries several messages through one connection, for sending
 * one post to many members: the connection is opened at the first
 * KOVASMTP_SessionSend with the calling thread's KOVASMTP_SetSecurity
 * setting as it was at KOVASMTP_OpenSession, kept between messages (RSET
 * between them, commands grouped when the server offers PIPELINING) and
 * replaced when the server closed it, answered 421, or refused a further
 * message on it with a 4xx to RSET or MAIL; that message is then sent
 * again once on the fresh connection. One caller at a time per session. */
typedef struct KOVASMTP_Session KOVASMTP_Session;

/* server and from as for KOVASMTP_SendEMail; nothing is contacted yet.
 * *session receives the new session, or NULL on failure. Results: 0, -21
 * (an argument null), -14. */
KOVASMTP_EXPORT int32_t KOVASMTP_OpenSession(const char* server, const char* from, KOVASMTP_Session** session);

/* One message through the session, arguments and results as
 * KOVASMTP_SendEMailWithHeaders for that message alone (-21 for a null
 * session). A 5xx or 4xx to a recipient fails this message only; the
 * session goes on with the next. When the connection breaks after the end
 * of the message went out and before the server's answer, the result is
 * -18 and the message is not sent again: it may have been delivered.
 * transcript: this message's part of the dialogue, with any opening of a
 * connection it needed. */
KOVASMTP_EXPORT int32_t KOVASMTP_SessionSend(KOVASMTP_Session* session, const char* to, const char* replyTo,
                                             const char* subject, const char* body, int32_t bodyLength,
                                             const char* attachments, const char* headers, char* transcript,
                                             int32_t transcriptSize);

/* How the last KOVASMTP_SessionSend ended, for deciding about retries:
 * *replyCode receives the server's reply code that made it fail (421, 550,
 * ...), 0 after success or when no reply decided it (no answer in time, a
 * broken connection, a local failure); *greeted 1 when the connection had
 * given its greeting, 0 when the server took no connection or gave none
 * (or the message was refused before any server was asked).
 * Either pointer may be NULL. Results: 0, -21 (null session). */
KOVASMTP_EXPORT int32_t KOVASMTP_SessionOutcome(const KOVASMTP_Session* session, int32_t* replyCode,
                                                int32_t* greeted);

/* The server reply that decided how the last KOVASMTP_SessionSend ended, in
 * full, for judging whose refusal it was:
 * *replyCode as KOVASMTP_SessionOutcome gives it (0 when no reply decided);
 * *greeted as there; status receives the reply's RFC 3463 enhanced status
 * code ("5.1.1", empty when the reply carried none or no reply decided);
 * text the reply's lines behind their codes, joined by CR LF. status and
 * text are zero-filled over their whole size and then receive at most that
 * many bytes (a value that fills the array has no terminator; 16 bytes hold
 * any status). Any pointer may be NULL. Results: 0, -21 (null session). */
KOVASMTP_EXPORT int32_t KOVASMTP_SessionReply(const KOVASMTP_Session* session, int32_t* replyCode,
                                              int32_t* greeted, char* status, int32_t statusSize, char* text,
                                              int32_t textSize);

/* The same for the calling thread's last KOVASMTP_SendEMail or
 * KOVASMTP_SendEMailWithHeaders. Result: 0. */
KOVASMTP_EXPORT int32_t KOVASMTP_LastReply(int32_t* replyCode, int32_t* greeted, char* status, int32_t statusSize,
                                           char* text, int32_t textSize);

/* Sends QUIT when the connection is open and in step, closes it and frees
 * the session. Results: 0, -21 (null session). */
KOVASMTP_EXPORT int32_t KOVASMTP_CloseSession(KOVASMTP_Session* session);

/* May be called from any thread: every send and session of this library
 * waiting on a server now breaks off at once (-18), as when the user gives
 * up on a test. Always 0. */
KOVASMTP_EXPORT int32_t KOVASMTP_Cancel(void);

#ifdef __cplusplus
}
#endif

#endif
