// N sequential KOVASMTP_SendEMail calls into an SMTP sink, one session each.
// Usage: bench_smtp SERVER COUNT BODY_BYTES [SECURITY CAFILE USER PASSWORD]
// (SECURITY 1 implicit TLS, 2 STARTTLS, as KOVASMTP_SetSecurity takes it)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "KOVASMTP.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SERVER COUNT BODY_BYTES\n", argv[0]);
        return 2;
    }
    const char* server = argv[1];
    const int count = std::atoi(argv[2]);
    const size_t size = static_cast<size_t>(std::atol(argv[3]));
    if (argc >= 8 && KOVASMTP_SetSecurity(std::atoi(argv[4]), argv[5], argv[6], argv[7], 0) != 0) return 2;
    std::string body;
    while (body.size() < size) body += "The quick brown fox jumps over the lazy dog, 0123456789 ABCDEFGHIJK\r\n";
    body.resize(size);

    int failures = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        const int32_t r = KOVASMTP_SendEMail(server, "bench@example.com", "sink@example.org", nullptr,
                                             "Benchmark message", body.data(), static_cast<int32_t>(body.size()),
                                             nullptr, nullptr, 0);
        if (r != 0 && ++failures <= 3) std::fprintf(stderr, "message %d: result %d\n", i, r);
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("bench_smtp: %d messages in %.3f s, %.0f messages/s, %d failures\n", count, s, count / s, failures);
    return failures ? 1 : 0;
}
