#include "net/file_request.h"

#include <charconv>

#include "net/curl_handle.h"

namespace pw {

std::optional<std::string> FetchFile(const Text& url, std::size_t limit, const FetchTimeouts& timeouts,
                                     const std::stop_token& stop) {
    HttpRequestOptions options;
    options.headerLines = {"Accept: */*", "Pragma: no-cache", "Cache-Control: no-cache"};
    options.connectTimeout = timeouts.connect;
    options.stallLimit = timeouts.stall;
    CurlHandle easy;
    if (!easy.Configure(url, options)) return std::nullopt;

    std::string body;
    TransferHooks hooks;
    // A body that says it is too long is not waited for.
    hooks.onHeaders = [&] {
        std::size_t length = 0;
        const auto header = easy.Header("Content-Length");
        const bool tooLong = header && std::from_chars(header->data(), header->data() + header->size(), length).ec ==
                                           std::errc() && length > limit;
        return easy.Status() == 200 && !tooLong;
    };
    hooks.onBody = [&](const char* data, std::size_t size) {
        if (body.size() + size > limit) return false;
        body.append(data, size);
        return true;
    };
    if (easy.Perform(stop, hooks) != TransferEnd::Complete || easy.Status() != 200) return std::nullopt;
    return body;
}

}  // namespace pw
