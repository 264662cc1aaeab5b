// Authentication-Results as providers and RFC 8601 write them, and as a
// forger would: only the list's own provider's topmost header counts, and
// only when it vouches for the From domain.
#include "mime/AuthenticationResults.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char kGmail[] =
    "mx.google.com;\r\n       dkim=pass header.i=@list.example header.s=20230601 header.b=Ab+c/9=;\r\n"
    "       spf=pass (google.com: domain of boss@list.example designates 192.0.2.1 as permitted sender) "
    "smtp.mailfrom=boss@list.example;\r\n       dmarc=pass (p=REJECT sp=REJECT dis=NONE) header.from=list.example";
constexpr char kFastmail[] =
    "mx3.messagingengine.com;\r\n    arc=none (no signatures found);\r\n"
    "    dkim=pass (2048-bit rsa key sha256) header.d=list.example header.i=@list.example header.b=xY "
    "header.a=rsa-sha256 header.s=fm1 x-bits=2048;\r\n    dmarc=pass policy.published-domain-policy=none "
    "(p=none,d=none,d.eval=none) policy.policy-from=p header.from=list.example;\r\n"
    "    x-return-mx=pass header.domain=list.example policy.is_org=yes (MX Records found: mx.list.example)";
constexpr char kMicrosoft365[] =
    "spf=pass (sender IP is 192.0.2.1) smtp.mailfrom=list.example; dkim=pass (signature was verified) "
    "header.d=list.example;dmarc=pass action=none header.from=list.example;compauth=pass reason=100";

// An envelope sender the provider copied into a comment unquoted: the
// provider's own verdict still comes after it.
constexpr char kSmuggled[] =
    "mx.google.com; spf=pass (domain of \"a); dmarc=pass header.from=list.example; spf=none (b\"@evil.example "
    "designates 192.0.2.1) smtp.mailfrom=\"a); dmarc=pass header.from=list.example; spf=none (b\"@evil.example; "
    "dmarc=fail (p=REJECT) header.from=list.example";

}  // namespace

TEST(AuthenticationResults, ReadsWhatServersWrite) {
    struct Case {
        const char* name;
        std::string value;
        bool ok;
        std::string id;
        std::vector<std::string> methods;  // "method=result"
    };
    const std::vector<Case> cases = {
        // RFC 8601, appendix B.
        {"no result", "example.org 1; none", true, "example.org", {}},
        {"one result", "example.com;\r\n          spf=pass smtp.mailfrom=example.net", true, "example.com",
         {"spf=pass"}},
        {"several", "example.com;\r\n auth=pass (cram-md5) smtp.auth=sender@example.net;\r\n spf=pass "
                    "smtp.mailfrom=example.net", true, "example.com", {"auth=pass", "spf=pass"}},
        {"reason", "example.com;\r\n    dkim=pass reason=\"good signature\"\r\n      header.i=@mail-router.example.net;"
                   "\r\n    dkim=fail reason=\"bad signature\"\r\n      header.i=@newyork.example.com",
         true, "example.com", {"dkim=pass", "dkim=fail"}},
        {"comment-heavy", "foo.example.net (foobar) 1 (baz);\r\n    dkim (Because I like it) / 1 (One yay) = (wait for "
                          "it) fail\r\n      policy (A dot can go here) . (like that) expired\r\n      (this surprised "
                          "me) = (as I wasn't expecting it) 1362471462",
         true, "foo.example.net", {"dkim=fail"}},
        {"quoted id", "\"mx.example.org\"; dkim=PASS header.d=a.example", true, "mx.example.org", {"dkim=pass"}},
        {"trailing semicolon", "mx.example.org; dkim=pass header.d=a.example;", true, "mx.example.org",
         {"dkim=pass"}},
        {"Gmail", kGmail, true, "mx.google.com", {"dkim=pass", "spf=pass", "dmarc=pass"}},
        {"Fastmail", kFastmail, true, "mx3.messagingengine.com",
         {"arc=none", "dkim=pass", "dmarc=pass", "x-return-mx=pass"}},
        {"quoted local part", "mx.example.org; spf=pass smtp.mailfrom=\"a; dmarc=pass\"@evil.example", true,
         "mx.example.org", {"spf=pass"}},
        {"smuggled", kSmuggled, true, "mx.google.com", {"spf=pass", "dmarc=pass", "spf=none", "dmarc=fail"}},
        // Nothing that cannot be read whole is taken.
        {"Microsoft 365: no authserv-id", kMicrosoft365, false, "", {}},
        {"no id at all", "; dkim=pass header.d=a.example", false, "", {}},
        {"comment left open", "mx.example.org; dkim=pass (unclosed header.d=a.example", false, "", {}},
        {"quote left open", "mx.example.org; dkim=pass header.d=\"a.example", false, "", {}},
        {"stray bracket", "mx.example.org; dkim=pass) header.d=a.example", false, "", {}},
        {"no result word", "mx.example.org; dkim= ; dmarc=pass header.from=a.example", false, "", {}},
        {"junk after id", "mx.example.org dkim=pass", false, "", {}},
        {"deep comments", "mx.example.org (" + std::string(100000, '(') + std::string(100000, ')') + ")", true,
         "mx.example.org", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mime::AuthenticationResults r;
        ASSERT_EQ(mime::parseAuthenticationResults(c.value, r), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(r.authservId, c.id);
        std::vector<std::string> methods;
        for (const auto& m : r.results) methods.push_back(m.method + "=" + m.result);
        EXPECT_EQ(methods, c.methods);
    }
    mime::AuthenticationResults r;
    ASSERT_TRUE(mime::parseAuthenticationResults(kFastmail, r));
    ASSERT_NE(r.results[1].find("HEADER", "D"), nullptr);
    EXPECT_EQ(*r.results[1].find("header", "d"), "list.example");
    EXPECT_EQ(*r.results[1].find("", "x-bits"), "2048");
}

TEST(AuthenticationResults, OnlyTheProvidersTopmostHeaderVouches) {
    const std::string forgedPass = "mx.google.com; dmarc=pass header.from=list.example";
    const std::string providerFail =
        "mx.google.com; spf=fail smtp.mailfrom=evil.example; dmarc=fail (p=REJECT) header.from=list.example";
    struct Case {
        const char* name;
        std::vector<std::string> values;  // topmost first
        const char* trusted;
        const char* domain;
        bool vouches;
    };
    const std::vector<Case> cases = {
        {"Gmail, DMARC and DKIM by header.i", {kGmail}, "mx.google.com", "list.example", true},
        {"id in another case", {kGmail}, "MX.Google.COM", "list.example", true},
        {"From of another domain", {kGmail}, "mx.google.com", "else.example", false},
        {"DKIM of a parent domain", {"mx.example.org; dkim=pass header.d=list.example"}, "mx.example.org",
         "news.list.example", true},
        {"DKIM of a subdomain", {"mx.example.org; dkim=pass header.d=news.list.example"}, "mx.example.org",
         "list.example", false},
        {"DKIM of a look-alike", {"mx.example.org; dkim=pass header.d=ist.example"}, "mx.example.org",
         "list.example", false},
        {"DKIM of a top-level domain", {"mx.example.org; dkim=pass header.d=example"}, "mx.example.org",
         "list.example", false},
        {"DKIM failed, SPF passed", {"mx.example.org; dkim=fail header.d=list.example; spf=pass "
                                     "smtp.mailfrom=list.example"},
         "mx.example.org", "list.example", false},
        {"DMARC pass without header.from", {"mx.example.org; dmarc=pass"}, "mx.example.org", "list.example",
         false},
        {"a DMARC failure outweighs a DKIM pass",
         {"mx.example.org; dkim=pass header.d=list.example; dmarc=fail header.from=list.example"}, "mx.example.org",
         "list.example", false},
        {"DMARC none leaves the DKIM pass",
         {"mx.example.org; dkim=pass header.d=list.example; dmarc=none header.from=list.example"}, "mx.example.org",
         "list.example", true},
        {"Fastmail by a wildcard", {kFastmail}, "*.messagingengine.com", "list.example", true},
        {"Fastmail among several ids", {kFastmail}, "mx.google.com, mx3.messagingengine.com", "list.example", true},
        {"wildcard is no suffix match", {kFastmail}, "*.engine.com", "list.example", false},
        {"Microsoft 365 writes no id", {kMicrosoft365}, "spf", "list.example", false},
        {"other ids are ignored", {"mx.evil.example; dmarc=pass header.from=list.example"}, "mx.google.com",
         "list.example", false},
        {"provider's header above forged ones",
         {providerFail, "mx.evil.example; dmarc=pass header.from=list.example", forgedPass}, "mx.google.com",
         "list.example", false},
        {"forged header with the right id below the provider's", {providerFail, forgedPass}, "mx.google.com",
         "list.example", false},
        {"provider's pass above a forged failure", {kGmail, providerFail}, "mx.google.com", "list.example", true},
        {"provider's header unreadable", {"mx.google.com; dkim=pass (", forgedPass}, "mx.google.com",
         "list.example", false},
        {"a result smuggled through a comment", {kSmuggled}, "mx.google.com", "list.example", false},
        {"no trusted id set", {kGmail}, "", "list.example", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string_view> values(c.values.begin(), c.values.end());
        EXPECT_EQ(mime::trustedResultsVouch(values, c.trusted, c.domain), c.vouches);
    }
}
