#include "net/update_page_request.h"

#include "net/curl_handle.h"

namespace pw {

Text FetchUpdatePage(const Text& url, const PageTimeouts& timeouts, const std::stop_token& stop) {
    HttpRequestOptions options;
    options.http10 = true;
    options.headerLines = {"User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)", "Accept: */*",
                           "Pragma: no-cache", "Cache-Control: no-cache"};
    options.useSystemProxy = false;
    options.connectTimeout = timeouts.connect;
    options.totalTimeout = timeouts.total;
    options.stallLimit = timeouts.total;
    CurlHandle easy;
    if (!easy.Configure(url, options)) return {};

    Text body;
    bool tooLong = false;
    TransferHooks hooks;
    hooks.onBody = [&](const char* data, std::size_t size) {
        tooLong = body.size() + size > kUpdatePageLimit;
        if (!tooLong) body.append(data, size);
        return !tooLong;
    };
    easy.Perform(stop, hooks);
    if (tooLong || stop.stop_requested()) return {};
    return body;
}

}  // namespace pw
