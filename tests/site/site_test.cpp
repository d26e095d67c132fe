// The demo site exported as static files and served by a real nginx with the project's
// server block, used by the program's own network layer and lesson decisions.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/hosts.h"
#include "lessons/catalogue.h"
#include "lessons/download_worker.h"
#include "lessons/lesson_selection.h"
#include "lessons/site_catalogue.h"
#include "lessons/update_check.h"
#include "net/resumable_downloader.h"
#include "net/update_page_request.h"
#include "tests/net/net_test_support.h"
#include "tests/site/nginx_server.h"
#include "tests/support/message_recorder.h"
#include "tests/support/minisign_tool.h"
#include "tools/demo_site/demo_site.h"

namespace pw {
namespace {

using namespace pw::testing;

class SiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        // A port found free may be taken before nginx binds it: then another one.
        for (int attempt = 0; attempt < 5 && !nginx_; ++attempt) {
            const int port = ClosedLoopbackPort();
            host_ = "127.0.0.1:" + std::to_string(port);
            demo::DemoSiteOptions options;
            options.newerVersion = "2.1";
            ASSERT_EQ(demo::ExportSite(options, {root_, true, host_}), "");
            nginx_ = NginxServer::Start(PEBBLEWICK_SOURCE_DIR "/packaging/site/nginx.conf", root_, port, why);
        }
        ASSERT_NE(nginx_, nullptr) << why;
        hosts_ = Hosts{host_, host_, host_};
    }

    // The requests nginx has logged, once there are `count` of them.
    std::vector<LoggedRequest> Logged(std::size_t count) const {
        EXPECT_TRUE(WaitFor([&] { return nginx_->Log().size() >= count; }, std::chrono::seconds(30)));
        return nginx_->Log();
    }

    TempDir dir_;
    const std::string root_ = dir_.File("site");
    std::string host_;
    Hosts hosts_;
    std::unique_ptr<NginxServer> nginx_;
};

TEST_F(SiteTest, UpdateOfferedThenALessonWithAGbkPathDownloadedOnceAndPlayedFromItsCache) {
    // At start: the update page offers 2.1, to be downloaded.
    ProgramState globals{"2.0", {}, {}, 0};
    MessageRecorder messages(MessageAnswer::Yes);
    int updateDownloads = 0;
    UpdateCheck(globals, FetchUpdatePage(hosts_.SiteBaseUrl() + "test.html"),
                {messages, [](const Text&) {}, [&] { ++updateDownloads; }});
    ASSERT_EQ(messages.Requests().size(), 1u);
    EXPECT_EQ(messages.Requests()[0].caption, UpdatePromptCaption());
    EXPECT_NE(messages.Requests()[0].text.find("2.1"), std::string::npos);
    EXPECT_EQ(updateDownloads, 1);
    EXPECT_EQ(globals.CurrentUrl, hosts_.SiteBaseUrl() + "update/pebblewick21.swf");

    // The first choice: two probes find no cache file, the download fetches the movie.
    const LessonEntry lesson = *Lookup(0, 0);
    const Text url = RemoteAddress(lesson, hosts_);
    const Text cache = JoinPath(dir_.File("data"), lesson.cacheName);
    std::filesystem::create_directory(dir_.File("data"));
    std::vector<LessonStep> steps;
    ProbeLesson(url, cache, {}, {}, [&](LessonStep step) { steps.push_back(step); });
    EXPECT_EQ(steps, std::vector{LessonStep::Download});
    std::vector<DownloadEvent> events;
    DownloadWorker({1, url, cache, true}, [&](DownloadEvent event) { events.push_back(std::move(event)); }, {});
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, DownloadEvent::Kind::Completed) << ToUtf8(events.back().message);
    const std::string movie = ReadWholeFile(root_ + lesson.path);
    ASSERT_GT(movie.size(), 0u);
    EXPECT_TRUE(ReadWholeFile(cache) == movie);

    // The second choice plays the cache file: two probes, no GET.
    steps.clear();
    ProbeLesson(url, cache, {}, {}, [&](LessonStep step) { steps.push_back(step); });
    EXPECT_EQ(steps, std::vector{LessonStep::Play});

    std::vector<std::string> lessonRequests;
    for (const LoggedRequest& r : Logged(6))
        if (r.uri == WirePath(lesson.path)) lessonRequests.push_back(r.method + " " + std::to_string(r.status));
    EXPECT_EQ(lessonRequests, (std::vector<std::string>{"HEAD 200", "HEAD 200", "GET 200", "HEAD 200", "HEAD 200"}));
}

TEST_F(SiteTest, AResumedDownloadGetsTheRestOfTheLesson) {
    const LessonEntry lesson = *Lookup(1, 5);
    const std::string movie = ReadWholeFile(root_ + lesson.path);
    const std::size_t half = movie.size() / 2;
    const Text part = dir_.File("resumed.part");
    WriteWholeFile(part, movie.substr(0, half));
    MessageRecorder messages;
    EXPECT_EQ(ResumableDownloader(RemoteAddress(lesson, hosts_), part, [](auto...) { return 0; },
                                  static_cast<std::int32_t>(half), 1, messages),
              0);
    EXPECT_TRUE(ReadWholeFile(part) == movie);
    EXPECT_EQ(Logged(1).back().status, 206);
}

// With the export's signed catalogue the program fetches each lesson once and then plays
// it from its file, judged by its hash: no HEAD request at all.
TEST_F(SiteTest, WithTheSignedCatalogueALessonIsFetchedOnceAndPlayedWithNoHeadRequest) {
    const MinisignTool key;
    demo::DemoSiteOptions options;
    ASSERT_EQ(demo::ExportSite(options, {root_, true, host_, key.SecretKeyFile()}), "");
    TempDir data;
    const auto catalogue = FetchSiteCatalogue(hosts_.SiteBaseUrl(), data.Path(), key.PublicKey(), std::nullopt, {}, {});
    ASSERT_TRUE(catalogue);
    const LessonEntry& lesson = catalogue->lessons[3];
    const Text url = RemoteAddress(lesson, hosts_), cache = data.File(lesson.cacheName);
    LessonHashes hashes;
    const auto decide = [&] {
        std::vector<LessonStep> steps;
        DecideLesson(url, cache, lesson.digest, hashes, {}, {}, [&](LessonStep step) { steps.push_back(step); });
        return steps;
    };
    EXPECT_EQ(decide(), std::vector{LessonStep::Download});
    std::vector<DownloadEvent> events;
    DownloadJob job{1, url, cache, true, [&](const Text& file) { return hashes.Matches(file, *lesson.digest); }};
    DownloadWorker(job, [&](DownloadEvent event) { events.push_back(std::move(event)); }, {});
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, DownloadEvent::Kind::Completed);
    EXPECT_EQ(decide(), std::vector{LessonStep::Play});

    std::vector<std::string> requests;
    for (const LoggedRequest& r : Logged(3)) requests.push_back(r.method + " " + r.uri);
    EXPECT_EQ(requests, (std::vector<std::string>{"GET /tovel/lessons.json", "GET /tovel/lessons.json.minisig",
                                                  "GET " + WirePath(lesson.path)}));
}

std::size_t KeepHeader(char* data, std::size_t size, std::size_t count, void* headers) {
    static_cast<std::string*>(headers)->append(data, size * count);
    return size * count;
}

TEST_F(SiteTest, EachFileComesWithItsTypeAndValidators) {
    const std::string gbkPage = "text/html; charset=gbk", flash = "application/x-shockwave-flash";
    const struct {
        std::string path;
        long status;
        std::string type;
    } rows[] = {{"/tovel/index.html", 200, gbkPage},
                {"/tovel/gb/", 200, gbkPage},
                {"/tovel/test.html", 200, gbkPage},
                {WirePath(Lookup(0, 0)->path), 200, flash},
                {"/tovel/update/pebblewick21.swf", 200, flash},
                {"/tovel/lessons.json", 200, "application/json"},
                {"/tovel/nothing.html", 404, gbkPage}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
        std::string headers;
        const std::string url = "http://" + host_ + row.path;
        curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
        curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, KeepHeader);
        curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &headers);
        ASSERT_EQ(curl_easy_perform(curl.get()), CURLE_OK);
        long status = 0;
        const char* type = nullptr;
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
        curl_easy_getinfo(curl.get(), CURLINFO_CONTENT_TYPE, &type);
        EXPECT_EQ(status, row.status);
        EXPECT_EQ(std::string(type ? type : ""), row.type);
        if (row.status == 200) {
            EXPECT_NE(headers.find("\r\nETag: \""), std::string::npos);
            EXPECT_NE(headers.find("\r\nLast-Modified: "), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace pw
