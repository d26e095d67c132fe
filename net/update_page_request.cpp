#include "net/update_page_request.h"

#include <array>

#include "net/http_request.h"

namespace pw {

Text FetchUpdatePage(const Text& url, const PageTimeouts& timeouts) {
    HttpRequestOptions options;
    options.http10 = true;
    options.headerLines = {"User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)", "Accept: */*",
                           "Pragma: no-cache", "Cache-Control: no-cache"};
    options.useSystemProxy = false;
    options.connectTimeout = timeouts.connect;
    options.totalTimeout = timeouts.total;
    options.stallLimit = timeouts.total;

    HttpRequest request(std::move(options));
    if (request.Open(url) != HttpRequest::OpenResult::Opened) return {};
    Text body;
    std::array<char, 10240> buffer{};
    for (;;) {
        const auto read = request.Read(buffer.data(), buffer.size());
        if (read.status != HttpRequest::ReadStatus::Data) break;
        body.append(buffer.data(), read.bytes);
    }
    return body;
}

}  // namespace pw
