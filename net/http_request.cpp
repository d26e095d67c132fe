#include "net/http_request.h"

#include <algorithm>
#include <cstring>

#include "core/text.h"
#include "net/curl_library.h"

namespace pw {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPollInterval{100};
// libcurl's receive buffer, and so its largest delivery: larger than its default 16 KiB,
// so that a fast body takes fewer reads of the socket and fewer rounds of the multi handle.
constexpr long kReceiveBufferSize = 128 * 1024;
// Room for one libcurl delivery plus what is left of the previous one; libcurl is paused
// while a delivery does not fit.
constexpr std::size_t kStagingCapacity = 2 * static_cast<std::size_t>(kReceiveBufferSize);

struct MultiCleanup {
    void operator()(CURLM* h) const { Curl().multi_cleanup(h); }
};

}  // namespace

struct HttpRequest::State {
    HttpRequestOptions options;
    CurlHandle easy;
    std::unique_ptr<CURLM, MultiCleanup> multi;
    bool attached = false;  // easy handle added to the multi handle

    // Body bytes received but not yet read: staging[readPos, staging.size()).
    std::vector<char> staging;
    std::size_t readPos = 0;
    bool paused = false;

    // Header tracking: the status and Location of the response block being received.
    long blockStatus = 0;
    bool blockHasLocation = false;
    bool headersDone = false;

    bool done = false;
    CURLcode result = CURLE_OK;

    ~State() {
        if (attached) Curl().multi_remove_handle(multi.get(), easy.get());
    }

    std::size_t Staged() const { return staging.size() - readPos; }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
        auto& s = *static_cast<State*>(user);
        const std::size_t length = size * count;
        s.headersDone = true;
        if (s.Staged() > 0 && s.Staged() + length > kStagingCapacity) {
            s.paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        if (s.readPos > 0) {
            s.staging.erase(s.staging.begin(), s.staging.begin() + static_cast<std::ptrdiff_t>(s.readPos));
            s.readPos = 0;
        }
        s.staging.insert(s.staging.end(), data, data + length);
        return length;
    }

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
        auto& s = *static_cast<State*>(user);
        const std::size_t length = size * count;
        const std::string_view line(data, length);
        if (line.starts_with("HTTP/")) {
            s.blockHasLocation = false;
            s.blockStatus = 0;
            const auto space = line.find(' ');
            if (space != std::string_view::npos) {
                for (std::size_t i = space + 1; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
                    s.blockStatus = s.blockStatus * 10 + (line[i] - '0');
            }
        } else if (StartsWithNoCase(line, "location:")) {
            s.blockHasLocation = true;
        } else if (line == "\r\n" || line == "\n") {
            // End of a header block: the final one unless it is interim or a redirect
            // that libcurl is about to follow.
            const bool interim = s.blockStatus / 100 == 1;
            const bool followed = s.blockStatus / 100 == 3 && s.blockHasLocation;
            if (!interim && !followed) s.headersDone = true;
        }
        return length;
    }

    // One round of libcurl work; notes the end of the transfer.
    void Perform() {
        int running = 0;
        Curl().multi_perform(multi.get(), &running);
        int queued = 0;
        while (CURLMsg* message = Curl().multi_info_read(multi.get(), &queued)) {
            if (message->msg == CURLMSG_DONE) {
                done = true;
                result = message->data.result;
            }
        }
    }

    void Wait(std::chrono::milliseconds limit) {
        const auto ms = std::clamp(limit, std::chrono::milliseconds(1), kPollInterval);
        Curl().multi_poll(multi.get(), nullptr, 0, static_cast<int>(ms.count()), nullptr);
    }

    void Resume() {
        if (!paused) return;
        paused = false;
        // May deliver the held-back data through OnBody at once.
        Curl().easy_pause(easy.get(), CURLPAUSE_CONT);
    }
};

HttpRequest::HttpRequest(HttpRequestOptions options) : state_(std::make_unique<State>()) {
    state_->options = std::move(options);
    // The easy handle made first has loaded libcurl, if it could be.
    if (state_->easy.Valid()) state_->multi.reset(Curl().multi_init());
    state_->staging.reserve(kStagingCapacity);
}

HttpRequest::~HttpRequest() = default;

bool HttpRequest::Valid() const { return state_->easy.Valid() && state_->multi; }

HttpRequest::OpenResult HttpRequest::Open(std::string_view url, std::stop_token stop) {
    if (!Valid() || state_->attached) return OpenResult::Failed;
    State& s = *state_;
    const HttpRequestOptions& o = s.options;
    CURL* h = s.easy.get();

    if (!s.easy.Configure(url, o)) return OpenResult::Failed;
    Curl().easy_setopt(h, CURLOPT_WRITEFUNCTION, &State::OnBody);
    Curl().easy_setopt(h, CURLOPT_WRITEDATA, &s);
    Curl().easy_setopt(h, CURLOPT_HEADERFUNCTION, &State::OnHeader);
    Curl().easy_setopt(h, CURLOPT_HEADERDATA, &s);
    Curl().easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBufferSize);

    if (Curl().multi_add_handle(s.multi.get(), h) != CURLM_OK) return OpenResult::Failed;
    s.attached = true;

    const auto waitStart = Clock::now();
    for (;;) {
        if (stop.stop_requested()) return OpenResult::Stopped;
        s.Perform();
        if (s.headersDone) return OpenResult::Opened;
        if (s.done) return s.result == CURLE_OK && Status() != 0 ? OpenResult::Opened : OpenResult::Failed;
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - waitStart);
        // The connect time-out bounds the connection; after it the server must answer
        // within the stall limit.
        if (waited >= o.connectTimeout + o.stallLimit) return OpenResult::Failed;
        s.Wait(o.connectTimeout + o.stallLimit - waited);
    }
}

long HttpRequest::Status() const {
    long status = 0;
    if (state_->easy.Valid()) Curl().easy_getinfo(state_->easy.get(), CURLINFO_RESPONSE_CODE, &status);
    return status;
}

std::optional<std::int64_t> HttpRequest::ContentLength() const {
    curl_off_t length = -1;
    if (!state_->easy.Valid() ||
        Curl().easy_getinfo(state_->easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK ||
        length < 0)
        return std::nullopt;
    return static_cast<std::int64_t>(length);
}

bool HttpRequest::ContentEncoded() const {
    curl_header* encoding = nullptr;
    if (!state_->easy.Valid() ||
        Curl().easy_header(state_->easy.get(), "Content-Encoding", 0, CURLH_HEADER, -1, &encoding) != CURLHE_OK ||
        !encoding)
        return false;
    return !StartsWithNoCase(encoding->value, "identity");
}

std::int64_t HttpRequest::WireBytes() const {
    curl_off_t bytes = 0;
    if (state_->easy.Valid()) Curl().easy_getinfo(state_->easy.get(), CURLINFO_SIZE_DOWNLOAD_T, &bytes);
    return static_cast<std::int64_t>(bytes);
}

HttpRequest::ReadResult HttpRequest::Read(char* buffer, std::size_t size, std::stop_token stop) {
    return Read(buffer, size, stop, true);
}

HttpRequest::ReadResult HttpRequest::ReadAtHand(char* buffer, std::size_t size, std::stop_token stop) {
    return Read(buffer, size, stop, false);
}

HttpRequest::ReadResult HttpRequest::Read(char* buffer, std::size_t size, const std::stop_token& stop, bool wait) {
    State& s = *state_;
    if (!s.attached) return {ReadStatus::Failed};
    // Fills the buffer from what is staged, and from what libcurl holds back while
    // paused: that is at hand without waiting.
    auto takeStaged = [&]() -> ReadResult {
        std::size_t n = 0;
        for (;;) {
            const std::size_t part = std::min(size - n, s.Staged());
            std::memcpy(buffer + n, s.staging.data() + s.readPos, part);
            s.readPos += part;
            n += part;
            if (s.readPos == s.staging.size()) {
                s.staging.clear();
                s.readPos = 0;
            }
            if (n == size || !s.paused) break;
            s.Resume();
            if (s.Staged() == 0) break;
        }
        return {ReadStatus::Data, n};
    };
    if (size == 0) return {ReadStatus::Data, 0};
    if (s.Staged() > 0) return takeStaged();

    const auto waitStart = Clock::now();
    for (;;) {
        s.Resume();
        if (s.Staged() > 0) return takeStaged();
        if (s.done) return {s.result == CURLE_OK ? ReadStatus::End : ReadStatus::Failed};
        if (stop.stop_requested()) return {ReadStatus::Stopped};
        s.Perform();
        if (s.Staged() > 0) return takeStaged();
        if (s.done) return {s.result == CURLE_OK ? ReadStatus::End : ReadStatus::Failed};
        if (!wait) return {ReadStatus::NotYet};
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - waitStart);
        if (waited >= s.options.stallLimit) return {ReadStatus::Stalled};
        s.Wait(s.options.stallLimit - waited);
    }
}

}  // namespace pw
