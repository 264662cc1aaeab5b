#include "ListHome.h"

#include <csignal>
#include <filesystem>

#include "EngineProcess.h"

namespace harness {

void copyEngine(const std::string& dir, const std::vector<std::string>& more) {
    std::vector<std::string> files{"RingpostSvc", "libKOVAPOP3.so", "libKOVASMTP.so"};
    files.insert(files.end(), more.begin(), more.end());
    for (const auto& f : files) std::filesystem::copy_file(std::string(RINGPOST_HOME_DIR) + f, dir + "/" + f);
}

std::string runOnePass(const std::string& homeDir, const std::string& systemDir, std::string& failure) {
    failure.clear();
    EngineProcess engine;
    if (!engine.start(homeDir + "/RingpostSvc", {"-start", "100"}, {"RINGPOST_SYSTEM_DIR=" + systemDir})) {
        failure = "the engine did not start";
        return {};
    }
    if (!engine.waitFor("Update Complete\n", 1, 60000)) failure = "no pass completed";
    engine.signal(SIGINT);
    if (const int code = engine.waitExit(); code != 0 && failure.empty())
        failure = "the engine ended with " + std::to_string(code);
    if (!failure.empty()) failure += ":\n" + engine.output();
    return engine.output();
}

bool ListHome::start(const std::string& address, const std::string& general, const std::string& smtp,
                     const std::string& members, std::string* error) {
    dovecot = std::make_unique<DovecotServer>(address);
    dovecot->addUser("list", "secret");
    if (!dovecot->start(error)) return false;
    sink = std::make_unique<SmtpSink>(SmtpSink::Kind::Python, address);
    if (!sink->start(error)) return false;
    home.mkdir("club");
    home.write("club/Settings.INI", "[General]\r\nName=Club\r\n" + general + "[POP3]\r\nServer=" + address +
                                        "\r\nUsername=list\r\nPassword=secret\r\n[SMTP]\r\nServer=" + address +
                                        "\r\nFrom=list@example.org\r\nReplyTo=list@example.org\r\n" + smtp +
                                        "[Messages]\r\nKeep=5\r\n");
    home.write("club/Members.TXT", members);
    return true;
}

}  // namespace harness
