// libcurl is loaded at the first request, not with the program. This test program links
// pebblewick_net without libcurl, as the program does, and has a main of its own (the
// shared test main would load libcurl first).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "net/curl_library.h"
#include "net/remote_size_probe.h"
#include "net/update_page_request.h"
#include "tests/support/fixture_server.h"

namespace pw {
namespace {

using testing::FixtureServer;

bool CurlIsLoaded() {
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_NOLOAD);
    if (library) dlclose(library);
    return library != nullptr;
}

// One test, in order: the state before the first request is only seen once per process.
TEST(CurlLoadingTest, LoadedByTheFirstRequestsOnSeveralThreadsAndStillUsableAfterTheCleanUp) {
    CleanUpCurl();  // before anything was loaded: loads nothing
    ASSERT_FALSE(CurlIsLoaded());

    FixtureServer server;
    server.Serve("/lesson.swf", {.generatedSize = 4321});
    server.Serve("/tovel/test.html", {.body = "update page", .contentType = "text/html"});

    // The first requests come from several workers at once, as the probes and the
    // update check may: one of them loads libcurl and starts it, the others wait for it.
    std::vector<double> sizes(4, 0.0);
    {
        std::vector<std::jthread> workers;
        for (double& size : sizes)
            workers.emplace_back([&] { size = RemoteSizeProbe(server.BaseUrl() + "/lesson.swf"); });
    }
    for (double size : sizes) EXPECT_EQ(size, 4321.0);
    EXPECT_TRUE(CurlIsLoaded());
    const CurlFunctions* first = LoadCurl();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(LoadCurl(), first);  // loaded once

    // The program's end cleans up; a request made after that (another program object
    // in the same process) still works, libcurl starting itself again.
    CleanUpCurl();
    CleanUpCurl();
    EXPECT_EQ(FetchUpdatePage(server.BaseUrl() + "/tovel/test.html"), "update page");
    EXPECT_EQ(RemoteSizeProbe(server.BaseUrl() + "/lesson.swf"), 4321.0);
}

}  // namespace
}  // namespace pw

int main(int argc, char** argv) {
    // Requests go to the fixture server on 127.0.0.1 only, never through a proxy.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        unsetenv(name);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
