#include "TlsFaultServer.h"

#include <filesystem>
#include <fstream>

#include "platform/PortProbe.h"
#include "tests/harness/FileText.h"

namespace fs = std::filesystem;

namespace harness {

TlsFaultServer::TlsFaultServer(Mode mode, std::string address, uint16_t port, std::string certPath,
                               std::string keyPath)
    : mode_(mode), address_(std::move(address)), port_(port), cert_(std::move(certPath)), key_(std::move(keyPath)),
      dir_("ringpost-tlsfault") {}

TlsFaultServer::~TlsFaultServer() {
    if (process_.started()) process_.stop(5000);
}

bool TlsFaultServer::start(std::string* error) {
    const char* mode = mode_ == Mode::Pop3Drop ? "pop3-drop" : mode_ == Mode::Pop3Inject ? "pop3-inject" : "smtp-slow";
    const std::vector<std::string> argv{"/usr/bin/python3", std::string(RINGPOST_HARNESS_DIR) + "tls_fault_server.py",
                                        "--mode", mode, "--address", address_, "--port", std::to_string(port_),
                                        "--dir", dir_.path(), "--cert", cert_, "--key", key_};
    if (!process_.start(argv, dir_.file("server.log"), error)) return false;
    if (platform::waitForListener(address_, port_, 15000, [this] { return process_.running(); })) return true;
    if (error) *error = "the TLS fault server did not start: " + fileText(dir_.file("server.log"));
    return false;
}

std::string TlsFaultServer::commands() const { return fileText(dir_.file("commands.log")); }

std::string TlsFaultServer::data() const { return fileText(dir_.file("data.eml")); }

}  // namespace harness
