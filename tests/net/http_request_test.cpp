#include "net/http_request.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>

#include "tests/net/net_test_support.h"
#include "tests/support/fixture_server.h"

namespace pw {
namespace {

using testing::FixtureResource;
using testing::FixtureServer;

struct WireCase {
    std::string url;
    std::string wire;
};

// Test names and failure messages show the case, not its bytes.
void PrintTo(const WireCase& c, std::ostream* os) { *os << c.url; }

class UrlForWireTest : public ::testing::TestWithParam<WireCase> {};

TEST_P(UrlForWireTest, EncodesOnlyWhatARequestLineCannotHold) {
    EXPECT_EQ(UrlForWire(GetParam().url), GetParam().wire);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, UrlForWireTest,
    ::testing::Values(
        WireCase{"http://h:81/a/b.swf?x=1&y=~", "http://h:81/a/b.swf?x=1&y=~"},
        WireCase{"http://h/a b", "http://h/a%20b"},
        WireCase{"http://h/%41%e4", "http://h/%41%e4"},  // existing escapes stay as written
        WireCase{std::string("http://h/\xB0\xAE\xB3\xD4.swf"), "http://h/%B0%AE%B3%D4.swf"},
        WireCase{std::string("http://h/\t\x01\x7F\x80\xFF"), "http://h/%09%01%7F%80%FF"},
        WireCase{"", ""}));

TEST(HttpRequestTest, SmallReadsOfALargeBodyReassembleItExactly) {
    // The reader takes far less per call than libcurl delivers, so libcurl is paused and
    // resumed many times; nothing may be lost, doubled or reordered.
    FixtureServer server;
    const std::size_t size = 300000;
    FixtureResource resource;
    resource.generatedSize = size;
    server.Serve("/big.bin", resource);

    HttpRequest request({});
    ASSERT_EQ(request.Open(server.BaseUrl() + "/big.bin"), HttpRequest::OpenResult::Opened);
    EXPECT_EQ(request.Status(), 200);
    EXPECT_EQ(request.ContentLength(), std::optional<std::int64_t>(size));

    std::string body;
    char buffer[997];
    for (;;) {
        const auto read = request.Read(buffer, sizeof buffer);
        if (read.status != HttpRequest::ReadStatus::Data) {
            EXPECT_EQ(read.status, HttpRequest::ReadStatus::End);
            break;
        }
        ASSERT_GT(read.bytes, 0u);
        ASSERT_LE(read.bytes, sizeof buffer);
        body.append(buffer, read.bytes);
    }
    EXPECT_EQ(body, FixtureServer::GeneratedBody(size));
}

TEST(HttpRequestTest, EndOfHeadersIsTheFinalResponseAfterRedirects) {
    FixtureServer server;
    FixtureResource target;
    target.body = "final";
    target.status = 203;
    server.Serve("/final", target);
    FixtureResource hop;
    hop.redirectTo = "/final";
    hop.body = "redirect body is never the answer";
    server.Serve("/hop", hop);

    HttpRequest request({});
    ASSERT_EQ(request.Open(server.BaseUrl() + "/hop"), HttpRequest::OpenResult::Opened);
    EXPECT_EQ(request.Status(), 203);
    EXPECT_EQ(request.ContentLength(), std::optional<std::int64_t>(5));
    char buffer[64];
    const auto read = request.Read(buffer, sizeof buffer);
    ASSERT_EQ(read.status, HttpRequest::ReadStatus::Data);
    EXPECT_EQ(std::string(buffer, read.bytes), "final");
    EXPECT_EQ(request.Read(buffer, sizeof buffer).status, HttpRequest::ReadStatus::End);
}

TEST(HttpRequestTest, ReadAtHandGivesWhatArrivedAndNotYetWhileTheServerIsQuiet) {
    FixtureServer server;
    const std::string body = FixtureServer::GeneratedBody(300000);
    server.Serve("/quiet.bin", {.body = body, .stallAfter = 200000});

    HttpRequest request({});
    ASSERT_EQ(request.Open(server.BaseUrl() + "/quiet.bin"), HttpRequest::OpenResult::Opened);
    std::string received;
    char buffer[10240];
    // Before the stall, NotYet only means that the next bytes are still on their way.
    while (received.size() < 200000) {
        auto read = request.ReadAtHand(buffer, sizeof buffer);
        if (read.status == HttpRequest::ReadStatus::NotYet) read = request.Read(buffer, sizeof buffer);
        ASSERT_EQ(read.status, HttpRequest::ReadStatus::Data);
        received.append(buffer, read.bytes);
    }
    EXPECT_EQ(received.size(), 200000u);
    // Nothing more comes while the server is quiet: ReadAtHand does not wait for it.
    EXPECT_EQ(request.ReadAtHand(buffer, sizeof buffer).status, HttpRequest::ReadStatus::NotYet);
    server.ReleaseStalls();
    for (;;) {
        const auto read = request.Read(buffer, sizeof buffer);
        if (read.status != HttpRequest::ReadStatus::Data) {
            EXPECT_EQ(read.status, HttpRequest::ReadStatus::End);
            break;
        }
        received.append(buffer, read.bytes);
    }
    EXPECT_TRUE(received == body) << "the body came back in " << received.size() << " bytes, not as sent";
}

}  // namespace
}  // namespace pw
