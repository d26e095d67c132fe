#include "net/update_page_request.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tests/net/net_test_support.h"
#include "tests/support/fixture_server.h"
#include "tests/support/scoped_env.h"

namespace pw {
namespace {

using testing::FixtureServer;

const std::string kPage = "<html><p>////\xBF\xAA\xCA\xBC</p></html>";  // GBK bytes, returned as they are

TEST(FetchUpdatePageTest, SendsAnHttp10GetWithItsOwnHeaders) {
    FixtureServer server;
    server.Serve("/tovel/test.html", {.body = kPage, .contentType = "text/html"});

    EXPECT_EQ(FetchUpdatePage(server.BaseUrl() + "/tovel/test.html"), kPage);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.target, "/tovel/test.html");
    EXPECT_EQ(r.version, "HTTP/1.0");
    EXPECT_EQ(r.Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
    EXPECT_EQ(testing::HeaderCount(r, "User-Agent"), 1u);
    EXPECT_EQ(r.Header("Accept"), "*/*");
    EXPECT_EQ(r.Header("Pragma"), "no-cache");
    EXPECT_FALSE(r.Header("Accept-Encoding"));
}

TEST(FetchUpdatePageTest, ErrorPageBodyIsReturned) {
    FixtureServer server;
    server.Serve("/tovel/test.html", {.body = "<html>Not here</html>", .status = 404});
    EXPECT_EQ(FetchUpdatePage(server.BaseUrl() + "/tovel/test.html"), "<html>Not here</html>");
}

TEST(FetchUpdatePageTest, WhatArrivedBeforeABreakOffIsReturned) {
    FixtureServer server;
    const std::string page = FixtureServer::GeneratedBody(30000);
    server.Serve("/tovel/test.html", {.body = page, .breakOffAfter = 20000});
    EXPECT_EQ(FetchUpdatePage(server.BaseUrl() + "/tovel/test.html"), page.substr(0, 20000));
}

TEST(FetchUpdatePageTest, APageLongerThanOneMebibyteIsNoPage) {
    FixtureServer server;
    for (const std::size_t size : {kUpdatePageLimit, kUpdatePageLimit + 1}) {
        const std::string page = FixtureServer::GeneratedBody(size);
        server.Serve("/tovel/test.html", {.body = page});
        const Text body = FetchUpdatePage(server.BaseUrl() + "/tovel/test.html");
        EXPECT_TRUE(body == (size <= kUpdatePageLimit ? page : "")) << size << " bytes gave " << body.size();
    }
}

TEST(FetchUpdatePageTest, TheProgramWaitsFiveSecondsToConnectAndFifteenInAll) {
    const PageTimeouts timeouts;
    EXPECT_EQ(timeouts.connect, std::chrono::seconds(5));
    EXPECT_EQ(timeouts.total, std::chrono::seconds(15));
}

TEST(FetchUpdatePageTest, SilentSiteIsGivenUpAfterTheTotalTimeOut) {
    // The page starts and then nothing more comes: the start-up must not wait forever,
    // and what came before the silence is returned.
    FixtureServer server;
    const std::string page = FixtureServer::GeneratedBody(30000);
    server.Serve("/tovel/test.html", {.body = page, .chunkSize = 1000, .stallAfter = 5000});
    const Text body = FetchUpdatePage(server.BaseUrl() + "/tovel/test.html",
                                      {.connect = std::chrono::seconds(5), .total = std::chrono::milliseconds(500)});
    server.ReleaseStalls();
    EXPECT_EQ(body, page.substr(0, 5000));  // what came is parsed all the same
}

TEST(FetchUpdatePageTest, SiteThatNeverAnswersGivesAnEmptyPage) {
    // Connected, but not a byte of an answer before the total time-out.
    FixtureServer server;
    server.Serve("/tovel/test.html", {.body = kPage, .stallAfter = 0});
    const Text body = FetchUpdatePage(server.BaseUrl() + "/tovel/test.html",
                                      {.connect = std::chrono::seconds(5), .total = std::chrono::milliseconds(300)});
    server.ReleaseStalls();
    EXPECT_EQ(body, "");
}

TEST(FetchUpdatePageTest, UnreachableSiteGivesAnEmptyPage) {
    EXPECT_EQ(FetchUpdatePage("http://127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()) + "/tovel/test.html"),
              "");
}

TEST(FetchUpdatePageTest, SystemProxyIsBypassed) {
    FixtureServer site;
    FixtureServer proxy;
    site.Serve("/tovel/test.html", {.body = kPage});
    const Text page = [&] {
        const testing::ScopedEnv useProxy("http_proxy", proxy.BaseUrl());
        return FetchUpdatePage(site.BaseUrl() + "/tovel/test.html");
    }();
    EXPECT_EQ(page, kPage);
    EXPECT_TRUE(proxy.Requests().empty());
}

}  // namespace
}  // namespace pw
