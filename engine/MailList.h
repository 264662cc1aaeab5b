// One list: its settings as loaded from Settings.INI, its members and its
// directory (always ending in '/').
#pragma once

#include <cstdint>
#include <string>

#include "MemberStore.h"
#include "platform/FileSystem.h"

inline constexpr char kPlaceholderHost[] = "mail.example.com";
inline constexpr char kPlaceholderListAddress[] = "list@example.com";

struct MailList {
    std::string name = "New List";
    std::string subscribeCommand = "SUBSCRIBE";
    std::string unsubscribeCommand = "UNSUBSCRIBE";
    std::string submitCommand = "SUBMIT";
    bool adminSubscribe = true;
    bool adminUnsubscribe = false;
    bool adminSubmit = true;
    std::string pop3Server = kPlaceholderHost;
    std::string pop3Username = "ringpost";
    std::string pop3Password = "vemdarol";
    std::string smtpServer = kPlaceholderHost;
    std::string fromAddress = kPlaceholderListAddress;
    std::string replyToAddress = kPlaceholderListAddress;
    std::string prependFile = "Prepend.txt";
    std::string postpendFile = "Postpend.txt";
    std::string welcomeFile = "Welcome.txt";
    bool stripAttachments = true;
    bool stripHTML = true;
    int32_t keep = 0;
    MemberStore members;
    platform::FileIdentity membersOnDisk;  // Members.TXT as `members` last matched it
    std::string directory;
};
