#pragma once

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/curl_library.h"

namespace pw {

// The URL as it goes on the wire: every byte that may not stand in an HTTP request line
// (controls, blank, 0x7F, 0x80 and above) percent-encoded byte for byte, everything else
// (an existing %XX included) kept. A GBK path so reaches the server as the same GBK bytes.
std::string UrlForWire(std::string_view url);

// What a request of the program sets: its header lines, proxy, protocol version,
// redirects and time-outs.
struct HttpRequestOptions {
    // Request header lines, sent as written (no line breaks inside).
    std::vector<std::string> headerLines;
    bool useSystemProxy = true;  // false: always a direct connection
    bool http10 = false;
    std::chrono::milliseconds connectTimeout{5000};
    std::chrono::milliseconds totalTimeout{0};  // 0: none
    // Longest wait for the next byte of the response before the transfer counts as stalled.
    std::chrono::milliseconds stallLimit{30000};
    // Decode a body the server sends compressed (gzip or deflate). The Accept-Encoding
    // line itself comes from `headerLines`, as written there.
    bool decodeContent = false;
};

// One libcurl easy handle with its header list and error buffer: every request of the
// program is made on one of these.
class CurlHandle {
public:
    CurlHandle();
    CurlHandle(const CurlHandle&) = delete;
    CurlHandle& operator=(const CurlHandle&) = delete;

    // False when libcurl could not be loaded or could not make the handle; nothing else
    // works then.
    bool Valid() const { return easy_ != nullptr; }
    CURL* get() const { return easy_.get(); }

    // Sets the URL and everything `options` says; false when the header list could not
    // be built.
    bool Configure(std::string_view url, const HttpRequestOptions& options);

    // libcurl's words for the last failure.
    const char* ErrorText() const { return error_; }

private:
    struct EasyCleanup {
        void operator()(CURL* h) const { Curl().easy_cleanup(h); }
    };
    struct SlistFree {
        void operator()(curl_slist* l) const { Curl().slist_free_all(l); }
    };

    std::unique_ptr<CURL, EasyCleanup> easy_;
    std::unique_ptr<curl_slist, SlistFree> headers_;
    char error_[CURL_ERROR_SIZE] = {};
};

}  // namespace pw
