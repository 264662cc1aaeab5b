#include "ListLoading.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "ActiveLists.h"
#include "ListSecurity.h"
#include "Spool.h"
#include "list/ListDirectory.h"
#include "list/ListSettings.h"
#include "list/MemberFile.h"
#include "platform/ErrorText.h"
#include "platform/FileSystem.h"
#include "platform/HomeDirectory.h"
#include "text/TextRules.h"

namespace {

// A Settings.INI or Members.TXT behind a link or in a special file is no
// list's own: such a directory is no list (it would run with another list's
// servers, passwords or members, or with none), and is said to be left alone.
void reportOddListFiles(const std::string& directory) {
    const platform::Directory dir = platform::Directory::open(directory);
    if (!dir) return;
    using platform::EntryType;
    const std::string names[] = {dir.findName(list::kSettingsFile), dir.findName(list::kMemberFile)};
    const EntryType types[] = {dir.type(names[0]), dir.type(names[1])};
    if (types[0] == EntryType::Missing || types[1] == EntryType::Missing) return;
    for (int i = 0; i < 2; ++i)
        if (types[i] == EntryType::Link || types[i] == EntryType::Other) ReportLeftAlone(dir.pathOf(names[i]));
}

}  // namespace

std::unique_ptr<MailList> LoadList(const std::string& directory) {
    auto list = std::make_unique<MailList>();
    list->directory = directory;
    if (list->directory.empty() || list->directory.back() != '/') list->directory += '/';
    const std::string& dir = list->directory;
    if (!list::isListDirectory(dir)) return list;

    std::printf("Reading settings...\n");
    const std::string ini = platform::resolveName(dir, list::kSettingsFile);
    using list::Setting;
    const auto read = [&](Setting setting) { return list::readSetting(ini, setting, list::Reader::Engine); };
    const auto command = [&](Setting setting) { return text::trim(text::toUpper(read(setting))); };
    const auto flag = [&](Setting setting) { return list::parseFlag(read(setting)); };
    list->name = text::trim(read(Setting::Name));
    list->subscribeCommand = command(Setting::Subscribe);
    list->unsubscribeCommand = command(Setting::Unsubscribe);
    list->submitCommand = command(Setting::Submit);
    list->adminSubscribe = flag(Setting::AdminSubscribe);
    list->adminUnsubscribe = flag(Setting::AdminUnsubscribe);
    list->adminSubmit = flag(Setting::AdminSubmit);
    list->pop3Server = text::trim(read(Setting::Pop3Server));
    list->pop3Username = text::trim(read(Setting::Pop3Username));
    list->pop3Password = text::trim(read(Setting::Pop3Password));
    list->smtpServer = text::trim(read(Setting::SmtpServer));
    list->fromAddress = text::trim(read(Setting::From));
    list->replyToAddress = text::trim(read(Setting::ReplyTo));
    list->prependFile = text::trim(dir + read(Setting::Prepend));
    list->postpendFile = text::trim(dir + read(Setting::Postpend));
    list->welcomeFile = text::trim(dir + read(Setting::Welcome));
    list->stripAttachments = flag(Setting::StripAttachments);
    list->stripHTML = flag(Setting::StripHTML);
    list->keep = text::atol32(read(Setting::Keep));
    list->bounceLimit = std::max(0, text::atol32(read(Setting::BounceLimit)));
    // Counts that start over at every report would never reach the limit.
    if (const int32_t days = text::atol32(read(Setting::BounceDays)); days > 0) list->bounceDays = days;
    ReadListSecurity(*list, ini);

    std::printf("Reading members...\n");
    if (!list::readMemberFile(platform::resolveName(dir, list::kMemberFile), list->members, &list->membersOnDisk)) {
        // Kept apart from an empty list: the engine waits rather than act on it.
        const uint32_t code = platform::lastErrorCode();
        list->memberFileError = code != 0 ? code : EIO;
        std::printf("Unable to read the member file: %s\n", platform::systemErrorText(list->memberFileError).c_str());
    }
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
        if (!list::isListDirectory(directory)) {
            reportOddListFiles(directory);
            continue;
        }
        std::printf("Adding %s List...\n", entry.name.c_str());
        lists.append(LoadList(directory));
    }
    return lists.count() > 0;
}

bool DiscoverLists() { return DiscoverLists(platform::homeDirectory()); }
