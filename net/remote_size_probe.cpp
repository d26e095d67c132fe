#include "net/remote_size_probe.h"

#include "net/curl_handle.h"

namespace pw {

double RemoteSizeProbe(const Text& url, const ProbeTimeouts& timeouts, const std::stop_token& stop) {
    CurlHandle easy;
    HttpRequestOptions options;
    options.connectTimeout = timeouts.connect;
    options.totalTimeout = timeouts.total;
    if (!easy.Configure(url, options)) return -2;
    Curl().easy_setopt(easy.get(), CURLOPT_NOBODY, 1L);
    if (easy.Perform(stop) != TransferEnd::Complete || easy.Status() != 200) return -1;
    // The header of the last response (after redirects), read as the program reads numbers.
    const auto length = easy.Header("Content-Length");
    return length ? NumberFromText(*length) : 0;
}

}  // namespace pw
