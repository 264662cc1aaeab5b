#include "MailSystem.h"

#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "platform/ChildProcess.h"
#include "tests/harness/FileText.h"

namespace fs = std::filesystem;

namespace harness {

MailSystem::MailSystem() : dir_("ringpost-mail") {
    // Postfix and Dovecot drop privileges and must reach their files below.
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
}

MailSystem::~MailSystem() {
    stop();
}

bool MailSystem::script(const std::vector<std::string>& args, std::string* output) const {
    std::vector<std::string> argv{std::string(RINGPOST_HARNESS_DIR) + "../../scripts/mail-system"};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string log = dir_.file("script.log");
    std::error_code ec;
    fs::remove(log, ec);
    platform::ChildProcess p;
    if (!p.start(argv, log, output)) return false;
    const bool ok = p.waitExit(90000) && WIFEXITED(p.exitStatus()) && WEXITSTATUS(p.exitStatus()) == 0;
    if (!ok && output) *output = fileText(log);
    return ok;
}

bool MailSystem::start(const std::string& address, const std::vector<std::string>& users, std::string* error,
                       bool oauth) {
    address_ = address;
    std::vector<std::string> args{"start", oauth ? "--oauth" : "--tls", dir_.file("system"), address};
    args.insert(args.end(), users.begin(), users.end());
    started_ = true;
    return script(args, error);
}

void MailSystem::stop() {
    if (!started_) return;
    started_ = false;
    script({"stop", dir_.file("system")}, nullptr);
}

bool MailSystem::waitFor(const std::string& user, int count) const {
    return script({"wait", dir_.file("system"), user, std::to_string(count), "30"}, nullptr);
}

std::vector<std::string> MailSystem::messages(const std::string& user) const {
    std::vector<std::string> out;
    for (const char* sub : {"/new", "/cur"}) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir_.file("system/mail/") + user + sub, ec))
            out.push_back(fileText(e.path().string()));
    }
    return out;
}

std::string MailSystem::postfixLog() const { return fileText(dir_.file("system/postfix/postfix.log")); }

std::string MailSystem::dovecotLog() const { return fileText(dir_.file("system/dovecot/dovecot.log")); }

std::string MailSystem::providerLog() const { return fileText(dir_.file("system/oauth/provider.log")); }

bool MailSystem::send(const std::string& from, const std::string& to, const std::string& subject,
                      const std::string& body) {
    return script({"send", dir_.file("system"), from, to, subject, body}, nullptr);
}

}  // namespace harness
