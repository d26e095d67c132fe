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
#include "tests/site/served_site.h"
#include "tests/support/message_recorder.h"
#include "tests/support/scoped_env.h"
#include "tests/support/minisign_tool.h"
#include "tools/demo_site/demo_site.h"

namespace pw {
namespace {

using namespace pw::testing;

class SiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        demo::DemoSiteOptions options;
        options.newerVersion = "2.1";
        ServedSite site = ServeDemoSite(root_, options, nullptr, why);
        ASSERT_NE(site.nginx, nullptr) << why;
        host_ = site.host;
        nginx_ = std::move(site.nginx);
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
    DownloadJob job{1, url, cache, true, [&](const Text& file, const SwfByteSource& arriving) {
                        return hashes.Matches(file, *lesson.digest, arriving);
                    }};
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

// The site over https, from nginx's TLS block with a certificate of the test's own
// authority: the program's requests reach it only when they trust that authority and the
// certificate names the address asked for.
enum class Trust { SystemOnly, File, Folder };  // SSL_CERT_FILE, SSL_CERT_DIR name the test's authority

struct TlsCase {
    const char* name;
    const char* certifiedAddress;  // the server certificate's one IP address
    Trust trust;
    bool reaches;
};

void PrintTo(const TlsCase& c, std::ostream* os) { *os << c.name; }

class SiteOverTls : public ::testing::TestWithParam<TlsCase> {};

TEST_P(SiteOverTls, UpdatePageCatalogueAndLessonComeOnlyFromATrustedCertificate) {
    const TlsCase& c = GetParam();
    TempDir dir;
    const auto tls = MakeTestAuthority(dir.Path(), c.certifiedAddress);
    ASSERT_NE(tls, nullptr) << "openssl could not make the test's certificates";
    const MinisignTool key;
    std::string why;
    demo::DemoSiteOptions options;
    options.newerVersion = "2.1";
    const ServedSite site = ServeDemoSite(dir.File("site"), options, tls.get(), why, key.SecretKeyFile());
    ASSERT_NE(site.nginx, nullptr) << why;
    const Hosts hosts{site.host, site.host, site.host};
    const std::string folder = dir.File("authorities");
    std::filesystem::create_directory(folder);
    std::filesystem::copy_file(tls->authority, folder + "/test.pem");
    ASSERT_TRUE(RunTool({"openssl", "rehash", folder}));
    const ScopedEnv bundle("CURL_CA_BUNDLE", nullptr);
    const ScopedEnv file("SSL_CERT_FILE", c.trust == Trust::File ? tls->authority.c_str() : nullptr);
    const ScopedEnv folders("SSL_CERT_DIR", c.trust == Trust::Folder ? folder.c_str() : nullptr);

    ProgramState globals{"2.0", {}, {}, 0};
    MessageRecorder messages(MessageAnswer::No);
    UpdateCheck(globals, FetchUpdatePage(hosts.SiteBaseUrl() + "test.html"), {messages, [](const Text&) {}, [] {}});
    EXPECT_EQ(messages.Requests().size(), c.reaches ? 1u : 0u);
    if (c.reaches) {
        EXPECT_EQ(globals.CurrentUrl, site.host + "/tovel/update/pebblewick21.swf");
    }
    TempDir data;
    const auto catalogue = FetchSiteCatalogue(hosts.SiteBaseUrl(), data.Path(), key.PublicKey(), std::nullopt, {}, {});
    EXPECT_EQ(catalogue.has_value(), c.reaches);
    if (catalogue) {
        EXPECT_EQ(catalogue->lessons.size(), LessonCatalogue().size());
    }

    const LessonEntry lesson = *Lookup(0, 0);
    const Text url = RemoteAddress(lesson, hosts);
    const Text cache = dir.File(lesson.cacheName);
    std::vector<DownloadEvent> events;
    DownloadWorker({1, url, cache, true}, [&](DownloadEvent event) { events.push_back(std::move(event)); }, {});
    ASSERT_FALSE(events.empty());
    std::vector<LessonStep> steps;
    ProbeLesson(url, cache, {}, {}, [&](LessonStep step) { steps.push_back(step); });
    if (c.reaches) {
        EXPECT_EQ(events.back().kind, DownloadEvent::Kind::Completed) << ToUtf8(events.back().message);
        EXPECT_TRUE(ReadWholeFile(cache) == ReadWholeFile(dir.File("site") + lesson.path));
        EXPECT_EQ(steps, std::vector{LessonStep::Play});
    } else {
        EXPECT_EQ(events.back().kind, DownloadEvent::Kind::Failed);
        EXPECT_EQ(events.back().message, Gbk<"不能打开该URL!">());
        EXPECT_FALSE(std::filesystem::exists(cache));
        EXPECT_EQ(steps, std::vector{LessonStep::Download});
        // Refused in the handshake: not one request reached the server.
        EXPECT_TRUE(site.nginx->Log().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Certificates, SiteOverTls,
                         ::testing::Values(TlsCase{"AuthorityInAFile", "127.0.0.1", Trust::File, true},
                                           TlsCase{"AuthorityInAFolder", "127.0.0.1", Trust::Folder, true},
                                           TlsCase{"UnknownAuthority", "127.0.0.1", Trust::SystemOnly, false},
                                           TlsCase{"CertificateOfAnotherAddress", "127.0.0.2", Trust::File, false}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace pw
