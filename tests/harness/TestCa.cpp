#include "TestCa.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/wait.h>

#include "platform/ChildProcess.h"

namespace fs = std::filesystem;

namespace harness {

TestCa::TestCa() : dir_("ringpost-ca") {
    // Servers that drop privileges (Dovecot's login processes) read the files below.
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    run({"ca", dir_.path(), "ca"});
    run({"ca", dir_.path(), "unknown"});
}

void TestCa::run(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{std::string(RINGPOST_HARNESS_DIR) + "../../scripts/make-certs"};
    argv.insert(argv.end(), args.begin(), args.end());
    platform::ChildProcess p;
    std::string error;
    if (!p.start(argv, dir_.file("run.log"), &error)) throw std::runtime_error("make-certs: " + error);
    if (!p.waitExit(60000) || !WIFEXITED(p.exitStatus()) || WEXITSTATUS(p.exitStatus()) != 0) {
        std::ifstream log(dir_.file("run.log"));
        throw std::runtime_error("make-certs failed: " + std::string(std::istreambuf_iterator<char>(log), {}));
    }
}

ServerCertificate TestCa::issue(const std::string& name, const std::string& san, Issuer issuer,
                                bool expired) const {
    std::vector<std::string> args{"issue", dir_.path(), issuer == Issuer::Trusted ? "ca" : "unknown", name,
                                  san.empty() ? "-" : san};
    if (expired) args.push_back("old");
    run(args);
    return {dir_.file(name + ".pem"), dir_.file(name + ".key")};
}

}  // namespace harness
