// The OAuth module's rules that need no provider: presets, the token file,
// judging the token endpoint's answers, PKCE and the loopback redirect.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "oauth/HttpsClient.h"
#include "oauth/OAuthSettings.h"
#include "oauth/SignInRequest.h"
#include "oauth/TokenEndpoint.h"
#include "oauth/TokenFile.h"
#include "tests/TempDir.h"
#include "transport/KOVAMail.h"

namespace {

oauth::Settings preset(oauth::Provider p, std::string tenant = {}) {
    oauth::Settings s;
    s.provider = p;
    s.tenant = std::move(tenant);
    return oauth::withPreset(s);
}

}  // namespace

TEST(OAuthRules, PresetsGiveTheDocumentedEndpointsAndScopes) {
    const auto ms = preset(oauth::Provider::Microsoft);
    EXPECT_EQ(ms.authorizeUrl, "https://login.microsoftonline.com/common/oauth2/v2.0/authorize");
    EXPECT_EQ(ms.tokenUrl, "https://login.microsoftonline.com/common/oauth2/v2.0/token");
    EXPECT_EQ(ms.deviceUrl, "https://login.microsoftonline.com/common/oauth2/v2.0/devicecode");
    EXPECT_EQ(ms.scope,
              "https://outlook.office.com/POP.AccessAsUser.All https://outlook.office.com/SMTP.Send offline_access");
    EXPECT_EQ(preset(oauth::Provider::Microsoft, "contoso.onmicrosoft.com").tokenUrl,
              "https://login.microsoftonline.com/contoso.onmicrosoft.com/oauth2/v2.0/token");

    const auto google = preset(oauth::Provider::Google);
    EXPECT_EQ(google.authorizeUrl, "https://accounts.google.com/o/oauth2/v2/auth");
    EXPECT_EQ(google.tokenUrl, "https://oauth2.googleapis.com/token");
    EXPECT_EQ(google.deviceUrl, "");  // no device sign-in for the mail scope
    EXPECT_EQ(google.scope, "https://mail.google.com/");
    EXPECT_NE(google.authorizeExtra.find("access_type=offline"), std::string::npos);

    EXPECT_EQ(preset(oauth::Provider::Custom).tokenUrl, "");
    // What the administrator wrote wins over the preset.
    oauth::Settings own;
    own.provider = oauth::Provider::Microsoft;
    own.scope = "x";
    own.tokenUrl = "https://idp.test/token";
    EXPECT_EQ(oauth::withPreset(own).scope, "x");
    EXPECT_EQ(oauth::withPreset(own).tokenUrl, "https://idp.test/token");
    const std::pair<const char*, oauth::Provider> names[] = {
        {"microsoft", oauth::Provider::Microsoft},
        {" MICROSOFT ", oauth::Provider::Microsoft},
        {"Google", oauth::Provider::Google},
        {"custom", oauth::Provider::Custom},
        {"", oauth::Provider::Custom},
        {"Yahoo", oauth::Provider::Custom},
    };
    for (const auto& [name, provider] : names) EXPECT_EQ(oauth::parseProvider(name), provider) << name;
}

TEST(OAuthRules, TokenFileIsOwnerOnlyAndKeepsFieldsItDoesNotKnow) {
    TempDir dir;
    const std::string listDir = dir.path() + "/";
    oauth::TokenRecord r;
    EXPECT_FALSE(oauth::readTokenFile(listDir, r));
    dir.write("OAuth2.TOK", R"({"refresh_token":"old","tenant_hint":"kept","n":[1,2]})");
    ::chmod(dir.file("OAuth2.TOK").c_str(), 0600);
    ASSERT_TRUE(oauth::readTokenFile(listDir, r));
    EXPECT_EQ(r.refreshToken, "old");
    r.refreshToken = "new";
    r.account = "list@example.org";
    ASSERT_TRUE(oauth::writeTokenFile(listDir, r));
    const std::string text = dir.read("OAuth2.TOK");
    EXPECT_NE(text.find(R"("tenant_hint": "kept")"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("refresh_token": "new")"), std::string::npos) << text;
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("OAuth2.TOK").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_TRUE(oauth::readTokenFile(listDir, r));
    EXPECT_EQ(r.account, "list@example.org");
    // Junk or an object without a refresh token reads as no sign-in.
    for (const char* junk : {"not json", "[1]", R"({"refresh_token":7})"}) {
        dir.write("OAuth2.TOK", junk);
        EXPECT_FALSE(oauth::readTokenFile(listDir, r)) << junk;
    }
    EXPECT_TRUE(oauth::removeTokenFile(listDir));
    EXPECT_TRUE(oauth::removeTokenFile(listDir));

    // A list directory that cannot be written keeps its old token.
    TempDir gone;
    EXPECT_FALSE(oauth::writeTokenFile(gone.path() + "/missing/", r));
}

// In a list directory shared with its administrators' group the token file
// and its lock are the group's as well, or the engine could not read what a
// console signed in; a link or a FIFO in the file's place is neither followed
// nor opened, and a new sign-in replaces the link itself.
TEST(OAuthRules, TokenFileInASharedDirectoryWithLinksAndFifos) {
    TempDir dir;
    TempDir elsewhere;
    const std::string listDir = dir.path() + "/";
    ASSERT_EQ(::chmod(dir.path().c_str(), 02770), 0);
    oauth::TokenRecord r;
    r.refreshToken = "rt";
    ASSERT_TRUE(oauth::writeTokenFile(listDir, r));
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("OAuth2.TOK").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
    EXPECT_EQ(oauth::tokenFileMode(listDir), 0660u);

    const std::string victim = elsewhere.file("victim.json");
    elsewhere.write("victim.json", R"({"refresh_token":"not ours"})");
    ASSERT_TRUE(oauth::removeTokenFile(listDir));
    ASSERT_EQ(::symlink(victim.c_str(), dir.file("OAuth2.TOK").c_str()), 0);
    EXPECT_FALSE(oauth::readTokenFile(listDir, r));
    r.refreshToken = "fresh";
    ASSERT_TRUE(oauth::writeTokenFile(listDir, r));
    EXPECT_EQ(elsewhere.read("victim.json"), R"({"refresh_token":"not ours"})");
    ASSERT_EQ(::lstat(dir.file("OAuth2.TOK").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));

    ASSERT_TRUE(oauth::removeTokenFile(listDir));
    ASSERT_EQ(::mkfifo(dir.file("OAuth2.TOK").c_str(), 0660), 0);
    EXPECT_FALSE(oauth::readTokenFile(listDir, r));  // at once, not waiting for a writer
}

TEST(OAuthRules, TokenAnswersAreJudged) {
    struct Case {
        long status;
        const char* body;
        int32_t code;
        const char* error;
    };
    const Case cases[] = {
        {200, R"({"access_token":"a","refresh_token":"r","expires_in":3599})", KOVA_SUCCESS, ""},
        {200, R"({"access_token":"a","expires_in":"3599"})", KOVA_SUCCESS, ""},
        {400, R"({"error":"invalid_grant","error_description":"revoked"})", KOVA_OAUTH_SIGN_IN_AGAIN, "invalid_grant"},
        {401, R"({"error":"invalid_client"})", KOVA_OAUTH_SIGN_IN_AGAIN, "invalid_client"},
        {400, R"({"error":"authorization_pending"})", KOVA_OAUTH_SIGN_IN_AGAIN, "authorization_pending"},
        {503, R"({"error":"temporarily_unavailable"})", KOVA_OAUTH_ENDPOINT_FAILED, "temporarily_unavailable"},
        {200, R"({"token_type":"Bearer"})", KOVA_OAUTH_ENDPOINT_FAILED, ""},
        {200, "<html>sign in</html>", KOVA_OAUTH_ENDPOINT_FAILED, ""},
        {502, "", KOVA_OAUTH_ENDPOINT_FAILED, ""},
        {500, "{}", KOVA_OAUTH_ENDPOINT_FAILED, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        const oauth::TokenAnswer a = oauth::judgeTokenAnswer(c.status, c.body);
        EXPECT_EQ(a.code, c.code);
        EXPECT_EQ(a.error, c.error);
        if (c.code == KOVA_SUCCESS) {
            EXPECT_EQ(a.expiresIn, 3599);
        }
        // The reason shown to people never carries a token.
        EXPECT_EQ(a.why.find("\"a\""), std::string::npos);
    }
    // header.{"preferred_username":"list@example.org"}.signature
    EXPECT_EQ(oauth::accountFromIdToken("e30.eyJwcmVmZXJyZWRfdXNlcm5hbWUiOiJsaXN0QGV4YW1wbGUub3JnIn0.c2ln"),
              "list@example.org");
    EXPECT_EQ(oauth::accountFromIdToken("garbage"), "");
}

TEST(OAuthRules, PkceRedirectAndPlainAddresses) {
    // As an independent implementation (Python: urlsafe_b64encode(sha256(v))) computes it.
    EXPECT_EQ(oauth::codeChallenge("dBjftJeZ4CVP-mJ92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              "ngF5GsXcbwljx6u133FFr3Xht9xooA_DuaX_3QwODtc");
    oauth::Settings s = preset(oauth::Provider::Microsoft);
    s.clientId = "c id";
    const auto a = oauth::makeAuthorizationRequest(s, "http://127.0.0.1:4711/", "list@example.org");
    const auto b = oauth::makeAuthorizationRequest(s, "http://127.0.0.1:4711/", "");
    EXPECT_NE(a.state, b.state);
    EXPECT_GE(a.verifier.size(), 43u);
    EXPECT_NE(a.url.find("client_id=c%20id"), std::string::npos);
    EXPECT_NE(a.url.find("code_challenge=" + oauth::codeChallenge(a.verifier) + "&code_challenge_method=S256"),
              std::string::npos);
    EXPECT_NE(a.url.find("redirect_uri=http%3A%2F%2F127.0.0.1%3A4711%2F"), std::string::npos);
    EXPECT_NE(a.url.find("login_hint=list%40example.org"), std::string::npos);

    const auto r = oauth::parseRedirect("GET /?code=a%2Bb&state=s1&iss=x HTTP/1.1");
    EXPECT_EQ(r.code, "a+b");
    EXPECT_EQ(r.state, "s1");
    const auto e = oauth::parseRedirect("error=access_denied&error_description=User+said+no");
    EXPECT_EQ(e.error, "access_denied");
    EXPECT_EQ(e.errorDescription, "User said no");

    // A token endpoint that is not https is never sent anything.
    oauth::HttpAnswer answer;
    EXPECT_EQ(oauth::postForm("http://127.0.26.250/token", {{"refresh_token", "x"}}, "", answer),
              KOVA_PLAIN_AUTH_REFUSED);
}
