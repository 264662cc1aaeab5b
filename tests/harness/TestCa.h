// A private certificate authority in a temporary directory, made with the
// openssl command line (scripts/make-certs), for servers on loopback that
// speak TLS. A second authority that no client trusts stands by for tests
// of unknown issuers.
#pragma once

#include <string>
#include <vector>

#include "tests/TempDir.h"

namespace harness {

struct ServerCertificate {
    std::string cert;  // PEM paths
    std::string key;
};

class TestCa {
public:
    // Makes both authorities; throws std::runtime_error when openssl fails.
    TestCa();
    TestCa(const TestCa&) = delete;
    TestCa& operator=(const TestCa&) = delete;

    // The trusted authority's certificate, as a client's CA file.
    std::string caFile() const { return dir_.file("ca.pem"); }

    enum class Issuer { Trusted, Unknown };
    // A server certificate with the subject CN `name`, for `san`
    // ("IP:127.0.0.5,DNS:mail.test"; empty for a certificate without one);
    // `expired` makes it valid only in 2020. Throws on failure.
    ServerCertificate issue(const std::string& name, const std::string& san, Issuer issuer = Issuer::Trusted,
                            bool expired = false) const;

    const std::string& directory() const { return dir_.path(); }

private:
    void run(const std::vector<std::string>& args) const;
    TempDir dir_;
};

}  // namespace harness
