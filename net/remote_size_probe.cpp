#include "net/remote_size_probe.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>

#include "net/http_request.h"

namespace pw {
namespace {

struct EasyCleanup {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};

// The window waits for the probe: an unreachable server must answer within seconds.
constexpr long kConnectTimeoutMs = 5000;
constexpr long kTotalTimeoutMs = 15000;

std::size_t DiscardBody(char*, std::size_t size, std::size_t count, void*) { return size * count; }

}  // namespace

double RemoteSizeProbe(const Text& url) {
    std::unique_ptr<CURL, EasyCleanup> easy(curl_easy_init());
    if (!easy) return -2;
    CURL* h = easy.get();

    const std::string wireUrl = UrlForWire(url);
    curl_easy_setopt(h, CURLOPT_URL, wireUrl.c_str());
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, kTotalTimeoutMs);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &DiscardBody);

    if (curl_easy_perform(h) != CURLE_OK) return -1;
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) return -1;

    // The header of the last response (after redirects), read as the program reads numbers.
    curl_header* length = nullptr;
    if (curl_easy_header(h, "Content-Length", 0, CURLH_HEADER, -1, &length) != CURLHE_OK || !length) return 0;
    return NumberFromText(length->value);
}

}  // namespace pw
