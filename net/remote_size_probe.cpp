#include "net/remote_size_probe.h"

#include "net/curl_handle.h"
#include "net/curl_library.h"

namespace pw {
namespace {

std::size_t DiscardBody(char*, std::size_t size, std::size_t count, void*) { return size * count; }

}  // namespace

double RemoteSizeProbe(const Text& url, const ProbeTimeouts& timeouts) {
    CurlHandle easy;
    HttpRequestOptions options;
    options.connectTimeout = timeouts.connect;
    options.totalTimeout = timeouts.total;
    if (!easy.Configure(url, options)) return -2;
    const CurlFunctions& curl = Curl();
    CURL* h = easy.get();
    curl.easy_setopt(h, CURLOPT_NOBODY, 1L);
    curl.easy_setopt(h, CURLOPT_WRITEFUNCTION, &DiscardBody);

    if (curl.easy_perform(h) != CURLE_OK) return -1;
    long status = 0;
    curl.easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) return -1;

    // The header of the last response (after redirects), read as the program reads numbers.
    curl_header* length = nullptr;
    if (curl.easy_header(h, "Content-Length", 0, CURLH_HEADER, -1, &length) != CURLHE_OK || !length) return 0;
    return NumberFromText(length->value);
}

}  // namespace pw
