#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
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
    // Longest wait for the next byte of the response before the transfer counts as stalled;
    // before the response's headers, the connect time-out is added to it.
    std::chrono::milliseconds stallLimit{30000};
    // Decode a body the server sends compressed (gzip or deflate). The Accept-Encoding
    // line itself comes from `headerLines`, as written there.
    bool decodeContent = false;
};

// How a transfer ended.
enum class TransferEnd {
    Complete,    // the whole response is in
    NoResponse,  // no final response: no connection, a time-out or stall before it, a redirect loop
    Abandoned,   // a hook said to stop
    BrokenOff,   // the body broke off or ran out of time
    Stalled,     // no byte of the body within the stall limit
    Stopped,     // the stop token asked for it
};

// What the caller does with the response; called on the thread that performs it.
struct TransferHooks {
    // The final response's headers are in (not those of an interim answer or of a
    // redirect that is followed). False abandons the transfer.
    std::function<bool()> onHeaders;
    // The body's bytes as they arrive, decoded when it came compressed. False abandons.
    std::function<bool(const char* data, std::size_t size)> onBody;
};

// One libcurl easy handle with its header list: every request of the program is made on
// one of these, one request per handle. An https request checks the server's certificate
// from the moment the handle is made (see curl_handle.cpp for which authorities count).
class CurlHandle {
public:
    CurlHandle();
    ~CurlHandle();
    CurlHandle(const CurlHandle&) = delete;
    CurlHandle& operator=(const CurlHandle&) = delete;

    // False when libcurl could not be loaded or could not make the handle; nothing else
    // works then.
    bool Valid() const { return easy_ != nullptr; }
    CURL* get() const { return easy_.get(); }

    // Sets the URL and everything `options` says; false when the header list could not
    // be built.
    bool Configure(std::string_view url, const HttpRequestOptions& options);

    // Performs the request on this thread. A stop request ends it promptly, whatever the
    // network does: the handle's sockets are shut down, which wakes libcurl's wait.
    TransferEnd Perform(const std::stop_token& stop, const TransferHooks& hooks = {});

    // The final response's status (0 before one), and the value of its header `name`.
    long Status() const;
    std::optional<std::string_view> Header(const char* name) const;

private:
    // The sockets libcurl opened for this handle, so that a stop request from another
    // thread can shut them down.
    struct Sockets {
        std::mutex mutex;
        std::vector<curl_socket_t> open;
        bool shutDown = false;  // no more are opened
        static curl_socket_t Open(void* self, curlsocktype, curl_sockaddr* address);
        static int Close(void* self, curl_socket_t socket);
        void ShutDown();
    };
    struct EasyCleanup {
        void operator()(CURL* h) const { Curl().easy_cleanup(h); }
    };
    struct SlistFree {
        void operator()(curl_slist* l) const { Curl().slist_free_all(l); }
    };

    // In this order: the handle goes first, and closes its sockets through `sockets_`.
    Sockets sockets_;
    std::unique_ptr<curl_slist, SlistFree> headers_;
    std::unique_ptr<CURL, EasyCleanup> easy_;
    HttpRequestOptions options_;
};

}  // namespace pw
