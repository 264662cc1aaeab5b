// The OpenSSL functions TLS connections use, loaded from the system's
// libcrypto and libssl on first use rather than linked: linking them costs
// every process that loads a mail library a few milliseconds at start,
// though most never open a TLS connection.
//
// Macros over SSL_CTX_ctrl and SSL_ctrl are not in the table: callers pass
// the macros' own control constants to those two.
#pragma once

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <string>

#include "platform/SharedLibrary.h"

namespace transport {

struct OpenSslFunctions {
    // libcrypto
    decltype(&::ERR_clear_error) ERR_clear_error;
    decltype(&::OPENSSL_thread_stop) OPENSSL_thread_stop;
    decltype(&::X509_VERIFY_PARAM_set1_ip_asc) X509_VERIFY_PARAM_set1_ip_asc;
    // libssl
    decltype(&::OPENSSL_init_ssl) OPENSSL_init_ssl;
    decltype(&::TLS_client_method) TLS_client_method;
    decltype(&::SSL_CTX_new) SSL_CTX_new;
    decltype(&::SSL_CTX_free) SSL_CTX_free;
    decltype(&::SSL_CTX_ctrl) SSL_CTX_ctrl;
    decltype(&::SSL_CTX_set_options) SSL_CTX_set_options;
    decltype(&::SSL_CTX_set_verify) SSL_CTX_set_verify;
    decltype(&::SSL_CTX_set_default_verify_paths) SSL_CTX_set_default_verify_paths;
    decltype(&::SSL_CTX_load_verify_locations) SSL_CTX_load_verify_locations;
    decltype(&::SSL_new) SSL_new;
    decltype(&::SSL_free) SSL_free;
    decltype(&::SSL_ctrl) SSL_ctrl;
    decltype(&::SSL_set_fd) SSL_set_fd;
    decltype(&::SSL_get0_param) SSL_get0_param;
    decltype(&::SSL_set_hostflags) SSL_set_hostflags;
    decltype(&::SSL_set1_host) SSL_set1_host;
    decltype(&::SSL_connect) SSL_connect;
    decltype(&::SSL_get_error) SSL_get_error;
    decltype(&::SSL_get_verify_result) SSL_get_verify_result;
    decltype(&::SSL_read_ex) SSL_read_ex;
    decltype(&::SSL_write_ex) SSL_write_ex;
    decltype(&::SSL_shutdown) SSL_shutdown;
};

// One pair of library files and their functions, kept loaded while it lives.
class OpenSslLibrary {
public:
    OpenSslLibrary(const std::string& cryptoFile, const std::string& sslFile);
    OpenSslLibrary(const OpenSslLibrary&) = delete;
    OpenSslLibrary& operator=(const OpenSslLibrary&) = delete;

    // Null when a file or one of the functions is missing; error() says which.
    const OpenSslFunctions* functions() const { return complete_ ? &functions_ : nullptr; }
    const std::string& error() const { return error_; }

private:
    platform::SharedLibrary crypto_;
    platform::SharedLibrary ssl_;
    OpenSslFunctions functions_{};
    bool complete_ = false;
    std::string error_;
};

// The system's OpenSSL, loaded by the first call from any thread; null when it
// cannot be.
const OpenSslFunctions* openSsl();

// As openSsl(), but never loads: null unless an earlier call loaded it.
const OpenSslFunctions* openSslIfLoaded();

}  // namespace transport
