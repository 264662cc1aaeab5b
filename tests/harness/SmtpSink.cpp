#include "SmtpSink.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/FileOwner.h"
#include "platform/PortProbe.h"
#include "tests/harness/FileText.h"

namespace fs = std::filesystem;

namespace harness {

namespace {


// The few JSON shapes the Python sink writes: a string value, or a list of strings.
std::string jsonUnquote(const std::string& s, size_t& pos) {
    std::string out;
    ++pos;  // opening quote
    while (pos < s.size() && s[pos] != '"') {
        if (s[pos] == '\\' && pos + 1 < s.size()) {
            ++pos;
            if (s[pos] == 'u' && pos + 4 < s.size()) {
                out += static_cast<char>(std::stoi(s.substr(pos + 1, 4), nullptr, 16));
                pos += 5;
                continue;
            }
            const char c = s[pos];
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        } else {
            out += s[pos];
        }
        ++pos;
    }
    ++pos;
    return out;
}

std::string jsonString(const std::string& s, const std::string& key) {
    size_t pos = s.find("\"" + key + "\":");
    if (pos == std::string::npos) return {};
    pos = s.find_first_of("\"n", pos + key.size() + 3);
    if (pos == std::string::npos || s[pos] == 'n') return {};
    return jsonUnquote(s, pos);
}

std::vector<std::string> jsonList(const std::string& s, const std::string& key) {
    std::vector<std::string> out;
    size_t pos = s.find("\"" + key + "\":");
    if (pos == std::string::npos) return out;
    pos = s.find('[', pos);
    const size_t end = s.find(']', pos);
    while ((pos = s.find('"', pos)) != std::string::npos && pos < end) out.push_back(jsonUnquote(s, pos));
    return out;
}

}  // namespace

SmtpSink::SmtpSink(Kind kind, std::string address, uint16_t port, std::vector<std::string> extraArgs)
    : kind_(kind), address_(std::move(address)), port_(port), extraArgs_(std::move(extraArgs)),
      dir_("ringpost-smtp") {
    fs::create_directories(dir_.file("msgs"));
    // smtp-sink drops root and must still reach and write its files.
    if (kind_ == Kind::Postfix) {
        fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        platform::setOwner(dir_.file("msgs"), "postfix");
    }
}

SmtpSink::~SmtpSink() {
    stop();
}

bool SmtpSink::start(std::string* error) {
    std::vector<std::string> argv;
    const std::string listen = address_ + ":" + std::to_string(port_);
    if (kind_ == Kind::Postfix) {
        argv = {"smtp-sink", "-u", "postfix", "-d", dir_.file("msgs/%Y%m%d%H%M%S.")};
        argv.insert(argv.end(), extraArgs_.begin(), extraArgs_.end());
        argv.push_back(listen);
        argv.push_back("256");
    } else {
        argv = {"/usr/bin/python3", std::string(RINGPOST_HARNESS_DIR) + "smtp_sink.py", "--address", address_,
                "--port", std::to_string(port_), "--dir", dir_.file("msgs")};
        argv.insert(argv.end(), pythonArgs_.begin(), pythonArgs_.end());
    }
    if (!process_.start(argv, dir_.file("sink.log"), error)) return false;
    if (!platform::waitForListener(address_, port_, 15000, [this] { return process_.running(); })) {
        if (error) *error = "the SMTP sink did not start listening on " + listen + ": " + log();
        stop();
        return false;
    }
    return true;
}

void SmtpSink::enableTls(TlsMode mode, const std::string& certPath, const std::string& keyPath) {
    const char* name = mode == TlsMode::Tls ? "tls" : mode == TlsMode::StartTls ? "starttls" : "plain";
    pythonArgs_.insert(pythonArgs_.end(), {"--tls-mode", name, "--cert", certPath, "--key", keyPath});
}

void SmtpSink::requireAuth(const std::string& user, const std::string& password) {
    pythonArgs_.insert(pythonArgs_.end(), {"--auth", user + ":" + password});
}

void SmtpSink::addOptions(const std::vector<std::string>& options) {
    pythonArgs_.insert(pythonArgs_.end(), options.begin(), options.end());
}

void SmtpSink::stop() {
    if (process_.started()) process_.stop(5000);
}

std::string SmtpSink::server() const {
    return port_ == 25 ? address_ : address_ + ":" + std::to_string(port_);
}

std::vector<std::string> SmtpSink::messageFiles() const {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir_.file("msgs")))
        if (e.is_regular_file()) files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<SunkMessage> SmtpSink::messages() const {
    std::vector<SunkMessage> out;
    for (const auto& path : messageFiles()) {
        const fs::path p(path);
        if (p.extension() != ".eml") continue;
        SunkMessage m;
        m.data = fileText(p.string());
        const std::string meta = fileText(fs::path(p).replace_extension(".json").string());
        m.helo = jsonString(meta, "helo");
        m.mailFrom = jsonString(meta, "mail_from");
        m.rcptTos = jsonList(meta, "rcpt_tos");
        m.tls = meta.find("\"tls\": true") != std::string::npos;
        m.authUser = jsonString(meta, "auth_user");
        m.connection = jsonString(meta, "connection");
        out.push_back(std::move(m));
    }
    return out;
}

std::string SmtpSink::log() const { return fileText(dir_.file("sink.log")); }

}  // namespace harness
