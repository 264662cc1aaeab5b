/* libKOVAPOP3.so: a POP3 client with one session per process, plus header
 * extraction and attachment decoding of fetched message files.
 *
 * Every export takes zero-terminated 8-bit texts and caller-owned arrays with
 * explicit sizes, and returns a 32-bit signed result: 0 (or a byte count for
 * the listings) on success, a negative result code on failure. Calls must
 * come from one thread at a time. */
#ifndef KOVAPOP3_H
#define KOVAPOP3_H

#include <stdint.h>

#include "KOVAMail.h" /* result codes, security values (beside the transport) */

#define KOVAPOP3_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* ---- POP3 session ------------------------------------------------------ */

/* Opens the session: server is "host" or "host:port" (default port 110).
 * A session already open is logged out first. User names and passwords
 * containing CR or LF are refused (-20) before anything is sent. */
KOVAPOP3_API int32_t KOVAPOP3_Login(const char* server, const char* user, const char* password);


/* Sets how the following logins connect, until called again. Before the
 * first call logins are plain, as if called with (KOVA_SECURITY_NONE, NULL,
 * KOVA_ALLOW_PLAIN_AUTH). caFile: NULL, or a PEM file of certificates trusted
 * besides the system's. With TLS the server's certificate must chain to a
 * trusted authority and name the host (or IP address) of the server text;
 * STARTTLS never falls back to plain text. With KOVA_SECURITY_NONE and no
 * KOVA_ALLOW_PLAIN_AUTH, login refuses with -45 before connecting.
 * Results: 0, -20 (unknown security value; logins then fail with -20 until
 * a valid value is set, so a mistyped setting never ends in a plain login).
 * Login's further results when TLS is in play: -23 (CA file unreadable),
 * -40 (TLS handshake failed), -41 (certificate not trusted), -42 (certificate
 * for another host), -43 (server offers no STLS), -44 (user name or password
 * refused; also a refusal marked "[AUTH]" on a plain connection), -46
 * (certificate expired or not yet valid).
 * flags may add KOVA_BEARER_TOKEN: the following logins take an OAuth 2.0
 * access token in place of the password and send it with AUTH OAUTHBEARER,
 * or AUTH XOAUTH2 where the server's CAPA offers only that (RFC 5034, RFC
 * 7628); the user name is the mailbox the token was issued for. A token is
 * sent over TLS only: with KOVA_SECURITY_NONE the login fails with -45
 * before connecting, whatever KOVA_ALLOW_PLAIN_AUTH says. Login's further
 * results then: -44 (token refused), -47 (server offers neither mechanism). */
KOVAPOP3_API int32_t KOVAPOP3_SetSecurity(int32_t security, const char* caFile, int32_t flags);

/* May be called from any thread: a login, listing or transfer waiting on the
 * server breaks off at once (-18) and the session is closed, as when the
 * user gives up on a test. Always 0. */
KOVAPOP3_API int32_t KOVAPOP3_Cancel(void);

/* Sends QUIT and closes the session; 0 without doing anything when no
 * session is open. Deletions take effect on the server only here. */
KOVAPOP3_API int32_t KOVAPOP3_Logout(void);

/* The server's answer to LIST / UIDL without its status line: lines
 * "n size" / "n id", each ending in CR LF, then ".\r\n". The target is
 * zero-filled, then receives at most targetSize bytes; the result is the full
 * length, which may exceed targetSize. -18 when the end line never came. */
KOVAPOP3_API int32_t KOVAPOP3_GetMessageSizes(char* target, int32_t targetSize);
KOVAPOP3_API int32_t KOVAPOP3_GetMessageIDs(char* target, int32_t targetSize);

/* Writes the answer to RETR into the file at path, as the server sent it:
 * CR LF lines, dot-stuffed lines still stuffed, ending with ".\r\n".
 * -18 when the end line never came; the file then keeps what arrived. */
KOVAPOP3_API int32_t KOVAPOP3_GetMessage(int32_t messageNumber, const char* path);

/* Marks a message for deletion (DELE). */
KOVAPOP3_API int32_t KOVAPOP3_DeleteMessage(int32_t messageNumber);

/* ---- Message files (no session needed) --------------------------------- */

/* Reads the header block of a message file. Each size is in/out: capacity on
 * entry; on return the value's length when shorter than the capacity, the
 * capacity when the value was cut (no terminator then), 0 when absent. Every
 * array given with its size is zero-filled over its capacity first. A pair is
 * used only when its size pointer is given. header receives the other header
 * lines joined by LF; boundary and *isMultipart the quoted boundary of a
 * multipart content type. Results: 0, -21, -23 (also for a symbolic link or
 * anything but a regular file), -24 (no end of header). */
KOVAPOP3_API int32_t KOVAPOP3_GetMessageHeader(const char* path,
                                               char* to, uint32_t* toSize,
                                               char* cc, uint32_t* ccSize,
                                               char* from, uint32_t* fromSize,
                                               char* replyTo, uint32_t* replyToSize,
                                               char* subject, uint32_t* subjectSize,
                                               char* date, uint32_t* dateSize,
                                               char* header, uint32_t* headerSize,
                                               int32_t* isMultipart,
                                               char* boundary, uint32_t* boundarySize);

/* Splits a multipart message file: decoded attachments go to the folder named
 * like the file without its 4-character extension, and the file is replaced
 * (atomically) by its header and inline text when it ended with the "." line.
 * Prints "      Decoded NAME" / "      Unable to decode NAME" per attachment.
 * A message that is not multipart is left untouched. The second argument is
 * unused (pass 0). Results: 0, -21, -23, -24, -25, -26, -28, -30 (nested more
 * than eight levels deep) or -31 (more than 10,000 parts); after -30 and -31
 * no attachment file is left. Everything happens beneath the message's
 * directory: a symbolic link in place of the message (-23), the folder, a
 * file in it or the work file "~Attach~.TMP" is never followed, files are
 * only created new, owner-only (0600, folders 0700) or, in a set-group-ID
 * directory, for its group too (0660, 02770). */
KOVAPOP3_API int32_t KOVAPOP3_DecodeAttachments(const char* path, int32_t unused);

/* ---- end of message files ---------------------------------------------- */

#ifdef __cplusplus
}
#endif

#endif /* KOVAPOP3_H */
