// Result codes returned by every export of both mail libraries. 0 is success,
// failures are negative; the values are part of the library contract.
#pragma once

#include <cstdint>

namespace ResultCode {

inline constexpr int32_t Success = 0;
inline constexpr int32_t PortNotOpened = -3;
inline constexpr int32_t ThreadNotCreated = -11;
inline constexpr int32_t OutOfMemory = -14;
inline constexpr int32_t IncorrectResponse = -17;
inline constexpr int32_t ResponseTimeout = -18;
inline constexpr int32_t NotLoggedIn = -19;
inline constexpr int32_t InvalidParameter = -20;
inline constexpr int32_t NullPointer = -21;
inline constexpr int32_t FileNotOpened = -23;
inline constexpr int32_t HeaderIncomplete = -24;
inline constexpr int32_t FileNotCreated = -25;
inline constexpr int32_t WriteError = -26;
inline constexpr int32_t RemoveFailed = -27;
inline constexpr int32_t RenameFailed = -28;
inline constexpr int32_t DecodeFailed = -30;
// TLS and authentication.
inline constexpr int32_t TlsHandshakeFailed = -40;     // no TLS session could be agreed
inline constexpr int32_t CertificateUntrusted = -41;   // chain not signed by a trusted authority
inline constexpr int32_t HostNameMismatch = -42;       // certificate made out for another name or address
inline constexpr int32_t StartTlsNotOffered = -43;     // STARTTLS / STLS asked for, server does not offer it
inline constexpr int32_t AuthenticationRefused = -44;  // the server refused the user name or password
inline constexpr int32_t PlainAuthRefused = -45;       // credentials would go in clear and that is not allowed
inline constexpr int32_t CertificateExpired = -46;     // certificate expired or not yet valid
inline constexpr int32_t AuthNotOffered = -47;         // no authentication method both sides know
// Internal result of MailSocket::ReadUntil; never returned by an export.
inline constexpr int32_t TerminatorFound = -35;

}  // namespace ResultCode
