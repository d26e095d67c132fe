#include "net/curl_handle.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "core/files.h"

namespace pw {
namespace {

using Clock = std::chrono::steady_clock;

// Redirects a request follows before it fails.
constexpr long kMaxRedirects = 10;
// libcurl's receive buffer, and so its largest delivery: larger than its default 16 KiB,
// so that a fast body takes fewer reads of the socket and fewer writes of the file.
constexpr long kReceiveBufferSize = 512 * 1024;

bool NeedsEncoding(unsigned char b) { return b <= 0x20 || b >= 0x7F; }

// Every https request checks the server's certificate chain and that the certificate
// names the host asked for: libcurl's defaults, set here all the same so that they hold
// for every handle of the program and nothing can turn them off. The chain is checked
// against the system's certificate store (Debian's ca-certificates), and against another
// authority (a school proxy's, a test's) that the standard variables of curl and OpenSSL
// name: CURL_CA_BUNDLE, else SSL_CERT_FILE, a file of certificates read instead of the
// system's bundle file; SSL_CERT_DIR a folder of hashed certificates instead of
// /etc/ssl/certs, which otherwise still counts.
void CheckCertificates(const CurlFunctions& curl, CURL* h) {
    curl.easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl.easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl.easy_setopt(h, CURLOPT_PROXY_SSL_VERIFYPEER, 1L);
    curl.easy_setopt(h, CURLOPT_PROXY_SSL_VERIFYHOST, 2L);
    const char* bundle = NonEmptyEnvironment("CURL_CA_BUNDLE");
    if (!bundle) bundle = NonEmptyEnvironment("SSL_CERT_FILE");
    if (bundle) {
        curl.easy_setopt(h, CURLOPT_CAINFO, bundle);
        curl.easy_setopt(h, CURLOPT_PROXY_CAINFO, bundle);
    }
    if (const char* folder = NonEmptyEnvironment("SSL_CERT_DIR")) {
        curl.easy_setopt(h, CURLOPT_CAPATH, folder);
        curl.easy_setopt(h, CURLOPT_PROXY_CAPATH, folder);
    }
}

// One Perform: what the callbacks need.
struct Transfer {
    CurlHandle& easy;
    const TransferHooks& hooks;
    const std::stop_token& stop;
    std::chrono::milliseconds headerLimit;  // the connect time-out and the stall limit
    std::chrono::milliseconds stallLimit;
    Clock::time_point lastByte = Clock::now();
    curl_off_t lastCount = 0;
    bool headersDone = false;
    bool abandoned = false;
    bool stalled = false;

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
        auto& t = *static_cast<Transfer*>(self);
        const std::size_t length = size * count;
        t.lastByte = Clock::now();
        const std::string_view line(data, length);
        if (line != "\r\n" && line != "\n") return length;
        // The end of a header block: the final one unless it is interim or a redirect that
        // libcurl is about to follow.
        const long status = t.easy.Status();
        const bool interim = status / 100 == 1;
        const bool followed = status / 100 == 3 && t.easy.Header("Location");
        if (interim || followed || t.headersDone) return length;
        t.headersDone = true;
        if (t.hooks.onHeaders && !t.hooks.onHeaders()) {
            t.abandoned = true;
            return 0;
        }
        return length;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto& t = *static_cast<Transfer*>(self);
        const std::size_t length = size * count;
        t.lastByte = Clock::now();
        if (t.hooks.onBody && !t.hooks.onBody(data, length)) {
            t.abandoned = true;
            return length == 0 ? 1 : 0;  // anything but `length` stops libcurl
        }
        return length;
    }

    // libcurl calls this on every pass of its loop, and at least once a second while it
    // waits: a stop request and a stall end the transfer here.
    static int OnProgress(void* self, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
        auto& t = *static_cast<Transfer*>(self);
        if (t.stop.stop_requested()) return 1;
        const auto now = Clock::now();
        if (received != t.lastCount) {
            t.lastCount = received;
            t.lastByte = now;
        }
        if (now - t.lastByte >= (t.headersDone ? t.stallLimit : t.headerLimit)) {
            t.stalled = true;
            return 1;
        }
        return 0;
    }
};

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

curl_socket_t CurlHandle::Sockets::Open(void* self, curlsocktype, curl_sockaddr* address) {
    auto& s = *static_cast<Sockets*>(self);
    std::lock_guard lock(s.mutex);
    if (s.shutDown) return CURL_SOCKET_BAD;
    const curl_socket_t socket = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (socket != CURL_SOCKET_BAD) s.open.push_back(socket);
    return socket;
}

int CurlHandle::Sockets::Close(void* self, curl_socket_t socket) {
    auto& s = *static_cast<Sockets*>(self);
    std::lock_guard lock(s.mutex);
    std::erase(s.open, socket);
    return ::close(socket);
}

void CurlHandle::Sockets::ShutDown() {
    std::lock_guard lock(mutex);
    shutDown = true;
    // A connection being made or waiting for its answer fails at once.
    for (curl_socket_t socket : open) ::shutdown(socket, SHUT_RDWR);
}

CurlHandle::CurlHandle() {
    const CurlFunctions* curl = LoadCurl();
    if (!curl) return;
    easy_.reset(curl->easy_init());
    if (!easy_) return;
    curl->easy_setopt(easy_.get(), CURLOPT_OPENSOCKETFUNCTION, &Sockets::Open);
    curl->easy_setopt(easy_.get(), CURLOPT_OPENSOCKETDATA, &sockets_);
    curl->easy_setopt(easy_.get(), CURLOPT_CLOSESOCKETFUNCTION, &Sockets::Close);
    curl->easy_setopt(easy_.get(), CURLOPT_CLOSESOCKETDATA, &sockets_);
    CheckCertificates(*curl, easy_.get());
}

CurlHandle::~CurlHandle() = default;

bool CurlHandle::Configure(std::string_view url, const HttpRequestOptions& o) {
    if (!easy_) return false;
    options_ = o;
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
    // A proxy's answer to CONNECT is not the response.
    curl.easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl.easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl.easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl.easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(o.connectTimeout.count()));
    if (o.totalTimeout.count() > 0) curl.easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(o.totalTimeout.count()));
    curl.easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl.easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl.easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl.easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    if (o.decodeContent) curl.easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    return true;
}

TransferEnd CurlHandle::Perform(const std::stop_token& stop, const TransferHooks& hooks) {
    if (!easy_) return TransferEnd::NoResponse;
    if (stop.stop_requested()) return TransferEnd::Stopped;
    const CurlFunctions& curl = Curl();
    CURL* h = easy_.get();
    // The stall limit is checked by the progress callback, to the millisecond: libcurl's
    // own low-speed check counts whole seconds of an averaged speed, so a transfer that
    // goes quiet after a fast start would be given up several seconds late.
    Transfer t{*this, hooks, stop, options_.connectTimeout + options_.stallLimit, options_.stallLimit};
    curl.easy_setopt(h, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    curl.easy_setopt(h, CURLOPT_HEADERDATA, &t);
    curl.easy_setopt(h, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    curl.easy_setopt(h, CURLOPT_WRITEDATA, &t);
    curl.easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
    curl.easy_setopt(h, CURLOPT_XFERINFODATA, &t);
    curl.easy_setopt(h, CURLOPT_NOPROGRESS, 0L);

    const std::stop_callback wake(stop, [this] { sockets_.ShutDown(); });
    const CURLcode result = curl.easy_perform(h);
    if (stop.stop_requested()) return TransferEnd::Stopped;
    if (t.abandoned) return TransferEnd::Abandoned;
    if (result == CURLE_OK) return t.headersDone ? TransferEnd::Complete : TransferEnd::NoResponse;
    if (!t.headersDone) return TransferEnd::NoResponse;
    return t.stalled ? TransferEnd::Stalled : TransferEnd::BrokenOff;
}

long CurlHandle::Status() const {
    long status = 0;
    if (easy_) Curl().easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
    return status;
}

std::optional<std::string_view> CurlHandle::Header(const char* name) const {
    curl_header* header = nullptr;
    if (!easy_ || Curl().easy_header(easy_.get(), name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK || !header)
        return std::nullopt;
    return std::string_view(header->value);
}

}  // namespace pw
