#include "net/remote_size_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>

#include "tests/net/net_test_support.h"
#include "tests/support/fixture_server.h"

namespace pw {
namespace {

using testing::FixtureResource;
using testing::FixtureServer;

// The probe has no message port: whatever happens, it answers by its value alone.
class RemoteSizeProbeTest : public ::testing::Test {
protected:
    FixtureServer server;
};

TEST_F(RemoteSizeProbeTest, ContentLengthOfA200IsTheSizeAndNoBodyTravels) {
    server.Serve("/erly/big.swf", {.generatedSize = 1048576, .stallAfter = 0});  // a body would never come
    EXPECT_EQ(RemoteSizeProbe(server.BaseUrl() + "/erly/big.swf"), 1048576.0);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "HEAD");
    server.ReleaseStalls();
}

TEST_F(RemoteSizeProbeTest, MissingContentLengthIsZero) {
    server.Serve("/a.swf", {.body = "abc", .omitContentLength = true});
    EXPECT_EQ(RemoteSizeProbe(server.BaseUrl() + "/a.swf"), 0.0);
}

TEST_F(RemoteSizeProbeTest, EmptyResourceIsZero) {
    server.Serve("/a.swf", {});
    EXPECT_EQ(RemoteSizeProbe(server.BaseUrl() + "/a.swf"), 0.0);
}

TEST_F(RemoteSizeProbeTest, RedirectIsFollowedToTheResource) {
    server.Serve("/old.swf", {.redirectTo = "/new.swf"});
    server.Serve("/new.swf", {.body = std::string(4321, 'x')});
    EXPECT_EQ(RemoteSizeProbe(server.BaseUrl() + "/old.swf"), 4321.0);
}

TEST_F(RemoteSizeProbeTest, GbkPathReachesTheServerAsTheSameBytes) {
    const Text path = FromUtf8("/erly/狼来了.swf");
    server.Serve(path, {.body = "wolf"});
    EXPECT_EQ(RemoteSizeProbe(server.BaseUrl() + path), 4.0);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].target, "/erly/" + testing::PercentEncoded(FromUtf8("狼来了")) + ".swf");
}

struct FailingCase {
    const char* name;
    FixtureResource resource;
};

// Test names and failure messages show the case, not its bytes.
void PrintTo(const FailingCase& c, std::ostream* os) { *os << c.name; }

class ProbeStatusTest : public RemoteSizeProbeTest, public ::testing::WithParamInterface<FailingCase> {};

TEST_P(ProbeStatusTest, AnythingButA200IsMinusOne) {
    server.Serve("/a.swf", GetParam().resource);
    EXPECT_EQ(RemoteSizeProbe(server.BaseUrl() + "/a.swf"), -1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, ProbeStatusTest,
    ::testing::Values(FailingCase{"HeadRefused", {.body = "movie", .refuseHead = true}},
                      FailingCase{"NotFound", {.body = "gone", .status = 404}},
                      FailingCase{"ServerError", {.body = "oops", .status = 500}},
                      FailingCase{"PartialContent", {.body = "part", .status = 206}},
                      FailingCase{"RedirectLoop", {.redirectTo = "/a.swf"}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(RemoteSizeProbeTest, ServerThatNeverAnswersIsMinusOneAfterTheTotalTimeOut) {
    server.Serve("/a.swf", {.body = "movie", .stallHead = true});
    EXPECT_EQ(RemoteSizeProbe(server.BaseUrl() + "/a.swf",
                              {.connect = std::chrono::seconds(5), .total = std::chrono::milliseconds(300)}),
              -1.0);
    server.ReleaseStalls();
}

TEST_F(RemoteSizeProbeTest, UnreachableServersAreMinusOne) {
    EXPECT_EQ(RemoteSizeProbe("http://127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()) + "/a.swf"), -1.0);
    EXPECT_EQ(RemoteSizeProbe(""), -1.0);
}

}  // namespace
}  // namespace pw
