#include "MailLibraries.h"

#include "platform/FileSystem.h"
#include "platform/SharedLibrary.h"

#include <map>
#include <memory>

namespace {

// One handle per file for the whole process: unloading a library whose
// session may still be open would pull the code from under it.
platform::SharedLibrary* load(const std::string& homeDir, const std::string& file, std::string& error) {
    static std::map<std::string, std::unique_ptr<platform::SharedLibrary>> loaded;
    const std::string besideUs = platform::joinPath(homeDir, file);
    const auto open = [&](const std::string& path, std::string* why) -> platform::SharedLibrary* {
        if (auto it = loaded.find(path); it != loaded.end()) return it->second.get();
        auto lib = std::make_unique<platform::SharedLibrary>();
        if (!lib->open(path, why)) return nullptr;
        return loaded.emplace(path, std::move(lib)).first->second.get();
    };
    std::string ignored;
    if (platform::SharedLibrary* lib = open(besideUs, &ignored)) return lib;
    if (platform::SharedLibrary* lib = open(file, &error)) return lib;
    error = "The mail library " + file + " could not be loaded: " + error;
    return nullptr;
}

template <typename F>
bool bind(const platform::SharedLibrary& lib, const char* name, F& target, const std::string& file,
          std::string& error) {
    target = reinterpret_cast<F>(lib.symbol(name));
    if (!target) error = "The mail library " + file + " has no export " + name + ".";
    return target != nullptr;
}

}  // namespace

MailLibraries::MailLibraries(std::string homeDir, std::string pop3File, std::string smtpFile)
    : homeDir_(std::move(homeDir)), pop3File_(std::move(pop3File)), smtpFile_(std::move(smtpFile)) {}

const Pop3Exports* MailLibraries::pop3(std::string& error) {
    if (pop3_.Login) return &pop3_;
    platform::SharedLibrary* lib = load(homeDir_, pop3File_, error);
    if (!lib) return nullptr;
    Pop3Exports e;
    if (!bind(*lib, "KOVAPOP3_Login", e.Login, pop3File_, error) ||
        !bind(*lib, "KOVAPOP3_GetMessageIDs", e.GetMessageIDs, pop3File_, error) ||
        !bind(*lib, "KOVAPOP3_Logout", e.Logout, pop3File_, error))
        return nullptr;
    e.SetSecurity = reinterpret_cast<decltype(e.SetSecurity)>(lib->symbol("KOVAPOP3_SetSecurity"));
    e.Cancel = reinterpret_cast<decltype(e.Cancel)>(lib->symbol("KOVAPOP3_Cancel"));
    pop3_ = e;
    return &pop3_;
}

const SmtpExports* MailLibraries::smtp(std::string& error) {
    if (smtp_.SendEMail) return &smtp_;
    platform::SharedLibrary* lib = load(homeDir_, smtpFile_, error);
    if (!lib) return nullptr;
    SmtpExports e;
    if (!bind(*lib, "KOVASMTP_SendEMail", e.SendEMail, smtpFile_, error)) return nullptr;
    e.SetSecurity = reinterpret_cast<decltype(e.SetSecurity)>(lib->symbol("KOVASMTP_SetSecurity"));
    e.Cancel = reinterpret_cast<decltype(e.Cancel)>(lib->symbol("KOVASMTP_Cancel"));
    smtp_ = e;
    return &smtp_;
}
