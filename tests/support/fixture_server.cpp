#include "tests/support/fixture_server.h"

#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace pw::testing {
namespace {

constexpr std::size_t kDefaultPiece = 64 * 1024;

bool EqualNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::optional<std::string> RecordedRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (EqualNoCase(key, name)) return value;
    return std::nullopt;
}

char FixtureServer::GeneratedByte(std::size_t offset, std::size_t size) {
    // The header, an empty stage rectangle, frame rate 12 and one frame, and the header of
    // one long tag of a code no player knows; the End tag closes the movie.
    constexpr std::size_t kBeforePattern = 19;
    constexpr char kFrame[] = {'F', 'W', 'S', 10, 0, 0, 0, 0, 0, 0, 12, 1, 0, '\xff', '\xff'};
    const bool movie = size >= kBeforePattern + 2;
    if (size >= 8 && offset >= 4 && offset < 8) return static_cast<char>((size >> (8 * (offset - 4))) & 0xFF);
    if (movie && offset < kBeforePattern) {
        if (offset < sizeof kFrame) return kFrame[offset];
        return static_cast<char>(((size - kBeforePattern - 2) >> (8 * (offset - sizeof kFrame))) & 0xFF);
    }
    if (movie && offset >= size - 2) return '\0';
    if (size >= 8 && offset < 4) return kFrame[offset];
    // Not periodic in any power of two up to 64 KiB, so a misplaced piece shows.
    return static_cast<char>((offset + (offset >> 8) * 3 + (offset >> 16) * 5) & 0xFF);
}

std::string FixtureServer::GeneratedBody(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i) body[i] = GeneratedByte(i, size);
    return body;
}

struct FixtureServer::State {
    httplib::Server server;
    std::thread listener;
    int port = 0;

    mutable std::mutex mutex;
    std::condition_variable released;
    bool stallsReleased = false;
    bool stopping = false;
    std::map<std::string, std::shared_ptr<const FixtureResource>> resources;
    std::vector<RecordedRequest> requests;
    std::atomic<std::size_t> bodyBytesSent{0};

    void WaitWhileStalled() {
        std::unique_lock lock(mutex);
        released.wait(lock, [this] { return stallsReleased || stopping; });
    }

    bool Stopping() const {
        std::lock_guard lock(mutex);
        return stopping;
    }

    // Sends the piece of the body that starts at `offset`; false drops the connection.
    bool SendPiece(const FixtureResource& r, std::size_t size, std::size_t offset, httplib::DataSink& sink) {
        if (r.breakOffAfter && offset >= *r.breakOffAfter) return false;
        if (r.stallAfter && offset >= *r.stallAfter) WaitWhileStalled();
        if (Stopping()) return false;
        if (offset > 0 && r.chunkDelay.count() > 0) std::this_thread::sleep_for(r.chunkDelay);

        std::size_t n = std::min(size - offset, r.chunkSize ? r.chunkSize : kDefaultPiece);
        if (r.breakOffAfter) n = std::min(n, *r.breakOffAfter - offset);
        if (r.stallAfter && offset < *r.stallAfter) n = std::min(n, *r.stallAfter - offset);

        std::string piece;
        if (r.generatedSize) {
            piece.resize(n);
            for (std::size_t i = 0; i < n; ++i) piece[i] = GeneratedByte(offset + i, *r.generatedSize);
        } else {
            piece.assign(r.body, offset, n);
        }
        if (offset + n == size) piece.append(r.extraBytes, 'X');
        bodyBytesSent += piece.size();
        return sink.write(piece.data(), piece.size());
    }

    // Where the answer to a "Range: bytes=N-" starts: N when the resource is still the one
    // the If-Range names (if any); 0 for the whole body. N at or after the end is a 416.
    static std::size_t RangeStart(const httplib::Request& req, const FixtureResource& r) {
        const std::string range = req.get_header_value("Range");
        if (r.ignoreRange || r.status != 200 || r.omitContentLength || !range.starts_with("bytes=")) return 0;
        if (!r.ignoreIfRange && req.has_header("If-Range") && req.get_header_value("If-Range") != r.etag &&
            req.get_header_value("If-Range") != r.lastModified)
            return 0;
        return std::strtoull(range.c_str() + 6, nullptr, 10);
    }

    void Handle(const httplib::Request& req, httplib::Response& res) {
        RecordedRequest record{req.method, req.target, req.version, {}};
        for (const auto& [key, value] : req.headers) record.headers.emplace_back(key, value);

        std::shared_ptr<const FixtureResource> resource;
        {
            std::lock_guard lock(mutex);
            requests.push_back(std::move(record));
            auto found = resources.find(req.path);
            if (found != resources.end()) resource = found->second;
        }
        if (!resource) {
            res.status = 404;
            res.set_content("not found", "text/plain");
            return;
        }
        if (resource->stallHead && req.method == "HEAD") {
            WaitWhileStalled();
            if (Stopping()) return;
        }
        if (resource->refuseHead && req.method == "HEAD") {
            res.status = 405;
            res.set_header("Allow", "GET");
            return;
        }
        if (!resource->redirectTo.empty()) {
            res.status = 302;
            res.set_header("Location", resource->redirectTo);
            return;
        }
        res.status = resource->status;
        if (!resource->contentEncoding.empty()) res.set_header("Content-Encoding", resource->contentEncoding);
        if (!resource->etag.empty()) res.set_header("ETag", resource->etag);
        if (!resource->lastModified.empty()) res.set_header("Last-Modified", resource->lastModified);
        const std::size_t size = resource->generatedSize.value_or(resource->body.size());
        // httplib would answer a Range by itself, If-Range or not: the ranges are ours.
        const std::size_t asked = RangeStart(req, *resource);
        if (asked >= size && asked > 0) {  // nothing there: 416
            res.status = 416;
            res.set_header("Content-Range", "bytes */" + std::to_string(size));
            return;
        }
        const std::size_t first = asked > 0 && resource->wrongRange ? asked + 1 : asked;
        const_cast<httplib::Request&>(req).ranges.clear();
        if (first > 0 && first < size) {
            res.status = 206;
            res.set_header("Content-Range",
                           "bytes " + std::to_string(first) + "-" + std::to_string(size - 1) + "/" + std::to_string(size));
            res.set_content_provider(
                size - first, resource->contentType,
                [this, resource, size, first](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    return SendPiece(*resource, size, first + offset, sink);
                });
        } else if (size == 0 && !resource->omitContentLength) {
            // A provider of length 0 would leave the length out.
            res.set_content(std::string(), resource->contentType);
            res.set_header("Content-Length", "0");
        } else if (resource->omitContentLength) {
            res.set_content_provider(resource->contentType,
                                     [this, resource, size](std::size_t offset, httplib::DataSink& sink) {
                                         if (offset >= size) {
                                             sink.done();
                                             return true;
                                         }
                                         return SendPiece(*resource, size, offset, sink);
                                     });
        } else {
            res.set_content_provider(
                size, resource->contentType,
                [this, resource, size](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    return SendPiece(*resource, size, offset, sink);
                });
        }
    }
};

FixtureServer::FixtureServer() : state_(std::make_shared<State>()) {
    State& s = *state_;
    // Enough workers for stalled responses and concurrent clients at once.
    s.server.new_task_queue = [] { return new httplib::ThreadPool(16); };
    // A paused client must not make the server give up; an idle connection must not hold
    // up the server's shutdown.
    s.server.set_write_timeout(30, 0);
    s.server.set_keep_alive_timeout(1);
    auto handler = [&s](const httplib::Request& req, httplib::Response& res) { s.Handle(req, res); };
    s.server.Get(".*", handler);  // HEAD is routed here too
    s.server.Post(".*", handler);

    s.port = s.server.bind_to_any_port("127.0.0.1");
    if (s.port <= 0) throw std::runtime_error("fixture server: cannot bind 127.0.0.1");
    // Connections wait in the backlog until the loop accepts them.
    s.listener = std::thread([&s] { s.server.listen_after_bind(); });
    // A stop before the loop runs would be lost and leave the loop running for ever.
    while (!s.server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FixtureServer::~FixtureServer() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->released.notify_all();
    state_->server.stop();
    if (state_->listener.joinable()) state_->listener.join();
}

void FixtureServer::Serve(const std::string& path, FixtureResource resource) {
    std::lock_guard lock(state_->mutex);
    state_->resources[path] = std::make_shared<const FixtureResource>(std::move(resource));
}

std::string FixtureServer::BaseUrl() const { return "http://" + HostPort(); }
std::string FixtureServer::HostPort() const { return "127.0.0.1:" + std::to_string(state_->port); }
int FixtureServer::Port() const { return state_->port; }

std::vector<RecordedRequest> FixtureServer::Requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

void FixtureServer::ReleaseStalls() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stallsReleased = true;
    }
    state_->released.notify_all();
}

std::size_t FixtureServer::BodyBytesSent() const { return state_->bodyBytesSent; }

struct SilentServer::State {
    int listener = -1;
    int port = 0;
    std::atomic<int> accepted{0};
    std::vector<int> connections;
    std::jthread acceptor;
};

SilentServer::SilentServer() : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(s.listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s.listener, 64) != 0)
        throw std::runtime_error("silent server: cannot listen on 127.0.0.1");
    ::getsockname(s.listener, reinterpret_cast<sockaddr*>(&address), &length);
    s.port = ntohs(address.sin_port);
    s.acceptor = std::jthread([&s](std::stop_token stop) {
        while (!stop.stop_requested()) {
            pollfd ready{s.listener, POLLIN, 0};
            if (::poll(&ready, 1, 20) <= 0) continue;
            const int connection = ::accept4(s.listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) continue;
            s.connections.push_back(connection);  // held open, never read
            ++s.accepted;
        }
    });
}

SilentServer::~SilentServer() {
    state_->acceptor = {};  // stops and joins
    for (int connection : state_->connections) ::close(connection);
    ::close(state_->listener);
}

std::string SilentServer::HostPort() const { return "127.0.0.1:" + std::to_string(state_->port); }
int SilentServer::Accepted() const { return state_->accepted; }

}  // namespace pw::testing
