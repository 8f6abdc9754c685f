#include "util/url.h"

#include <curl/curl.h>

#include <mutex>

#include "util/text_util.h"

namespace orb {

namespace {

std::string_view AfterScheme(std::string_view s) {
    size_t p = s.find("://");
    return p == std::string_view::npos ? s : s.substr(p + 3);
}

}  // namespace

std::string HostFromURL(std::string_view text) {
    std::string_view s = AfterScheme(Trim(text));
    size_t colon = s.find(':');
    if (colon != std::string_view::npos) s = s.substr(0, colon);
    return std::string(Trim(s));
}

int32_t PortFromURL(std::string_view text) {
    std::string_view s = AfterScheme(Trim(text));
    size_t colon = s.find(':');
    if (colon == std::string_view::npos) return -1;
    auto n = ParseInt32(s.substr(colon + 1));
    if (!n || *n < 0 || *n > 65535) return -1;
    return *n;
}

std::string LowerSchemeAndHost(std::string_view url) {
    std::string out(url);
    size_t hostStart = 0;
    size_t sep = out.find("://");
    if (sep != std::string::npos) {
        for (size_t i = 0; i < sep; ++i) out[i] = AsciiLower(out[i]);
        hostStart = sep + 3;
    }
    size_t hostEnd = out.find_first_of("/?#", hostStart);
    if (hostEnd == std::string::npos) hostEnd = out.size();
    // User information before an "@" is not part of the host.
    size_t at = out.rfind('@', hostEnd == 0 ? 0 : hostEnd - 1);
    if (at != std::string::npos && at >= hostStart && at < hostEnd) hostStart = at + 1;
    for (size_t i = hostStart; i < hostEnd; ++i) out[i] = AsciiLower(out[i]);
    return out;
}

int32_t GetURLStatusCode(const std::string& url, long timeoutSeconds) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* curl = curl_easy_init();
    if (!curl) return -1;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeoutSeconds);
    // A failed transfer may still have had a response; its status is the answer then.
    curl_easy_perform(curl);
    long code = -1;
    long got = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &got) == CURLE_OK && got > 0) code = got;
    curl_easy_cleanup(curl);
    return static_cast<int32_t>(code);
}

}  // namespace orb
