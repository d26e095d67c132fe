#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "net/curl_handle.h"

namespace pw {

// One HTTP transfer on libcurl, driven by its caller: Open until the response headers are
// in, then Read the body piece by piece. The body is staged in a small buffer; libcurl is
// paused while the buffer is full, so memory stays bounded whatever the body's size. Every
// wait polls at most 100 ms at a time and honours the stop token.
class HttpRequest {
public:
    enum class OpenResult { Opened, Failed, Stopped };
    // NotYet: only from ReadAtHand, nothing has arrived that could be read without waiting.
    enum class ReadStatus { Data, End, Failed, Stalled, Stopped, NotYet };
    struct ReadResult {
        ReadStatus status;
        std::size_t bytes = 0;
    };

    explicit HttpRequest(HttpRequestOptions options);
    ~HttpRequest();
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    // False when libcurl could not make its handles; nothing else works then.
    bool Valid() const;

    // Sends the request and waits for the final response's headers (redirects followed).
    OpenResult Open(std::string_view url, std::stop_token stop = {});
    long Status() const;
    // The final response's Content-Length, when it gave one.
    std::optional<std::int64_t> ContentLength() const;
    // True when the final response's body is compressed (a Content-Encoding other than
    // identity); Read then gives the decoded bytes.
    bool ContentEncoded() const;
    // Body bytes received from the wire so far, before any decoding.
    std::int64_t WireBytes() const;

    // Up to `size` bytes of the body into `buffer`. Data: `bytes` > 0; End: the body is
    // complete; Failed: the transfer broke off; Stalled: no byte within the stall limit.
    ReadResult Read(char* buffer, std::size_t size, std::stop_token stop = {});
    // As Read, but gives NotYet instead of waiting for the network.
    ReadResult ReadAtHand(char* buffer, std::size_t size, std::stop_token stop = {});

private:
    ReadResult Read(char* buffer, std::size_t size, const std::stop_token& stop, bool wait);

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pw
