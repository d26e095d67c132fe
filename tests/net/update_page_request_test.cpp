#include "net/update_page_request.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "tests/net/net_test_support.h"
#include "tests/support/fixture_server.h"

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

TEST(FetchUpdatePageTest, SilentSiteIsGivenUpAfterTheTotalTimeOut) {
    // The page starts and then nothing more comes: the start-up must not wait forever.
    FixtureServer server;
    const std::string page = FixtureServer::GeneratedBody(30000);
    server.Serve("/tovel/test.html", {.body = page, .chunkSize = 1000, .stallAfter = 5000});
    const auto start = std::chrono::steady_clock::now();
    const Text body = FetchUpdatePage(server.BaseUrl() + "/tovel/test.html");
    const auto waited = std::chrono::steady_clock::now() - start;
    server.ReleaseStalls();
    EXPECT_EQ(body, page.substr(0, 5000));  // what came is parsed all the same
    EXPECT_GE(waited, std::chrono::seconds(14));
    EXPECT_LT(waited, std::chrono::seconds(20));
}

TEST(FetchUpdatePageTest, UnreachableSiteGivesAnEmptyPage) {
    EXPECT_EQ(FetchUpdatePage("http://127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()) + "/tovel/test.html"),
              "");
}

TEST(FetchUpdatePageTest, SystemProxyIsBypassed) {
    FixtureServer site;
    FixtureServer proxy;
    site.Serve("/tovel/test.html", {.body = kPage});
    setenv("http_proxy", proxy.BaseUrl().c_str(), 1);
    const Text page = FetchUpdatePage(site.BaseUrl() + "/tovel/test.html");
    unsetenv("http_proxy");
    EXPECT_EQ(page, kPage);
    EXPECT_TRUE(proxy.Requests().empty());
}

}  // namespace
}  // namespace pw
