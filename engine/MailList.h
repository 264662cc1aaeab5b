// One list: its settings as loaded from Settings.INI, its members and its
// directory (always ending in '/').
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "list/ListSettings.h"
#include "list/MemberStore.h"
#include "oauth/AccessTokenCache.h"
#include "oauth/OAuthSettings.h"
#include "platform/FileSystem.h"

struct MailList {
    std::string name = "New List";
    std::string subscribeCommand = "SUBSCRIBE";
    std::string unsubscribeCommand = "UNSUBSCRIBE";
    std::string submitCommand = "SUBMIT";
    bool adminSubscribe = true;
    bool adminUnsubscribe = false;
    bool adminSubmit = true;
    std::string pop3Server = list::kPlaceholderHost;
    std::string pop3Username = "ringpost";
    std::string pop3Password = "vemdarol";
    std::string smtpServer = list::kPlaceholderHost;
    std::string fromAddress = list::kPlaceholderListAddress;
    std::string replyToAddress = list::kPlaceholderListAddress;
    std::string prependFile = "Prepend.txt";
    std::string postpendFile = "Postpend.txt";
    std::string welcomeFile = "Welcome.txt";
    bool stripAttachments = true;
    bool stripHTML = true;
    int32_t keep = 0;
    // Connection security, all optional in Settings.INI. Security values:
    // -1 absent (the plain dialogue, no TLS), 0 None, 1 TLS, 2 STARTTLS, 99
    // a value the engine does not know (list/ListSettings.h).
    int32_t pop3Security = -1;
    std::string pop3CAFile;
    bool pop3AllowPlainAuth = false;
    int32_t smtpSecurity = -1;
    std::string smtpCAFile;
    std::string smtpUsername;
    std::string smtpPassword;
    bool smtpAllowPlainAuth = false;
    // OAuth 2.0 ([POP3]/[SMTP] Auth=OAuth2): the sides that sign in with an
    // access token in place of their password, the [OAuth2] settings, and
    // the token shared by both sides (OAuth2.TOK holds the refresh token).
    bool pop3OAuth = false;
    bool smtpOAuth = false;
    oauth::Settings oauth;
    std::shared_ptr<oauth::AccessTokenCache> tokens = std::make_shared<oauth::AccessTokenCache>();
    std::string accessToken;      // for this pass; never printed or stored
    int32_t signInFailure = 0;    // why this pass has no token (-48, -49, ...); 0 otherwise
    bool tokenRenewed = false;    // a refused token was replaced once this pass
    bool signInReported = false;  // the event log was told the list must be signed in again
    // Permanent delivery reports that remove a member (0: none ever does),
    // and the days without a report after which a member's count starts over.
    int32_t bounceLimit = 0;
    int32_t bounceDays = 14;
    // Recipients the list may hand its SMTP account a minute, an hour, a day
    // (0: no limit), counted with every list sharing the account.
    int32_t maxPerMinute = 0;
    int32_t maxPerHour = 0;
    int32_t maxPerDay = 0;
    // What makes mail from an administrator's address that administrator's
    // (engine/AdminProof.h); both empty: the From header alone.
    std::string trustAuthServId;
    std::string adminPassword;
    // A message waits in the spool for the next pass (a delivery report or
    // an administrator's command whose record could not be written), so
    // that pass processes the spool even when it fetches nothing.
    bool mailWaiting = false;
    MemberStore members;
    platform::FileIdentity membersOnDisk;  // Members.TXT as `members` last matched it
    uint32_t memberFileError = 0;          // why Members.TXT could not be read; 0 while `members` holds it
    std::string directory;
};

inline constexpr int64_t kSecondsPerDay = 86400;

// Keep, as the days a post is tried and a record remembers: at least one.
inline int32_t KeepDays(const MailList& list) { return std::max<int32_t>(list.keep, 1); }
