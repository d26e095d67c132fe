#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pw::testing {

// What the fixture server answers at one path, and how it misbehaves on purpose.
struct FixtureResource {
    std::string body{};
    // When set, the body is this many bytes of GeneratedByte(offset, size), made while sending.
    std::optional<std::size_t> generatedSize{};
    int status = 200;
    std::string contentType = "application/octet-stream";
    bool omitContentLength = false;  // body ended by closing the connection
    bool refuseHead = false;         // HEAD answered with 405
    // When not 0, the body goes out in pieces of this size, each sent on its own, so the
    // client sees short reads.
    std::size_t chunkSize = 0;
    std::chrono::milliseconds chunkDelay{0};    // pause before every piece but the first
    std::optional<std::size_t> breakOffAfter{}; // close the connection after this many body bytes
    std::optional<std::size_t> stallAfter{};    // send nothing more after this many until ReleaseStalls()
    std::size_t extraBytes = 0;                 // bytes sent beyond the Content-Length
    std::string redirectTo{};                   // not empty: answer 302 with this Location
    bool stallHead = false;                     // a HEAD gets no answer until ReleaseStalls()
    std::string contentEncoding{};              // not empty: sent as Content-Encoding (the body is sent as given)
    // Sent as ETag and Last-Modified when not empty. A "Range: bytes=N-" is answered with
    // 206 and the rest, unless `ignoreRange`, or an If-Range names another validator and
    // not `ignoreIfRange` (a careless cache's way).
    std::string etag = "\"fixture-1\"";
    std::string lastModified{};
    bool ignoreRange = false;
    bool ignoreIfRange = false;
    bool wrongRange = false;  // a Range is answered with a range one byte later
};

struct RecordedRequest {
    std::string method;
    std::string target;   // the request-target bytes exactly as received
    std::string version;  // "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> headers;

    // The first value of the header `name` (case-insensitive), or nothing.
    std::optional<std::string> Header(std::string_view name) const;
};

// An HTTP server on 127.0.0.1 at a free port, running in-process for one test.
class FixtureServer {
public:
    FixtureServer();
    ~FixtureServer();
    FixtureServer(const FixtureServer&) = delete;
    FixtureServer& operator=(const FixtureServer&) = delete;

    // Serves `resource` at `path`: the raw path bytes (GBK allowed, no percent-encoding),
    // matched against the percent-decoded path of each request. Other paths answer 404.
    void Serve(const std::string& path, FixtureResource resource);

    std::string BaseUrl() const;   // "http://127.0.0.1:PORT"
    std::string HostPort() const;  // "127.0.0.1:PORT"
    int Port() const;

    // Every request received so far, in order of arrival.
    std::vector<RecordedRequest> Requests() const;

    // Lets every stalled response (and every later one) go on.
    void ReleaseStalls();

    // Body bytes sent so far, over all responses.
    std::size_t BodyBytesSent() const;

    // The bytes of a generated body.
    // Byte `offset` of a generated body of `size` bytes: from 21 bytes on, a whole
    // uncompressed movie ("FWS", version 10, its length, one tag and the End tag), so that
    // a download of it counts as a lesson; the tag holds a pattern in which a misplaced
    // piece shows.
    static char GeneratedByte(std::size_t offset, std::size_t size);
    static std::string GeneratedBody(std::size_t size);

private:
    struct State;
    std::shared_ptr<State> state_;
};

// A server on 127.0.0.1 that accepts connections and never answers, nor reads.
class SilentServer {
public:
    SilentServer();
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    std::string HostPort() const;
    // Connections accepted so far.
    int Accepted() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pw::testing
