#include "TlsChannel.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <map>

#include "platform/TcpSocket.h"
#include "transport/OpenSslLibrary.h"
#include "transport/ResultCodes.h"

namespace transport {

namespace {

bool isIpAddress(const std::string& host) {
    unsigned char buf[16];
    return ::inet_pton(AF_INET, host.c_str(), buf) == 1 || ::inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

int32_t verifyFailure(long verify) {
    switch (verify) {
        case X509_V_OK: return ResultCode::TlsHandshakeFailed;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
        case X509_V_ERR_EMAIL_MISMATCH: return ResultCode::HostNameMismatch;
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID: return ResultCode::CertificateExpired;
        default: return ResultCode::CertificateUntrusted;
    }
}

using SharedCtx = std::shared_ptr<SSL_CTX>;

// Loading the system's trusted certificates costs far more than a whole mail
// session, so a context is made once per CA file and shared by the
// connections (a context is safe for that). A CA file that changed makes a
// fresh one.
struct ContextCache {
    struct Entry {
        SharedCtx ctx;
        std::filesystem::file_time_type modified;
    };
    std::mutex lock;
    std::map<std::string, Entry> entries;
};

ContextCache& contextCache(const OpenSslFunctions& ssl) {
    // Made after the TLS library's own start-up, so it is destroyed before
    // the library shuts down at exit.
    ssl.OPENSSL_init_ssl(0, nullptr);
    static ContextCache cache;
    return cache;
}

SharedCtx makeContext(const OpenSslFunctions& ssl, const std::string& caFile, int32_t& result) {
    SharedCtx ctx(ssl.SSL_CTX_new(ssl.TLS_client_method()), ssl.SSL_CTX_free);
    if (!ctx) {
        result = ResultCode::TlsHandshakeFailed;
        return nullptr;
    }
    ssl.SSL_CTX_ctrl(ctx.get(), SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
    // Renegotiation would let a send read from the socket behind the reader's back.
    ssl.SSL_CTX_set_options(ctx.get(), SSL_OP_NO_RENEGOTIATION);
    ssl.SSL_CTX_ctrl(ctx.get(), SSL_CTRL_MODE, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER,
                     nullptr);
    ssl.SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
    ssl.SSL_CTX_set_default_verify_paths(ctx.get());
    if (!caFile.empty() && ssl.SSL_CTX_load_verify_locations(ctx.get(), caFile.c_str(), nullptr) != 1) {
        ssl.ERR_clear_error();
        result = ResultCode::FileNotOpened;
        return nullptr;
    }
    result = ResultCode::Success;
    return ctx;
}

SharedCtx sharedContext(const OpenSslFunctions& ssl, const std::string& caFile, int32_t& result) {
    std::error_code ec;
    const auto modified = caFile.empty() ? std::filesystem::file_time_type{}
                                         : std::filesystem::last_write_time(caFile, ec);
    if (ec) {
        result = ResultCode::FileNotOpened;
        return nullptr;
    }
    ContextCache& cache = contextCache(ssl);
    std::lock_guard lock(cache.lock);
    auto it = cache.entries.find(caFile);
    if (it != cache.entries.end() && it->second.modified == modified) {
        result = ResultCode::Success;
        return it->second.ctx;
    }
    SharedCtx ctx = makeContext(ssl, caFile, result);
    if (ctx) cache.entries[caFile] = {ctx, modified};
    return ctx;
}

// A wait of the reader while the sender holds TLS state it might have
// advanced is bounded, so a missed wake-up costs at most this long.
constexpr int kRecheckMs = 1000;

}  // namespace

struct TlsChannel::State {
    const OpenSslFunctions* api = nullptr;  // set whenever ssl is
    SharedCtx ctx;
    std::unique_ptr<SSL, decltype(&::SSL_free)> ssl{nullptr, nullptr};
};

TlsChannel::TlsChannel(platform::TcpSocket& socket) : socket_(socket), state_(std::make_unique<State>()) {}

TlsChannel::~TlsChannel() = default;

int32_t TlsChannel::handshake(const std::string& host, const TlsOptions& options, uint32_t timeoutMs) {
    const OpenSslFunctions* api = openSsl();
    if (!api) return ResultCode::TlsHandshakeFailed;
    int32_t result = ResultCode::Success;
    state_->ctx = sharedContext(*api, options.caFile, result);
    SSL_CTX* ctx = state_->ctx.get();
    if (!ctx) return result;

    state_->api = api;
    state_->ssl = {api->SSL_new(ctx), api->SSL_free};
    SSL* ssl = state_->ssl.get();
    if (!ssl || api->SSL_set_fd(ssl, socket_.nativeHandle()) != 1) return ResultCode::TlsHandshakeFailed;
    if (isIpAddress(host)) {
        api->X509_VERIFY_PARAM_set1_ip_asc(api->SSL_get0_param(ssl), host.c_str());
    } else {
        api->SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(host.c_str()));
        // The name must be among the subjectAltName entries (RFC 9525): a
        // subject CN is never taken for it.
        api->SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS | X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
        if (api->SSL_set1_host(ssl, host.c_str()) != 1) return ResultCode::TlsHandshakeFailed;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        api->ERR_clear_error();
        const int r = api->SSL_connect(ssl);
        if (r == 1) return ResultCode::Success;
        const int err = api->SSL_get_error(ssl, r);
        if (err != SSL_ERROR_WANT_READ && err != SSL_ERROR_WANT_WRITE) {
            const int32_t code = verifyFailure(api->SSL_get_verify_result(ssl));
            api->ERR_clear_error();
            return code;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return ResultCode::ResponseTimeout;
        const int ms = static_cast<int>(std::min<long long>(left, INT_MAX));
        const long w = err == SSL_ERROR_WANT_READ ? socket_.waitReadable(ms) : socket_.waitWritable(ms);
        if (w == 0) return ResultCode::ResponseTimeout;
        if (w != 1) return ResultCode::TlsHandshakeFailed;
    }
}

bool TlsChannel::tryOnce(char* readInto, const char* writeFrom, size_t size, size_t& done, int& err) {
    std::lock_guard lock(lock_);
    SSL* ssl = state_->ssl.get();
    if (!ssl) {
        err = SSL_ERROR_SSL;
        return false;
    }
    const OpenSslFunctions& api = *state_->api;
    done = 0;
    api.ERR_clear_error();
    const int r = writeFrom ? api.SSL_write_ex(ssl, writeFrom, size, &done) : api.SSL_read_ex(ssl, readInto, size, &done);
    if (r == 1) return true;
    err = api.SSL_get_error(ssl, 0);
    api.ERR_clear_error();
    return false;
}

long TlsChannel::receive(char* target, size_t size) {
    for (;;) {
        size_t n = 0;
        int err = 0;
        if (tryOnce(target, nullptr, size, n, err)) return static_cast<long>(n);
        long w;
        if (err == SSL_ERROR_WANT_READ)
            w = socket_.waitReadable(kRecheckMs);
        else if (err == SSL_ERROR_WANT_WRITE)
            w = socket_.waitWritable(kRecheckMs);
        else if (err == SSL_ERROR_ZERO_RETURN)
            return 0;
        else
            return platform::TcpSocket::kError;  // also a peer that vanished without closing TLS
        if (w < 0) return w;
    }
}

long TlsChannel::send(const char* bytes, size_t size) {
    for (;;) {
        size_t n = 0;
        int err = 0;
        if (tryOnce(nullptr, bytes, size, n, err)) return static_cast<long>(n);
        long w;
        if (err == SSL_ERROR_WANT_WRITE)
            w = socket_.waitWritable(-1);
        else if (err == SSL_ERROR_WANT_READ)
            w = socket_.waitReadable(50);  // the reader is likely to take what arrives first
        else
            return platform::TcpSocket::kError;
        if (w < 0) return w;
    }
}

long TlsChannel::trySend(const char* bytes, size_t size) {
    size_t n = 0;
    int err = 0;
    if (tryOnce(nullptr, bytes, size, n, err)) return static_cast<long>(n);
    return (err == SSL_ERROR_WANT_WRITE || err == SSL_ERROR_WANT_READ) ? 0 : platform::TcpSocket::kError;
}

void TlsChannel::releaseThreadState() {
    // A thread whose TLS start failed to load the library has nothing to free.
    if (const OpenSslFunctions* api = openSslIfLoaded()) api->OPENSSL_thread_stop();
}

void TlsChannel::close() {
    std::lock_guard lock(lock_);
    if (SSL* ssl = state_->ssl.get()) {
        state_->api->ERR_clear_error();
        state_->api->SSL_shutdown(ssl);
        state_->api->ERR_clear_error();
    }
}

}  // namespace transport
