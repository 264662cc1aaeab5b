// The C entry points of libKOVAPOP3.so for the POP3 session. No exception may
// leave the library: the only ones possible here come from allocation.
#include "pop3/KOVAPOP3.h"

#include "pop3/Pop3Session.h"
#include "transport/OpenConnections.h"
#include "transport/ResultCodes.h"

namespace {

template <typename F>
int32_t guarded(F&& f) noexcept {
    try {
        return f();
    } catch (...) {
        return ResultCode::OutOfMemory;
    }
}

}  // namespace

extern "C" {

KOVAPOP3_API int32_t KOVAPOP3_Login(const char* server, const char* user, const char* password) {
    return guarded([&] { return pop3::Pop3Session::instance().login(server, user, password); });
}

KOVAPOP3_API int32_t KOVAPOP3_SetSecurity(int32_t security, const char* caFile, int32_t flags) {
    return guarded([&] {
        return pop3::Pop3Session::instance().setSecurity(security, caFile, (flags & KOVA_ALLOW_PLAIN_AUTH) != 0,
                                                         (flags & KOVA_BEARER_TOKEN) != 0);
    });
}

KOVAPOP3_API int32_t KOVAPOP3_Cancel(void) {
    transport::OpenConnections::instance().abortAll();
    return ResultCode::Success;
}

KOVAPOP3_API int32_t KOVAPOP3_Logout(void) {
    return guarded([] { return pop3::Pop3Session::instance().logout(); });
}

KOVAPOP3_API int32_t KOVAPOP3_GetMessageSizes(char* target, int32_t targetSize) {
    return guarded([&] { return pop3::Pop3Session::instance().listing("LIST", target, targetSize); });
}

KOVAPOP3_API int32_t KOVAPOP3_GetMessageIDs(char* target, int32_t targetSize) {
    return guarded([&] { return pop3::Pop3Session::instance().listing("UIDL", target, targetSize); });
}

KOVAPOP3_API int32_t KOVAPOP3_GetMessage(int32_t messageNumber, const char* path) {
    return guarded([&] { return pop3::Pop3Session::instance().retrieve(messageNumber, path); });
}

KOVAPOP3_API int32_t KOVAPOP3_DeleteMessage(int32_t messageNumber) {
    return guarded([&] { return pop3::Pop3Session::instance().remove(messageNumber); });
}

}  // extern "C"
