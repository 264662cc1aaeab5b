// One submission distributed to MEMBERS members through an SMTP sink: the
// engine's own processing of a spooled post, timed from the spool file to
// the last delivery. The per-member lines go to a log file, not the terminal.
// Usage: bench_distribution SERVER MEMBERS BODY_BYTES [SECURITY CAFILE USER PASSWORD]
// (SECURITY 1 implicit TLS, 2 STARTTLS, as KOVASMTP_SetSecurity takes it)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/ProcessNewMail.h"
#include "smtp/KOVASMTP.h"
#include "tests/TempDir.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SERVER MEMBERS BODY_BYTES\n", argv[0]);
        return 2;
    }
    const int members = std::atoi(argv[2]);
    const size_t size = static_cast<size_t>(std::atol(argv[3]));
    TempDir dir;

    MailList list;
    list.directory = dir.path() + "/";
    list.smtpServer = argv[1];
    list.fromAddress = list.replyToAddress = "list@example.org";
    list.adminSubmit = false;
    if (argc >= 8) {
        // Both the list and the library get the setting, as the engine's
        // update of a list does before its mail is processed.
        list.smtpSecurity = std::atoi(argv[4]);
        list.smtpCAFile = argv[5];
        list.smtpUsername = argv[6];
        list.smtpPassword = argv[7];
        if (KOVASMTP_SetSecurity(list.smtpSecurity, argv[5], argv[6], argv[7], 0) != 0) return 2;
    }
    for (int i = 0; i < members; ++i) list.members.append("member" + std::to_string(i) + "@example.org", false);

    std::string body;
    while (body.size() < size) body += "The quick brown fox jumps over the lazy dog, 0123456789 ABCDEFGHIJK\r\n";
    body.resize(size);
    dir.write("post.NEW", "From: member0@example.org\r\nTo: list@example.org\r\nSubject: submit Benchmark\r\n\r\n" +
                              body + "\r\n.\r\n");

    const std::string log = dir.file("engine.log");
    if (!std::freopen(log.c_str(), "w", stdout)) return 1;
    const auto t0 = std::chrono::steady_clock::now();
    ProcessNewMail(list);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::fflush(stdout);

    std::ifstream in(log);
    const std::string out((std::istreambuf_iterator<char>(in)), {});
    int ok = 0, failed = 0;
    for (size_t p = 0; (p = out.find("...", p)) != std::string::npos; p += 3) {
        if (out.compare(p + 3, 7, "Success") == 0) ++ok;
        else if (out.compare(p + 3, 8, "FAILURE:") == 0) ++failed;
    }
    std::fprintf(stderr, "bench_distribution: %d deliveries in %.3f s, %.0f deliveries/s, %d failures\n", ok, s,
                 ok / s, failed);
    return failed || ok != members || !std::filesystem::exists(dir.file("post.MSG"));
}
