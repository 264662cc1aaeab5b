#include "HttpsClient.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "text/TextRules.h"
#include "transport/KOVAMail.h"

namespace oauth {

namespace {

constexpr long kConnectTimeoutMs = 15000;
// No honest token answer is anywhere near this long.
constexpr size_t kMaxAnswer = 1 << 20;

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t collect(char* bytes, size_t size, size_t count, void* target) {
    auto* body = static_cast<std::string*>(target);
    const size_t n = size * count;
    if (body->size() + n > kMaxAnswer) return 0;  // ends the transfer
    body->append(bytes, n);
    return n;
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

bool unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

}  // namespace

std::string urlEncode(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (unreserved(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            text::appendHex(out, c);
        }
    }
    return out;
}

std::string formEncode(const FormFields& fields) {
    std::string body;
    for (const auto& [name, value] : fields) {
        if (!body.empty()) body += '&';
        body += urlEncode(name) + "=" + urlEncode(value);
    }
    return body;
}

int32_t postForm(const std::string& url, const FormFields& fields, const std::string& caFile, HttpAnswer& answer,
                 std::string* why) {
    answer = {};
    if (!text::startsWithIgnoreCase(url, "https://")) {
        if (why) *why = "the address is not https: " + url;
        return KOVA_PLAIN_AUTH_REFUSED;
    }
    initialiseOnce();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        if (why) *why = "out of memory";
        return KOVA_OAUTH_ENDPOINT_FAILED;
    }
    CURL* c = curl.get();
    const std::string body = formEncode(fields);
    std::unique_ptr<curl_slist, SlistDeleter> headers(curl_slist_append(nullptr, "Accept: application/json"));
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.empty()) {
        // Besides the system's authorities, not instead of them.
        curl_easy_setopt(c, CURLOPT_CAINFO, caFile.c_str());
        curl_easy_setopt(c, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, kRequestTimeoutMs);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &answer.body);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    const CURLcode rc = curl_easy_perform(c);
    if (rc != CURLE_OK) {
        if (why) *why = error[0] ? error : curl_easy_strerror(rc);
        answer = {};
        return KOVA_OAUTH_ENDPOINT_FAILED;
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &answer.status);
    return KOVA_SUCCESS;
}

}  // namespace oauth
