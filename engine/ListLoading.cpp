#include "ListLoading.h"

#include <cstdio>

#include "ActiveLists.h"
#include "ListSecurity.h"
#include "MemberFile.h"
#include "platform/FileSystem.h"
#include "platform/HomeDirectory.h"
#include "platform/ProfileFile.h"
#include "text/TextRules.h"

namespace {
constexpr size_t kValueBuffer = 2048;

bool isListDirectory(const std::string& directory) {
    return platform::fileExists(platform::resolveName(directory, "Settings.INI")) &&
           platform::fileExists(platform::resolveName(directory, "Members.TXT"));
}
}  // namespace

bool ParseFlag(const std::string& value) { return value.empty() || value[0] != '0'; }

std::unique_ptr<MailList> LoadList(const std::string& directory) {
    auto list = std::make_unique<MailList>();
    list->directory = directory;
    if (list->directory.empty() || list->directory.back() != '/') list->directory += '/';
    const std::string& dir = list->directory;
    if (!isListDirectory(dir)) return list;

    std::printf("Reading settings...\n");
    const std::string ini = platform::resolveName(dir, "Settings.INI");
    auto read = [&](const char* section, const char* key, const char* def) {
        return platform::getPrivateProfileString(section, key, def, kValueBuffer, ini);
    };
    list->name = text::trim(read("General", "Name", "New List"));
    list->subscribeCommand = text::trim(text::toUpper(read("General", "Subscribe", "SUBSCRIBE")));
    list->unsubscribeCommand = text::trim(text::toUpper(read("General", "Unsubscribe", "UNSUBSCRIBE")));
    list->submitCommand = text::trim(text::toUpper(read("General", "Submit", "SUBMIT")));
    list->adminSubscribe = ParseFlag(read("General", "AdminSubscribe", "1"));
    list->adminUnsubscribe = ParseFlag(read("General", "AdminUnsubscribe", "0"));
    list->adminSubmit = ParseFlag(read("General", "AdminSubmit", "0"));
    list->pop3Server = text::trim(read("POP3", "Server", kPlaceholderHost));
    list->pop3Username = text::trim(read("POP3", "Username", "ringpost"));
    list->pop3Password = text::trim(read("POP3", "Password", "vemdarol"));
    list->smtpServer = text::trim(read("SMTP", "Server", kPlaceholderHost));
    list->fromAddress = text::trim(read("SMTP", "From", kPlaceholderListAddress));
    list->replyToAddress = text::trim(read("SMTP", "ReplyTo", kPlaceholderListAddress));
    list->prependFile = text::trim(dir + read("Messages", "Prepend", "prepend.txt"));
    list->postpendFile = text::trim(dir + read("Messages", "Postpend", "postpend.txt"));
    list->welcomeFile = text::trim(dir + read("Messages", "Welcome", "welcome.txt"));
    list->stripAttachments = ParseFlag(read("SMTP", "StripAttachments", "1"));
    list->stripHTML = ParseFlag(read("SMTP", "StripHTML", "1"));
    list->keep = text::atol32(read("Messages", "Keep", "5"));
    ReadListSecurity(*list, ini);

    std::printf("Reading members...\n");
    ReadMemberFile(platform::resolveName(dir, "Members.TXT"), list->members, &list->membersOnDisk);
    if (list->members.count() == 1)
        std::printf("Added 1 member.\n");
    else
        std::printf("Added %ld members.\n", static_cast<long>(list->members.count()));
    return list;
}

bool DiscoverLists(const std::string& homeDirectory) {
    if (homeDirectory.empty()) return false;
    std::string home = homeDirectory;
    if (home.back() != '/') home += '/';
    std::printf("Searching for lists...\n");
    const auto entries = platform::findFiles(home, "*.*");
    if (entries.empty()) return false;
    ActiveLists& lists = ActiveLists::instance();
    for (const auto& entry : entries) {
        if (!entry.isDirectory) continue;
        const std::string directory = home + entry.name + "/";
        if (!isListDirectory(directory)) continue;
        std::printf("Adding %s List...\n", entry.name.c_str());
        lists.append(LoadList(directory));
    }
    return lists.count() > 0;
}

bool DiscoverLists() { return DiscoverLists(platform::homeDirectory()); }
