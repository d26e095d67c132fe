#include "net/curl_handle.h"

namespace pw {
namespace {

// Redirects a request follows before it fails.
constexpr long kMaxRedirects = 10;

bool NeedsEncoding(unsigned char b) { return b <= 0x20 || b >= 0x7F; }

}  // namespace

std::string UrlForWire(std::string_view url) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string wire;
    wire.reserve(url.size());
    for (char c : url) {
        const auto b = static_cast<unsigned char>(c);
        if (NeedsEncoding(b)) {
            wire += '%';
            wire += kHex[b >> 4];
            wire += kHex[b & 0x0F];
        } else {
            wire += c;
        }
    }
    return wire;
}

CurlHandle::CurlHandle() {
    const CurlFunctions* curl = LoadCurl();
    if (!curl) return;
    easy_.reset(curl->easy_init());
    if (easy_) curl->easy_setopt(easy_.get(), CURLOPT_ERRORBUFFER, error_);
}

bool CurlHandle::Configure(std::string_view url, const HttpRequestOptions& o) {
    if (!easy_) return false;
    const CurlFunctions& curl = Curl();
    CURL* h = easy_.get();
    for (const std::string& line : o.headerLines) {
        curl_slist* grown = curl.slist_append(headers_.get(), line.c_str());
        if (!grown) return false;
        (void)headers_.release();
        headers_.reset(grown);
    }
    curl.easy_setopt(h, CURLOPT_URL, UrlForWire(url).c_str());  // libcurl keeps a copy
    curl.easy_setopt(h, CURLOPT_HTTPHEADER, headers_.get());
    if (o.http10) curl.easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    if (!o.useSystemProxy) curl.easy_setopt(h, CURLOPT_NOPROXY, "*");
    curl.easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl.easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl.easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(o.connectTimeout.count()));
    if (o.totalTimeout.count() > 0) curl.easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(o.totalTimeout.count()));
    curl.easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl.easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl.easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    if (o.decodeContent) curl.easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    return true;
}

}  // namespace pw
