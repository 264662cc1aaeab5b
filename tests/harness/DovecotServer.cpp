#include "DovecotServer.h"

#include "platform/FileOwner.h"
#include "platform/PortProbe.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace harness {

namespace {

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << content;
    f.close();
    if (!f) throw std::runtime_error("cannot write " + path);
}

// Maildir names must never repeat, not even after a message was deleted.
std::string uniqueMessageName() {
    static std::atomic<uint64_t> counter{0};
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    std::ostringstream name;
    name << us / 1000000 << ".M" << us % 1000000 << "Q" << ++counter << ".ringpost-harness";
    return name.str();
}

}  // namespace

DovecotServer::DovecotServer(std::string address, uint16_t port)
    : address_(std::move(address)), port_(port), dir_("ringpost-dovecot") {
    // Dovecot's processes run as other users and must reach their files below.
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    for (const char* sub : {"etc", "run", "state", "mail"}) fs::create_directories(dir_.file(sub));
    platform::setOwner(dir_.file("mail"), kMailUser);
    writeUsers();
}

DovecotServer::~DovecotServer() {
    stop();
}

std::string DovecotServer::server() const {
    return port_ == 110 ? address_ : address_ + ":" + std::to_string(port_);
}

std::string DovecotServer::maildir(const std::string& user) const { return dir_.file("mail/") + user; }

std::string DovecotServer::log() const {
    std::ifstream f(dir_.file("dovecot.log"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void DovecotServer::writeConfig() const {
    const std::string& d = dir_.path();
    std::ostringstream c;
    c << "base_dir = " << d << "/run\n"
      << "state_dir = " << d << "/state\n"
      << "log_path = " << d << "/dovecot.log\n"
      << "info_log_path = " << d << "/dovecot.log\n"
      << "protocols = pop3\n"
      << "listen = " << address_ << "\n"
      << (tlsPort_ ? "ssl = required\nssl_cert = <" + certPath_ + "\nssl_key = <" + keyPath_ +
                         "\ndisable_plaintext_auth = yes\n"
                   // Plain USER/PASS is only allowed off 127.0.0.1 with this.
                   : std::string("ssl = no\ndisable_plaintext_auth = no\n"))
      << "auth_failure_delay = 0\n"
      << "auth_mechanisms = plain login\n"
      << "passdb {\n  driver = passwd-file\n  args = " << d << "/etc/users\n}\n"
      << "userdb {\n  driver = static\n  args = allow_all_users=yes\n}\n"
      << "mail_location = maildir:" << d << "/mail/%u\n"
      << "mail_uid = " << kMailUser << "\nmail_gid = " << kMailUser << "\n"
      << "first_valid_uid = 1\nfirst_valid_gid = 1\n"
      << "mail_max_userip_connections = 1000\n"
      << "service pop3-login {\n"
      << "  inet_listener pop3 {\n    address = " << address_ << "\n    port = " << port_ << "\n  }\n"
      << "  inet_listener pop3s {\n    address = " << address_ << "\n    port = " << tlsPort_
      << (tlsPort_ ? "\n    ssl = yes" : "") << "\n  }\n"
      << "}\n"
      // Failed logins must not slow the next ones down.
      << "service anvil {\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n";
    writeFile(d + "/etc/dovecot.conf", c.str());
}

void DovecotServer::enableTls(const std::string& certPath, const std::string& keyPath, uint16_t tlsPort) {
    certPath_ = certPath;
    keyPath_ = keyPath;
    tlsPort_ = tlsPort;
}

void DovecotServer::writeUsers() const {
    std::string lines;
    for (const auto& [user, password] : users_) lines += user + ":{PLAIN}" + password + "\n";
    // Replaced whole so that Dovecot never reads half a file.
    const std::string path = dir_.file("etc/users");
    writeFile(path + ".tmp", lines);
    fs::rename(path + ".tmp", path);
}

void DovecotServer::addUser(const std::string& user, const std::string& password) {
    auto it = std::find_if(users_.begin(), users_.end(), [&](const auto& u) { return u.first == user; });
    if (it != users_.end())
        it->second = password;
    else
        users_.emplace_back(user, password);
    writeUsers();
    const std::string md = maildir(user);
    for (const char* sub : {"", "/tmp", "/new", "/cur"}) {
        fs::create_directories(md + sub);
        platform::setOwner(md + sub, kMailUser);
    }
}

std::string DovecotServer::injectMessage(const std::string& user, const std::string& content) {
    const std::string md = maildir(user);
    const std::string name = uniqueMessageName();
    const std::string tmp = md + "/tmp/" + name;
    const std::string target = md + "/new/" + name;
    writeFile(tmp, content);
    platform::setOwner(tmp, kMailUser);
    fs::rename(tmp, target);
    return target;
}

std::vector<std::string> DovecotServer::listMaildir(const std::string& user) const {
    std::vector<std::string> files;
    const std::string md = maildir(user);
    for (const char* sub : {"/new", "/cur"}) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(md + sub, ec))
            if (e.is_regular_file()) files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end(),
              [](const std::string& a, const std::string& b) {
                  return fs::path(a).filename() < fs::path(b).filename();
              });
    return files;
}

void DovecotServer::clearMaildir(const std::string& user) {
    for (const auto& f : listMaildir(user)) {
        std::error_code ec;
        fs::remove(f, ec);
    }
}

bool DovecotServer::start(std::string* error) {
    stop();
    writeConfig();
    if (!process_.start({"dovecot", "-F", "-c", dir_.file("etc/dovecot.conf")}, dir_.file("dovecot.out"), error))
        return false;
    const auto alive = [this] { return process_.running(); };
    if (platform::waitForListener(address_, port_, 15000, alive) &&
        (!tlsPort_ || platform::waitForListener(address_, tlsPort_, 15000, alive)))
        return true;
    if (error) {
        std::ifstream out(dir_.file("dovecot.out"), std::ios::binary);
        *error = "Dovecot did not start listening on " + server() + ": " +
                 std::string(std::istreambuf_iterator<char>(out), {}) + log();
    }
    stop();
    return false;
}

void DovecotServer::stop() { process_.stop(10000); }

bool DovecotServer::running() { return process_.running(); }

}  // namespace harness
