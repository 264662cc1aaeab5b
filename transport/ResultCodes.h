// The libraries' result codes by their C++ names inside the libraries; the
// values are those of the public header both libraries export.
#pragma once

#include <cstdint>

#include "transport/KOVAMail.h"

namespace ResultCode {

inline constexpr int32_t Success = KOVA_SUCCESS;
inline constexpr int32_t PortNotOpened = KOVA_PORT_NOT_OPENED;
inline constexpr int32_t ThreadNotCreated = KOVA_THREAD_NOT_CREATED;
inline constexpr int32_t OutOfMemory = KOVA_OUT_OF_MEMORY;
inline constexpr int32_t IncorrectResponse = KOVA_INCORRECT_RESPONSE;
inline constexpr int32_t ResponseTimeout = KOVA_RESPONSE_TIMEOUT;
inline constexpr int32_t NotLoggedIn = KOVA_NOT_LOGGED_IN;
inline constexpr int32_t InvalidParameter = KOVA_INVALID_PARAMETER;
inline constexpr int32_t NullPointer = KOVA_NULL_POINTER;
inline constexpr int32_t FileNotOpened = KOVA_FILE_NOT_OPENED;
inline constexpr int32_t HeaderIncomplete = KOVA_HEADER_INCOMPLETE;
inline constexpr int32_t FileNotCreated = KOVA_FILE_NOT_CREATED;
inline constexpr int32_t WriteError = KOVA_WRITE_ERROR;
inline constexpr int32_t RemoveFailed = KOVA_REMOVE_FAILED;
inline constexpr int32_t RenameFailed = KOVA_RENAME_FAILED;
inline constexpr int32_t DecodeFailed = KOVA_DECODE_FAILED;
inline constexpr int32_t TooManyParts = KOVA_TOO_MANY_PARTS;
// TLS and authentication.
inline constexpr int32_t TlsHandshakeFailed = KOVA_TLS_HANDSHAKE_FAILED;
inline constexpr int32_t CertificateUntrusted = KOVA_CERTIFICATE_UNTRUSTED;
inline constexpr int32_t HostNameMismatch = KOVA_HOST_NAME_MISMATCH;
inline constexpr int32_t StartTlsNotOffered = KOVA_STARTTLS_NOT_OFFERED;
inline constexpr int32_t AuthenticationRefused = KOVA_AUTH_REFUSED;
inline constexpr int32_t PlainAuthRefused = KOVA_PLAIN_AUTH_REFUSED;
inline constexpr int32_t CertificateExpired = KOVA_CERTIFICATE_EXPIRED;
inline constexpr int32_t AuthNotOffered = KOVA_AUTH_NOT_OFFERED;
// OAuth 2.0: the grant is gone, or the token endpoint cannot be used.
inline constexpr int32_t OAuthSignInAgain = KOVA_OAUTH_SIGN_IN_AGAIN;
inline constexpr int32_t OAuthEndpointFailed = KOVA_OAUTH_ENDPOINT_FAILED;

}  // namespace ResultCode
