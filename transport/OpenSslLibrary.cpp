#include "OpenSslLibrary.h"

#include <atomic>

namespace transport {

namespace {

template <typename F>
bool bind(const platform::SharedLibrary& library, const char* name, F& target, std::string& error) {
    target = reinterpret_cast<F>(library.symbol(name));
    if (!target && error.empty()) error = std::string("no function ") + name;
    return target != nullptr;
}

// The file names must match the headers the table's types come from.
static_assert(OPENSSL_VERSION_MAJOR == 3);

std::atomic<const OpenSslFunctions*> loaded{nullptr};

}  // namespace

OpenSslLibrary::OpenSslLibrary(const std::string& cryptoFile, const std::string& sslFile) {
    if (!crypto_.open(cryptoFile, &error_) || !ssl_.open(sslFile, &error_)) return;
    OpenSslFunctions& f = functions_;
    bool all = bind(crypto_, "ERR_clear_error", f.ERR_clear_error, error_);
    all &= bind(crypto_, "OPENSSL_thread_stop", f.OPENSSL_thread_stop, error_);
    all &= bind(crypto_, "X509_VERIFY_PARAM_set1_ip_asc", f.X509_VERIFY_PARAM_set1_ip_asc, error_);
    all &= bind(ssl_, "OPENSSL_init_ssl", f.OPENSSL_init_ssl, error_);
    all &= bind(ssl_, "TLS_client_method", f.TLS_client_method, error_);
    all &= bind(ssl_, "SSL_CTX_new", f.SSL_CTX_new, error_);
    all &= bind(ssl_, "SSL_CTX_free", f.SSL_CTX_free, error_);
    all &= bind(ssl_, "SSL_CTX_ctrl", f.SSL_CTX_ctrl, error_);
    all &= bind(ssl_, "SSL_CTX_set_options", f.SSL_CTX_set_options, error_);
    all &= bind(ssl_, "SSL_CTX_set_verify", f.SSL_CTX_set_verify, error_);
    all &= bind(ssl_, "SSL_CTX_set_default_verify_paths", f.SSL_CTX_set_default_verify_paths, error_);
    all &= bind(ssl_, "SSL_CTX_load_verify_locations", f.SSL_CTX_load_verify_locations, error_);
    all &= bind(ssl_, "SSL_new", f.SSL_new, error_);
    all &= bind(ssl_, "SSL_free", f.SSL_free, error_);
    all &= bind(ssl_, "SSL_ctrl", f.SSL_ctrl, error_);
    all &= bind(ssl_, "SSL_set_fd", f.SSL_set_fd, error_);
    all &= bind(ssl_, "SSL_get0_param", f.SSL_get0_param, error_);
    all &= bind(ssl_, "SSL_set_hostflags", f.SSL_set_hostflags, error_);
    all &= bind(ssl_, "SSL_set1_host", f.SSL_set1_host, error_);
    all &= bind(ssl_, "SSL_connect", f.SSL_connect, error_);
    all &= bind(ssl_, "SSL_get_error", f.SSL_get_error, error_);
    all &= bind(ssl_, "SSL_get_verify_result", f.SSL_get_verify_result, error_);
    all &= bind(ssl_, "SSL_read_ex", f.SSL_read_ex, error_);
    all &= bind(ssl_, "SSL_write_ex", f.SSL_write_ex, error_);
    all &= bind(ssl_, "SSL_shutdown", f.SSL_shutdown, error_);
    complete_ = all;
}

const OpenSslFunctions* openSsl() {
    // Kept until exit, as a linked library would be.
    static const OpenSslLibrary library("libcrypto.so.3", "libssl.so.3");
    const OpenSslFunctions* functions = library.functions();
    loaded.store(functions, std::memory_order_release);
    return functions;
}

const OpenSslFunctions* openSslIfLoaded() { return loaded.load(std::memory_order_acquire); }

}  // namespace transport
