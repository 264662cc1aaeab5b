/* What both mail libraries share at their boundary, for C and C++ callers:
 * the result codes every export returns and the connection security values.
 * 0 is success, failures are negative; the values are part of the contract. */
#ifndef KOVAMAIL_H
#define KOVAMAIL_H

#define KOVA_SUCCESS 0
#define KOVA_PORT_NOT_OPENED (-3)       /* no connection to the server */
#define KOVA_THREAD_NOT_CREATED (-11)
#define KOVA_OUT_OF_MEMORY (-14)
#define KOVA_INCORRECT_RESPONSE (-17)   /* the server answered, but not as asked */
#define KOVA_RESPONSE_TIMEOUT (-18)     /* no answer in time, or the connection broke */
#define KOVA_NOT_LOGGED_IN (-19)
#define KOVA_INVALID_PARAMETER (-20)
#define KOVA_NULL_POINTER (-21)
#define KOVA_FILE_NOT_OPENED (-23)
#define KOVA_HEADER_INCOMPLETE (-24)
#define KOVA_FILE_NOT_CREATED (-25)
#define KOVA_WRITE_ERROR (-26)
#define KOVA_REMOVE_FAILED (-27)
#define KOVA_RENAME_FAILED (-28)
#define KOVA_DECODE_FAILED (-30)
#define KOVA_TOO_MANY_PARTS (-31)       /* a message with more parts or files than any real one */
#define KOVA_TLS_HANDSHAKE_FAILED (-40)   /* no TLS session could be agreed */
#define KOVA_CERTIFICATE_UNTRUSTED (-41)  /* chain not signed by a trusted authority */
#define KOVA_HOST_NAME_MISMATCH (-42)     /* certificate made out for another name or address */
#define KOVA_STARTTLS_NOT_OFFERED (-43)   /* STARTTLS / STLS asked for, server does not offer it */
#define KOVA_AUTH_REFUSED (-44)           /* the server refused the user name or password */
#define KOVA_PLAIN_AUTH_REFUSED (-45)     /* credentials would go in clear and that is not allowed */
#define KOVA_CERTIFICATE_EXPIRED (-46)    /* certificate expired or not yet valid */
#define KOVA_AUTH_NOT_OFFERED (-47)       /* no authentication method both sides know */
#define KOVA_OAUTH_SIGN_IN_AGAIN (-48)    /* the OAuth 2.0 grant was refused: sign in again in the console */
#define KOVA_OAUTH_ENDPOINT_FAILED (-49)  /* the OAuth 2.0 token endpoint is unreachable or answered junk */

/* Security of the connection, for KOVAPOP3_SetSecurity and KOVASMTP_SetSecurity. */
#define KOVA_SECURITY_NONE 0     /* plain TCP */
#define KOVA_SECURITY_TLS 1      /* TLS from the start (POP3 port 995, SMTP 465) */
#define KOVA_SECURITY_STARTTLS 2 /* plain, then STLS / STARTTLS (POP3 110, SMTP 587) */
#define KOVA_ALLOW_PLAIN_AUTH 1  /* flag: credentials may go over a connection without TLS */
#define KOVA_BEARER_TOKEN 2      /* flag: the password is an OAuth 2.0 access token (SASL OAUTHBEARER or
                                    XOAUTH2, over TLS only, whatever KOVA_ALLOW_PLAIN_AUTH says) */

#endif
