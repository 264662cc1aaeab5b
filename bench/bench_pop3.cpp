// Fetch speed of libKOVAPOP3.so against a private Dovecot on loopback,
// measured beside reference clients on the same data in the same run.
//
// Each round, for every client: N messages are injected into an empty
// mailbox, the client logs in, lists the unique ids, retrieves every message
// into a file and deletes it, and logs out. A reference client is a command
// line (placeholders {host} {port} {user} {password} {count} {dir}, and
// {cafile} with --tls, where everyone uses implicit TLS on port 995) that
// does the same and prints "messages/s R" as its last line; it times itself
// from login to logout, as this driver times the library.
#include "pop3/KOVAPOP3.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "tests/harness/DovecotServer.h"
#include "tests/harness/TestCa.h"

namespace fs = std::filesystem;

namespace {

struct Options {
    int count = 1000;
    size_t size = 10240;
    int rounds = 5;
    std::string address = "127.0.2.200";
    bool tls = false;
    std::string caFile;
    std::vector<std::pair<std::string, std::string>> references;  // name, command line
};

const char* kUser = "bench";
const char* kPassword = "bench-secret";

// A plain-text message of about `size` bytes in CR LF lines, some starting with ".".
std::string makeMessage(int n, size_t size) {
    std::ostringstream m;
    m << "From: sender" << n << "@example.com\r\nTo: list@example.com\r\nSubject: message " << n
      << "\r\nMessage-ID: <" << n << "@bench.example.com>\r\n\r\n";
    std::string text = m.str();
    for (int line = 0; text.size() + 80 < size; ++line) {
        std::string l = (line % 25 == 24 ? "." : "") + std::string("line ") + std::to_string(line) + " of message " +
                        std::to_string(n) + ": the quick brown fox jumps over the lazy dog";
        l.resize(70, '-');
        text += l + "\r\n";
    }
    return text;
}

void inject(harness::DovecotServer& server, const Options& o) {
    server.clearMaildir(kUser);
    for (int i = 1; i <= o.count; ++i) server.injectMessage(kUser, makeMessage(i, o.size));
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
    return s;
}

std::vector<std::string> splitWords(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// The library's run; messages per second, or a negative value on failure.
double runLibrary(const harness::DovecotServer& server, const Options& o, const fs::path& dir) {
    std::vector<char> ids(static_cast<size_t>(o.count) * 40 + 64);
    const auto t0 = std::chrono::steady_clock::now();
    if (o.tls) KOVAPOP3_SetSecurity(KOVA_SECURITY_TLS, o.caFile.c_str(), 0);
    int32_t rc = KOVAPOP3_Login(o.tls ? server.address().c_str() : server.server().c_str(), kUser, kPassword);
    if (rc != 0) return std::cerr << "login failed: " << rc << "\n", -1;
    rc = KOVAPOP3_GetMessageIDs(ids.data(), static_cast<int32_t>(ids.size()));
    if (rc < 0) return std::cerr << "UIDL failed: " << rc << "\n", -1;
    for (int i = 1; i <= o.count; ++i) {
        const std::string path = (dir / ("m" + std::to_string(i) + ".NEW")).string();
        if ((rc = KOVAPOP3_GetMessage(i, path.c_str())) != 0) return std::cerr << "RETR " << i << ": " << rc << "\n", -1;
        if ((rc = KOVAPOP3_DeleteMessage(i)) != 0) return std::cerr << "DELE " << i << ": " << rc << "\n", -1;
    }
    if ((rc = KOVAPOP3_Logout()) != 0) return std::cerr << "QUIT failed: " << rc << "\n", -1;
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return o.count / s;
}

double runReference(const harness::DovecotServer& server, const Options& o, const std::string& command,
                    const fs::path& dir) {
    std::vector<std::string> argv;
    for (auto w : splitWords(command)) {
        w = replaceAll(w, "{host}", server.address());
        w = replaceAll(w, "{port}", std::to_string(o.tls ? server.tlsPort() : server.port()));
        w = replaceAll(w, "{cafile}", o.caFile);
        w = replaceAll(w, "{user}", kUser);
        w = replaceAll(w, "{password}", kPassword);
        w = replaceAll(w, "{count}", std::to_string(o.count));
        w = replaceAll(w, "{dir}", dir.string());
        argv.push_back(w);
    }
    const std::string out = (dir / "client.out").string();
    platform::ChildProcess child;
    std::string error;
    if (!child.start(argv, out, &error)) return std::cerr << error << "\n", -1;
    child.waitExit(600000);
    std::ifstream f(out);
    std::string line, last;
    while (std::getline(f, line))
        if (!line.empty()) last = line;
    if (last.rfind("messages/s ", 0) != 0) return std::cerr << argv[0] << " said: " << last << "\n", -1;
    return std::atof(last.c_str() + 11);
}

bool checkRun(const harness::DovecotServer& server, const Options& o, const fs::path& dir) {
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".NEW" && e.file_size() >= o.size / 2) ++files;
    const size_t left = server.listMaildir(kUser).size();
    if (files != static_cast<size_t>(o.count) || left != 0) {
        std::cerr << "incomplete run: " << files << " messages stored, " << left << " left on the server\n";
        return false;
    }
    return true;
}

// The load averages, so a reader can judge the figures of a shared machine.
std::string machineLoad() {
    std::ifstream f("/proc/loadavg");
    std::string one, five, fifteen;
    f >> one >> five >> fifteen;
    return "load " + one + " " + five + " " + fifteen + " (1, 5, 15 min)";
}

int usage() {
    std::cerr << "usage: bench_pop3 [--count N] [--size BYTES] [--rounds R] [--address 127.x.y.z] [--tls]\n"
                 "                  [--reference NAME \"COMMAND {host} {port} {user} {password} {count} {dir}\"]...\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--count") o.count = std::atoi(next().c_str());
        else if (a == "--size") o.size = static_cast<size_t>(std::atol(next().c_str()));
        else if (a == "--rounds") o.rounds = std::atoi(next().c_str());
        else if (a == "--address") o.address = next();
        else if (a == "--tls") o.tls = true;
        else if (a == "--reference" && i + 2 < argc) {
            std::string name = next();
            o.references.emplace_back(name, next());
        } else return usage();
    }
    if (o.count <= 0 || o.rounds <= 0) return usage();

    harness::DovecotServer server(o.address);
    server.addUser(kUser, kPassword);
    std::unique_ptr<harness::TestCa> ca;
    if (o.tls) {
        ca = std::make_unique<harness::TestCa>();
        const auto cert = ca->issue("bench", "IP:" + o.address);
        server.enableTls(cert.cert, cert.key);
        o.caFile = ca->caFile();
    }
    std::string error;
    if (!server.start(&error)) return std::cerr << error << "\n", 1;

    std::cout << (o.tls ? "POP3 over TLS (995) fetch: " : "POP3 fetch: ") << o.count << " messages of " << o.size << " bytes, login + UIDL + RETR/DELE each + QUIT, "
              << o.rounds << " rounds, Dovecot on " << server.server() << "\n";
    std::map<std::string, std::vector<double>> rates;
    std::vector<std::string> names = {"KOVAPOP3"};
    for (const auto& r : o.references) names.push_back(r.first);
    std::printf("%s\n", machineLoad().c_str());
    for (int round = 1; round <= o.rounds; ++round) {
        // Every client goes first in turn, so none always meets the server
        // and the page cache in the same state.
        for (size_t k = 0; k < names.size(); ++k) {
            const size_t c = (k + static_cast<size_t>(round - 1)) % names.size();
            const fs::path dir = fs::path(server.directory()) / ("client" + std::to_string(c));
            fs::remove_all(dir);
            fs::create_directories(dir);
            inject(server, o);
            const double rate = c == 0 ? runLibrary(server, o, dir) : runReference(server, o, o.references[c - 1].second, dir);
            if (rate <= 0 || !checkRun(server, o, dir)) return std::cerr << names[c] << " failed\n", 1;
            rates[names[c]].push_back(rate);
            std::printf("  round %d  %-10s %8.0f messages/s\n", round, names[c].c_str(), rate);
            std::fflush(stdout);
            fs::remove_all(dir);
        }
    }
    // The median round, so one disturbed round on a shared machine does not decide.
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double ours = median(rates["KOVAPOP3"]);
    std::printf("KOVAPOP3   %8.0f messages/s (median)\n", ours);
    for (const auto& r : o.references) {
        const double theirs = median(rates[r.first]);
        std::printf("%-10s %8.0f messages/s (median)   ratio of medians KOVAPOP3/%s = %.2f\n", r.first.c_str(),
                    theirs, r.first.c_str(), ours / theirs);
    }
    std::printf("%s\n", machineLoad().c_str());
    return 0;
}
