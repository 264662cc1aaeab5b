// Lists whose provider takes no passwords, against real parts on loopback:
// a standards-conformant authorization server (code flow with PKCE, refresh
// tokens rotated at every use, introspection, revocation), Dovecot checking
// tokens by introspection and Postfix submission through Dovecot's SASL.
// Each test starts its own stack on its own address in 127.0.26.x.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "KOVAPOP3.h"
#include "KOVASMTP.h"
#include "engine/ListSignIn.h"
#include "engine/MailList.h"
#include "engine/UpdateList.h"
#include "oauth/HttpsClient.h"
#include "oauth/SignInFlows.h"
#include "oauth/TokenFile.h"
#include "platform/ChildProcess.h"
#include "platform/EventLog.h"
#include "tests/TempDir.h"
#include "tests/harness/EngineProcess.h"
#include "tests/harness/FileText.h"
#include "tests/harness/ListHome.h"
#include "tests/harness/MailSystem.h"
#include "tests/harness/ScriptedPop3Server.h"
#include "transport/ResultCodes.h"

namespace fs = std::filesystem;

namespace {

class OAuthProvider : public testing::Test {
protected:
    void start(const std::string& address) {
        address_ = address;
        ::setenv("RINGPOST_SYSTEM_DIR", system_.path().c_str(), 1);
        std::string error;
        ASSERT_TRUE(mail_.start(address, {"list", "ann", "bob"}, &error, true)) << error;
        settings_.clientId = "ringpost";
        settings_.scope = "mail offline_access";
        settings_.authorizeUrl = mail_.issuer() + "/auth";
        settings_.tokenUrl = mail_.issuer() + "/token";
        settings_.caFile = mail_.caFile();
    }
    void TearDown() override {
        KOVAPOP3_SetSecurity(KOVA_SECURITY_NONE, nullptr, KOVA_ALLOW_PLAIN_AUTH);
        KOVASMTP_SetSecurity(KOVA_SECURITY_NONE, nullptr, nullptr, nullptr, 0);
    }

    // The code flow as the console runs it, the browser played by a script.
    oauth::TokenAnswer signIn(const std::string& listDir, const std::string& account) {
        oauth::LoopbackRedirect redirect;
        EXPECT_TRUE(redirect.listen());
        const auto request = oauth::makeAuthorizationRequest(settings_, redirect.redirectUri(), account);
        platform::ChildProcess browser;
        EXPECT_TRUE(browser.start(
            {std::string(RINGPOST_SOURCE_DIR) + "tests/harness/oauth/browser.py", request.url, mail_.caFile(), account},
            dir_.file("browser.log")));
        auto answer = oauth::finishCodeFlow(settings_, request, redirect, 30000, listDir, account);
        browser.waitExit(30000);
        return answer;
    }

    // Revokes the grant at the provider, as a user or an administrator does there.
    void revoke(const std::string& refreshToken) {
        oauth::HttpAnswer answer;
        ASSERT_EQ(
            oauth::postForm(mail_.issuer() + "/token/revocation",
                            {{"token", refreshToken}, {"token_type_hint", "refresh_token"}, {"client_id", "ringpost"}},
                            mail_.caFile(), answer),
            0);
        ASSERT_EQ(answer.status, 200) << answer.body;
    }
    // The provider drops one access token before its time; the grant stays.
    void dropAccessToken(const std::string& token) {
        oauth::HttpAnswer answer;
        ASSERT_EQ(
            oauth::postForm(mail_.issuer() + "/test/drop-access-token", {{"token", token}}, mail_.caFile(), answer), 0);
        ASSERT_NE(answer.body.find("true"), std::string::npos) << answer.body;
    }

    int tokenRequests(const char* outcome = "ok") const {
        return EngineProcess::countOf(mail_.providerLog(), std::string("grant refresh_token ") + outcome);
    }

    // A list signing in with OAuth on both sides, over TLS as providers demand.
    void makeList(MailList& list) {
        list.name = "Club";
        list.directory = dir_.path() + "/";
        list.pop3Server = address_;
        list.pop3Username = "list";
        list.pop3Security = KOVA_SECURITY_TLS;
        list.pop3CAFile = mail_.caFile();
        list.pop3OAuth = true;
        list.smtpServer = address_;
        list.smtpSecurity = KOVA_SECURITY_STARTTLS;
        list.smtpCAFile = mail_.caFile();
        list.smtpUsername = "list";
        list.smtpOAuth = true;
        list.fromAddress = list.replyToAddress = "list@example.org";
        list.adminSubmit = false;
        list.members.append("ann@example.org", true);
        list.members.append("bob@example.org", false);
        list.oauth = settings_;
    }

    std::string pass(MailList& list) {
        testing::internal::CaptureStdout();
        UpdateList(list);
        const std::string out = testing::internal::GetCapturedStdout();
        printed_ += out;
        return out;
    }

    std::string post(const std::string& subject) {
        EXPECT_TRUE(mail_.send("ann@example.org", "list@example.org", "SUBMIT " + subject, "Hello " + subject));
        return subject;
    }

    std::string refreshToken() const {
        oauth::TokenRecord r;
        oauth::readTokenFile(dir_.path() + "/", r);
        return r.refreshToken;
    }

    std::string address_;
    TempDir dir_{"ringpost-oauth-list"};
    TempDir system_{"ringpost-oauth-system"};
    harness::MailSystem mail_;
    oauth::Settings settings_;
    std::string printed_;  // every pass's output
};

}  // namespace

TEST_F(OAuthProvider, LibrariesSignInWithTheTokenOverTlsOnly) {
    start("127.0.26.101");
    ASSERT_EQ(signIn(dir_.path() + "/", "list").code, 0);
    oauth::AccessTokenCache cache;
    std::string token;
    ASSERT_EQ(cache.accessToken(settings_, dir_.path() + "/", false, token), 0);

    KOVAPOP3_SetSecurity(KOVA_SECURITY_TLS, mail_.caFile().c_str(), KOVA_BEARER_TOKEN);
    EXPECT_EQ(KOVAPOP3_Login(address_.c_str(), "list", token.c_str()), 0);
    EXPECT_EQ(KOVAPOP3_Logout(), 0);
    EXPECT_NE(mail_.dovecotLog().find("user=<list>, method=OAUTHBEARER"), std::string::npos) << mail_.dovecotLog();
    // The server refuses a token for another mailbox, and says so once.
    EXPECT_EQ(KOVAPOP3_Login(address_.c_str(), "ann", token.c_str()), ResultCode::AuthenticationRefused);
    KOVAPOP3_SetSecurity(KOVA_SECURITY_STARTTLS, mail_.caFile().c_str(), KOVA_BEARER_TOKEN);
    EXPECT_EQ(KOVAPOP3_Login(address_.c_str(), "list", token.c_str()), 0);
    EXPECT_EQ(KOVAPOP3_Logout(), 0);

    std::string transcript(1 << 16, '\0');
    const std::string body = "by token\r\n";
    KOVASMTP_SetSecurity(KOVA_SECURITY_STARTTLS, mail_.caFile().c_str(), "list", token.c_str(), KOVA_BEARER_TOKEN);
    EXPECT_EQ(KOVASMTP_SendEMail(address_.c_str(), "list@example.org", "ann@example.org", nullptr, "token", body.data(),
                                 static_cast<int32_t>(body.size()), nullptr, transcript.data(),
                                 static_cast<int32_t>(transcript.size())),
              0);
    EXPECT_NE(transcript.find("AUTH OAUTHBEARER ********"), std::string::npos) << transcript;
    EXPECT_EQ(transcript.find(token), std::string::npos);
    ASSERT_TRUE(mail_.waitFor("ann", 1));
    EXPECT_NE(mail_.messages("ann")[0].find("(Authenticated sender: list)"), std::string::npos);
    KOVASMTP_SetSecurity(KOVA_SECURITY_STARTTLS, mail_.caFile().c_str(), "ann", token.c_str(), KOVA_BEARER_TOKEN);
    EXPECT_EQ(KOVASMTP_SendEMail(address_.c_str(), "list@example.org", "ann@example.org", nullptr, "token", body.data(),
                                 static_cast<int32_t>(body.size()), nullptr, nullptr, 0),
              ResultCode::AuthenticationRefused);

    // In clear a token is refused before anything is sent, whatever plain text is allowed.
    const size_t logins = mail_.dovecotLog().size();
    KOVAPOP3_SetSecurity(KOVA_SECURITY_NONE, nullptr, KOVA_ALLOW_PLAIN_AUTH | KOVA_BEARER_TOKEN);
    EXPECT_EQ(KOVAPOP3_Login(address_.c_str(), "list", token.c_str()), ResultCode::PlainAuthRefused);
    KOVASMTP_SetSecurity(KOVA_SECURITY_NONE, nullptr, "list", token.c_str(), KOVA_ALLOW_PLAIN_AUTH | KOVA_BEARER_TOKEN);
    EXPECT_EQ(KOVASMTP_SendEMail(address_.c_str(), "list@example.org", "ann@example.org", nullptr, "token", body.data(),
                                 static_cast<int32_t>(body.size()), nullptr, nullptr, 0),
              ResultCode::PlainAuthRefused);
    EXPECT_EQ(mail_.dovecotLog().size(), logins);
}

// A list's pass: one token for both sides, its rotated refresh token stored,
// a token the server refuses renewed once, a cached token reused, an expired
// one refreshed; no token in any output or file but OAuth2.TOK.
TEST_F(OAuthProvider, ListSignsInFetchesAndDistributes) {
    start("127.0.26.102");
    ASSERT_EQ(signIn(dir_.path() + "/", "list").code, 0);
    const std::string signedIn = refreshToken();
    MailList list;
    makeList(list);
    auto now = oauth::AccessTokenCache::Clock::now();
    list.tokens = std::make_shared<oauth::AccessTokenCache>([&now] { return now; });

    post("one");
    ASSERT_TRUE(mail_.waitFor("list", 1));
    std::string out = pass(list);
    EXPECT_NE(
        out.find("  Getting an access token...Success\n  Connecting to: " + address_ + "  Username: list...Success"),
        std::string::npos)
        << out;
    ASSERT_TRUE(mail_.waitFor("bob", 1)) << out;
    EXPECT_EQ(tokenRequests(), 1);
    const std::string rotated = refreshToken();
    EXPECT_NE(rotated, signedIn);  // stored before the access token was used
    const std::string firstAccess = list.accessToken;

    // The cached token serves the next pass; a revoked one is replaced once.
    out = pass(list);
    EXPECT_EQ(tokenRequests(), 1) << out;
    dropAccessToken(list.accessToken);
    post("two");
    ASSERT_TRUE(mail_.waitFor("list", 1));
    out = pass(list);
    ASSERT_TRUE(mail_.waitFor("bob", 2)) << out;
    EXPECT_EQ(tokenRequests(), 2);
    EXPECT_EQ(out.find("FAILURE"), std::string::npos) << out;

    // Past its lifetime the token is refreshed before use.
    now += std::chrono::hours(2);
    pass(list);
    EXPECT_EQ(tokenRequests(), 3);

    // Asked to go in clear, the side refuses before anything is sent, and no token is fetched for it.
    list.pop3Security = list::kSecurityUnset;
    list.smtpOAuth = false;
    now += std::chrono::hours(2);
    out = pass(list);
    EXPECT_NE(out.find("Username: list...FAILURE -45\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("access token"), std::string::npos) << out;
    EXPECT_EQ(tokenRequests(), 3);

    for (const std::string& secret : {signedIn, rotated, refreshToken(), firstAccess, list.accessToken}) {
        if (secret.empty()) continue;
        EXPECT_EQ(printed_.find(secret), std::string::npos);
        EXPECT_EQ(harness::fileText(platform::eventLogPath()).find(secret), std::string::npos);
        for (const auto& e : fs::recursive_directory_iterator(dir_.path()))
            if (e.is_regular_file() && e.path().filename() != "OAuth2.TOK") {
                EXPECT_EQ(harness::fileText(e.path().string()).find(secret), std::string::npos) << e.path();
            }
    }
}

// A grant the provider no longer honours makes the list wait with -48 after
// one token request and an event log entry; an endpoint that is down or
// answers junk gives -49, and the first pass after it is back signs in.
TEST_F(OAuthProvider, RevokedOrUnreachableMakesTheMailWait) {
    start("127.0.26.103");
    ASSERT_EQ(signIn(dir_.path() + "/", "list").code, 0);
    MailList list;
    makeList(list);
    post("waits");
    ASSERT_TRUE(mail_.waitFor("list", 1));

    for (const std::string& url : {"https://" + address_ + ":1/token", "https://" + address_ + ":995/token"}) {
        list.oauth.tokenUrl = url;
        const std::string out = pass(list);
        EXPECT_NE(out.find("Getting an access token...FAILURE -49\n  Connecting to: " + address_ +
                           "  Username: list...FAILURE -49\n"),
                  std::string::npos)
            << out;
        EXPECT_EQ(mail_.messages("list").size(), 1u);
    }
    list.oauth.tokenUrl = settings_.tokenUrl;
    std::string out = pass(list);
    ASSERT_TRUE(mail_.waitFor("bob", 1)) << out;
    EXPECT_EQ(harness::fileText(platform::eventLogPath()), "");

    revoke(refreshToken());
    list.tokens->clear();
    post("after revoking");
    ASSERT_TRUE(mail_.waitFor("list", 1));
    out = pass(list);
    EXPECT_NE(out.find("Getting an access token...FAILURE -48\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Username: list...FAILURE -48\n"), std::string::npos) << out;
    EXPECT_EQ(tokenRequests("invalid_grant"), 1);
    EXPECT_EQ(mail_.messages("list").size(), 1u);
    const std::string events = harness::fileText(platform::eventLogPath());
    EXPECT_NE(events.find("The list Club cannot sign in"), std::string::npos) << events;
    EXPECT_NE(events.find("sign in again in the console"), std::string::npos) << events;
    // The next pass asks once more, but tells the event log only once.
    out = pass(list);
    EXPECT_EQ(tokenRequests("invalid_grant"), 2);
    EXPECT_EQ(harness::fileText(platform::eventLogPath()), events);
}

// The engine killed right after the provider rotated the refresh token and
// before the access token was used: the new refresh token is on disk.
TEST_F(OAuthProvider, KilledRightAfterTheTokenAnswerLosesNothing) {
    start("127.0.26.104");
    TempDir home("ringpost-oauth-home");
    harness::copyEngine(home.path());
    const std::string listDir = home.path() + "/club/";
    fs::create_directories(listDir);
    ASSERT_EQ(signIn(listDir, "list").code, 0);
    oauth::TokenRecord before;
    ASSERT_TRUE(oauth::readTokenFile(listDir, before));

    // A mailbox that takes the connection and never speaks holds the engine
    // between getting the token and using it.
    harness::ScriptedPop3Server silent("127.0.27.10");
    silent.acceptWithin(60000);
    std::string error;
    ASSERT_TRUE(silent.start(&error)) << error;
    std::ofstream(listDir + "Settings.INI")
        << "[General]\r\nName=Club\r\n[POP3]\r\nServer=" << silent.server()
        << "\r\nUsername=list\r\nSecurity=TLS\r\nAuth=OAuth2\r\n[SMTP]\r\nServer=" << address_
        << "\r\nFrom=list@example.org\r\n[OAuth2]\r\nProvider=Custom\r\nClientId=ringpost\r\nScope=mail "
           "offline_access\r\n"
        << "TokenURL=" << settings_.tokenUrl << "\r\nCAFile=" << mail_.caFile() << "\r\n";
    std::ofstream(listDir + "Members.TXT") << "_!_ann@example.org\r\n";
    EngineProcess engine;
    ASSERT_TRUE(
        engine.start(home.path() + "/RingpostSvc", {"-start", "100"}, {"RINGPOST_SYSTEM_DIR=" + system_.path()}));
    ASSERT_TRUE(engine.waitFor("Getting an access token...Success\n", 1, 60000)) << engine.output();
    engine.signal(SIGKILL);
    engine.waitExit();

    oauth::TokenRecord after;
    ASSERT_TRUE(oauth::readTokenFile(listDir, after));
    EXPECT_NE(after.refreshToken, before.refreshToken);
    EXPECT_EQ(after.account, "list");  // what the engine does not change stays
    // The rotated token works; the one it replaced no longer does.
    EXPECT_EQ(oauth::refreshGrant(settings_, after.refreshToken).code, 0);
    EXPECT_EQ(oauth::refreshGrant(settings_, before.refreshToken).code, ResultCode::OAuthSignInAgain);
}
