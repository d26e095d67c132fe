#include "tools/demo_site/demo_site.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/text.h"
#include "lessons/catalogue.h"
#include "lessons/catalogue_file.h"
#include "lessons/lesson_pictures.h"
#include "lessons/update_check.h"
#include "tests/net/net_test_support.h"
#include "tests/support/minisign_tool.h"
#include "tools/demo_site/catalogue_signing.h"
#include "tools/swf/sample_lessons.h"

namespace pw::demo {
namespace {

using namespace std::chrono_literals;
using pw::testing::WirePath;

// ---- a small libcurl client ----

struct Reply {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
    std::string contentType;
    curl_off_t contentLength = -1;

    // The value of the response's header `name`; empty when it has none.
    std::string Header(const char* name) const { return headers.count(name) ? headers.at(name) : std::string(); }
    std::map<std::string, std::string> headers;  // as the server spelled their names
};

enum class Method { Get, Head, Post };

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

// Where a body goes, and whom to tell when bytes of it have come.
struct Collector {
    std::string* body;
    const std::function<void()>* onBytes;
};

std::size_t CollectHeader(char* data, std::size_t size, std::size_t count, void* target) {
    const std::string line(data, size * count);
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
        const std::size_t end = line.find_last_not_of("\r\n");
        (*static_cast<std::map<std::string, std::string>*>(target))[line.substr(0, colon)] =
            line.substr(colon + 2, end + 1 - (colon + 2));
    }
    return size * count;
}

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* target) {
    const auto* collector = static_cast<Collector*>(target);
    collector->body->append(data, size * count);
    if (*collector->onBytes && size * count > 0) (*collector->onBytes)();
    return size * count;
}

// `onBytes` runs on the calling thread after every piece of the body that arrives.
Reply Fetch(const std::string& url, Method method = Method::Get, const std::string& postBody = "",
            const std::function<void()>& onBytes = {}, const std::vector<std::string>& headerLines = {}) {
    Reply reply;
    Collector collector{&reply.body, &onBytes};
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr, &curl_slist_free_all);
    for (const std::string& line : headerLines) headers.reset(curl_slist_append(headers.release(), line.c_str()));
    curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, CollectHeader);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &reply.headers);
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_PROXY, "");
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &collector);
    if (method == Method::Head) curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
    if (method == Method::Post) curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, postBody.c_str());
    reply.code = curl_easy_perform(curl.get());
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply.status);
    const char* type = nullptr;
    if (curl_easy_getinfo(curl.get(), CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) reply.contentType = type;
    curl_easy_getinfo(curl.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &reply.contentLength);
    return reply;
}

std::string AsString(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// A movie is a SWF: "FWS" (plain) or "CWS" (zlib), a version, and the length of the
// whole movie as it is uncompressed; a plain movie's length is its own size.
void ExpectSwf(const std::string& movie) {
    ASSERT_GE(movie.size(), 8u);
    const std::string signature = movie.substr(0, 3);
    ASSERT_TRUE(signature == "FWS" || signature == "CWS") << signature;
    EXPECT_GT(static_cast<unsigned char>(movie[3]), 0);
    std::uint32_t length = 0;
    for (int i = 7; i >= 4; --i) length = length << 8 | static_cast<unsigned char>(movie[static_cast<std::size_t>(i)]);
    if (signature == "FWS") EXPECT_EQ(length, movie.size());
    else EXPECT_GE(length, movie.size());
}

std::unique_ptr<DemoSite> StartSite(DemoSiteOptions options) {
    options.port = 0;
    auto site = DemoSite::Start(options);
    EXPECT_NE(site, nullptr);
    return site;
}

// ---- the command line ----

CommandLine Parse(std::vector<const char*> args) { return ParseCommandLine(args); }

TEST(DemoSiteCommandLine, DefaultsServeTheProgramsOwnHostAndVersion) {
    const CommandLine parsed = Parse({});
    ASSERT_TRUE(parsed.options);
    EXPECT_EQ(parsed.options->port, 28960);
    EXPECT_EQ(parsed.options->newerVersion, "");
    EXPECT_EQ(parsed.options->way, UpdateWay::Download);
    EXPECT_GT(parsed.options->rateKbPerSecond, 0u);
}

TEST(DemoSiteCommandLine, ReadsEveryOption) {
    const CommandLine parsed =
        Parse({"--port", "0", "--newer", "2.1", "--way", "browser", "--rate", "0", "--break-once"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_TRUE(parsed.options->breakOnce);
    EXPECT_EQ(parsed.options->port, 0);
    EXPECT_EQ(parsed.options->newerVersion, "2.1");
    EXPECT_EQ(parsed.options->way, UpdateWay::Browser);
    EXPECT_EQ(parsed.options->rateKbPerSecond, 0u);

    const CommandLine exporting = Parse({"--export", "site", "--force", "--host", "https://example.org:8080", "--newer",
                                         "2.1", "--sign", "site.key"});
    ASSERT_TRUE(exporting.exportTo) << exporting.error;
    EXPECT_EQ(exporting.exportTo->directory, "site");
    EXPECT_EQ(exporting.exportTo->signingKeyFile, "site.key");
    EXPECT_TRUE(exporting.exportTo->force);
    EXPECT_EQ(exporting.exportTo->siteHost, "https://example.org:8080");
    EXPECT_EQ(exporting.options->newerVersion, "2.1");
    EXPECT_FALSE(parsed.exportTo);

    const CommandLine download = Parse({"--way", "download", "--port", "65535"});
    ASSERT_TRUE(download.options) << download.error;
    EXPECT_EQ(download.options->way, UpdateWay::Download);
    EXPECT_EQ(download.options->port, 65535);
}

TEST(DemoSiteCommandLine, RefusesWrongArguments) {
    const std::vector<std::vector<const char*>> wrong = {
        {"--port", "65536"},  {"--port", "-1"},   {"--port", "80x"},     {"--port"},
        {"--way", "ftp"},     {"--rate", "fast"}, {"--rate", "-5"},      {"--newer", ""},
        {"--newer", "2.1</p>"}, {"--newer", "2.1\n"}, {"--colour", "red"}, {"2.1"},
        {"--export"}, {"--export", ""}, {"--force"}, {"--host", "example.org"},
        {"--export", "d", "--host", "a/b"}, {"--export", "d", "--port", "1"}, {"--export", "d", "--break-once"},
        {"--sign", "site.key"}};
    for (const auto& args : wrong) {
        const CommandLine parsed = Parse(args);
        EXPECT_FALSE(parsed.options) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_FALSE(parsed.error.empty());
    }
    EXPECT_TRUE(Parse({"--port", "1", "--help"}).helpRequested);
}

// ---- the site ----

class DemoSiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        DemoSiteOptions options;
        options.rateKbPerSecond = 0;
        site_ = StartSite(options);
        ASSERT_NE(site_, nullptr);
    }
    std::string Url(const std::string& path) const { return "http://" + site_->HostPort() + path; }

    std::unique_ptr<DemoSite> site_;
};

TEST_F(DemoSiteTest, BaseUrlIsTheSitesFolderOnLoopback) {
    EXPECT_EQ(site_->BaseUrl(), "http://127.0.0.1:" + std::to_string(site_->Port()) + "/tovel/");
}

TEST_F(DemoSiteTest, EveryPageIsSelfContainedUtf8Html) {
    for (const char* path : {"/tovel/index.html", "/tovel/", "/tovel/gb/", "/tovel/gb/index.html", "/tovel/hybb.html",
                             "/tovel/txbb.html", "/tovel/bbgcs.html", "/tovel/mft.html", "/tovel/update.html"}) {
        SCOPED_TRACE(path);
        const Reply reply = Fetch(Url(path));
        ASSERT_EQ(reply.code, CURLE_OK);
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.contentType, "text/html; charset=utf-8");
        EXPECT_EQ(reply.body.rfind("<!DOCTYPE html>", 0), 0u);
        EXPECT_NE(reply.body.find("<meta charset=\"utf-8\">"), std::string::npos);
        EXPECT_NE(reply.body.find("Pebblewick"), std::string::npos);
        // Nothing is fetched from elsewhere and nothing needs a script.
        EXPECT_EQ(reply.body.find("http://"), std::string::npos);
        EXPECT_EQ(reply.body.find("https://"), std::string::npos);
        EXPECT_EQ(reply.body.find("<script"), std::string::npos);
        EXPECT_EQ(reply.body.find("url("), std::string::npos);
        // The bytes are UTF-8 that survives the round trip through GBK unchanged.
        EXPECT_EQ(ToUtf8(FromUtf8(reply.body)), reply.body);
    }
}

TEST_F(DemoSiteTest, HomePageNamesTheLessonGroups) {
    const Reply reply = Fetch(Url("/tovel/index.html"));
    for (const char* group : {"儿童故事", "童话故事", "益智游戏"}) EXPECT_NE(reply.body.find(group), std::string::npos) << group;
}

TEST_F(DemoSiteTest, GuestbookFormIsThankedAndStoresNothing) {
    const Reply form = Fetch(Url("/tovel/gb/"));
    EXPECT_NE(form.body.find("<form method=\"post\" action=\"./\">"), std::string::npos);

    const Reply thanks = Fetch(Url("/tovel/gb/"), Method::Post, "name=%3Cb%3E&words=hello+there");
    ASSERT_EQ(thanks.code, CURLE_OK);
    EXPECT_EQ(thanks.status, 200);
    EXPECT_NE(thanks.body.find("谢谢您的留言"), std::string::npos);
    // What was written is neither echoed nor kept.
    EXPECT_EQ(thanks.body.find("hello"), std::string::npos);
    EXPECT_EQ(Fetch(Url("/tovel/gb/")).body, form.body);

    EXPECT_EQ(Fetch(Url("/tovel/hybb.html"), Method::Post, "a=b").status, 405);
}

TEST_F(DemoSiteTest, UnknownPathsAnswer404WithAPage) {
    const Text utf8LessonPath = LessonCatalogue()[0].path;  // the right name in the wrong encoding
    for (const std::string& path : {std::string("/tovel/nothing.html"), std::string("/tovel/test.htm"),
                                    std::string("/erly/"), std::string("/erly/nothing.swf"),
                                    std::string("/ambervale-com/2010122/"), std::string("/tovel/update/"),
                                    std::string("/tovel/gb/x"), WirePath(utf8LessonPath)}) {
        SCOPED_TRACE(path);
        const Reply reply = Fetch(Url(path));
        ASSERT_EQ(reply.code, CURLE_OK);
        EXPECT_EQ(reply.status, 404);
        EXPECT_NE(reply.body.find("<meta charset=\"utf-8\">"), std::string::npos);
        EXPECT_EQ(Fetch(Url(path), Method::Head).status, 404);
    }
}

TEST_F(DemoSiteTest, SiteRootsLeadToTheHomePage) {
    for (const char* path : {"/", "/tovel"}) {
        const Reply reply = Fetch(Url(path));
        EXPECT_EQ(reply.status, 302) << path;
    }
}

// Every lesson at its catalogue path, on both servers' paths: HEAD gives the size the
// program compares with its cache file, GET exactly the movie.
TEST_F(DemoSiteTest, ServesEveryLessonAtItsGbkPath) {
    ASSERT_EQ(LessonCatalogue().size(), 32u);
    for (const LessonRow& row : LessonCatalogue()) {
        SCOPED_TRACE(row.path);
        const std::string movie = AsString(swf::MakeSampleLesson(row.group, row.item));
        const std::string url = Url(WirePath(FromUtf8(row.path)));

        const Reply head = Fetch(url, Method::Head);
        ASSERT_EQ(head.code, CURLE_OK);
        EXPECT_EQ(head.status, 200);
        EXPECT_EQ(head.contentLength, static_cast<curl_off_t>(movie.size()));
        EXPECT_TRUE(head.body.empty());

        const Reply get = Fetch(url);
        ASSERT_EQ(get.code, CURLE_OK);
        EXPECT_EQ(get.status, 200);
        EXPECT_EQ(get.contentLength, static_cast<curl_off_t>(movie.size()));
        EXPECT_TRUE(get.body == movie) << get.body.size() << " bytes instead of " << movie.size();
    }
}

// Ranges are answered as nginx answers them: the rest from where a Range starts while
// If-Range, when sent, names the lesson's strong ETag or its Last-Modified, else the whole
// lesson; a Range past the end is refused. With --break-once a lesson's first transfer
// breaks off halfway, and the rest is had so.
TEST(DemoSiteRanges, AreAnsweredAsNginxAnswersThem) {
    DemoSiteOptions options;
    options.rateKbPerSecond = 0;
    options.breakOnce = true;
    const auto site = StartSite(options);
    ASSERT_NE(site, nullptr);
    const LessonRow& row = LessonCatalogue()[3];
    const std::string movie = AsString(swf::MakeSampleLesson(row.group, row.item));
    const std::string url = "http://" + site->HostPort() + WirePath(FromUtf8(row.path));
    const Reply first = Fetch(url);
    EXPECT_NE(first.code, CURLE_OK);
    ASSERT_EQ(first.body.size(), movie.size() / 2);
    const std::string etag = first.Header("ETag"), half = std::to_string(movie.size() / 2);
    ASSERT_TRUE(etag.starts_with("\"")) << etag;  // strong

    const std::string size = std::to_string(movie.size());
    const std::vector<std::pair<std::vector<std::string>, long>> rows{
        {{"Range: bytes=" + half + "-", "If-Range: " + etag}, 206},
        {{"Range: bytes=" + half + "-", "If-Range: " + first.Header("Last-Modified")}, 206},
        {{"Range: bytes=" + half + "-", "If-Range: \"another\""}, 200},
        {{"Range: bytes=" + size + "-"}, 416},
    };
    for (const auto& [headers, status] : rows) {
        SCOPED_TRACE(headers.back());
        const Reply reply = Fetch(url, Method::Get, "", {}, headers);
        EXPECT_EQ(reply.status, status);
        if (status == 416) {
            EXPECT_EQ(reply.Header("Content-Range"), "bytes */" + size);
        } else {
            EXPECT_TRUE((status == 206 ? first.body + reply.body : reply.body) == movie);
        }
    }
}

// The live site's catalogue is signed with the demo site's own key.
TEST_F(DemoSiteTest, ServesItsLessonsCatalogueSignedWithTheDemoSitesKey) {
    const std::string publicKeyFile =
        pw::testing::ReadWholeFile(PEBBLEWICK_SOURCE_DIR "/tools/demo_site/demo-site-only.minisign.pub");
    const std::string publicKey = publicKeyFile.substr(publicKeyFile.find('\n') + 1, 56);
    const Reply json = Fetch(Url("/tovel/lessons.json")), signature = Fetch(Url("/tovel/lessons.json.minisig"));
    EXPECT_EQ(json.contentType, "application/json");
    const auto catalogue = VerifiedCatalogue(json.body, signature.body, publicKey);
    ASSERT_TRUE(catalogue);
    EXPECT_EQ(catalogue->lessons.size(), LessonCatalogue().size());
}

// Sent at a limited rate, a lesson goes out in several pieces that must join up exactly.
TEST(DemoSitePacing, PacedLessonArrivesWhole) {
    DemoSiteOptions options;
    options.rateKbPerSecond = 50;  // pieces of 5 KiB, so even the smallest lesson takes several
    const auto site = StartSite(options);
    ASSERT_NE(site, nullptr);

    const LessonRow* smallest = nullptr;
    std::size_t smallestSize = SIZE_MAX;
    for (const LessonRow& r : LessonCatalogue()) {
        const std::size_t size = swf::MakeSampleLesson(r.group, r.item).size();
        if (size < smallestSize) {
            smallestSize = size;
            smallest = &r;
        }
    }
    ASSERT_GT(smallestSize, 2u * 5120u);
    const Reply reply = Fetch("http://" + site->HostPort() + WirePath(FromUtf8(smallest->path)));
    ASSERT_EQ(reply.code, CURLE_OK);
    EXPECT_EQ(reply.contentLength, static_cast<curl_off_t>(smallestSize));
    EXPECT_TRUE(reply.body == AsString(swf::MakeSampleLesson(smallest->group, smallest->item)));
}

// ---- the update page ----

TEST(DemoSiteUpdatePage, ByDefaultAnnouncesTheProgramsOwnVersionInGbk) {
    const auto site = StartSite({});
    ASSERT_NE(site, nullptr);
    const Reply reply = Fetch(site->BaseUrl() + "test.html");
    ASSERT_EQ(reply.code, CURLE_OK);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.contentType, "text/html; charset=gbk");
    // GBK bytes, not UTF-8.
    EXPECT_NE(reply.body.find(FromUtf8("<p>最新版=2.0</p>")), std::string::npos);
    EXPECT_EQ(reply.body.find("最新版"), std::string::npos);

    const UpdateAnnouncement announced = ParseUpdatePage(reply.body);
    EXPECT_EQ(announced.newest, "2.0");
    EXPECT_FALSE(IsNewerVersion(announced.newest, "2.0"));
}

TEST(DemoSiteUpdatePage, NewerVersionByDownloadNamesAFileOnTheSite) {
    const CommandLine parsed = ParseCommandLine(std::vector<const char*>{"--newer", "2.1", "--rate", "150"});
    ASSERT_TRUE(parsed.options);
    const auto site = StartSite(*parsed.options);
    ASSERT_NE(site, nullptr);

    const UpdateAnnouncement announced = ParseUpdatePage(Fetch(site->BaseUrl() + "test.html").body);
    EXPECT_EQ(announced.newest, "2.1");
    EXPECT_TRUE(IsNewerVersion(announced.newest, "2.0"));
    EXPECT_EQ(announced.way, WayDownloadFile());
    EXPECT_EQ(announced.fileName, "pebblewick21.swf");
    EXPECT_TRUE(IsBareFileName(announced.fileName));
    EXPECT_EQ(announced.downloadUrl, site->BaseUrl() + "update/pebblewick21.swf");
    // The notes run over several paragraphs, one line each once the tags are gone.
    EXPECT_EQ(announced.notes.find("<p>"), std::string::npos);
    EXPECT_GE(std::count(announced.notes.begin(), announced.notes.end(), '\n'), 2);
    EXPECT_NE(announced.notes.find(FromUtf8("Pebblewick 2.1")), std::string::npos);

    // The file is paced like a lesson; its pieces must still join to one whole movie.
    const Reply head = Fetch(announced.downloadUrl, Method::Head);
    const Reply file = Fetch(announced.downloadUrl);
    ASSERT_EQ(file.code, CURLE_OK);
    EXPECT_EQ(file.status, 200);
    EXPECT_EQ(head.contentLength, static_cast<curl_off_t>(file.body.size()));
    ExpectSwf(file.body);
}

TEST(DemoSiteUpdatePage, NewerVersionByBrowserNamesAPageOnTheSite) {
    const CommandLine parsed = ParseCommandLine(std::vector<const char*>{"--newer", "3.0", "--way", "browser"});
    ASSERT_TRUE(parsed.options);
    const auto site = StartSite(*parsed.options);
    ASSERT_NE(site, nullptr);

    const UpdateAnnouncement announced = ParseUpdatePage(Fetch(site->BaseUrl() + "test.html").body);
    EXPECT_EQ(announced.newest, "3.0");
    EXPECT_TRUE(IsNewerVersion(announced.newest, "2.0"));
    EXPECT_EQ(announced.way, WayOpenWebPage());
    EXPECT_EQ(announced.downloadUrl, site->BaseUrl() + "update.html");
    EXPECT_TRUE(IsWebAddress(announced.downloadUrl));
    EXPECT_TRUE(IsBareFileName(announced.fileName));

    const Reply page = Fetch(announced.downloadUrl);
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
}

TEST(DemoSiteUpdatePage, VersionInFullWidthDigitsIsAnnouncedAsWritten) {
    DemoSiteOptions options;
    options.newerVersion = "２.１";
    const auto site = StartSite(options);
    ASSERT_NE(site, nullptr);
    const UpdateAnnouncement announced = ParseUpdatePage(Fetch(site->BaseUrl() + "test.html").body);
    EXPECT_EQ(announced.newest, FromUtf8("２.１"));
    EXPECT_TRUE(IsNewerVersion(announced.newest, "2.0"));
    EXPECT_TRUE(IsBareFileName(announced.fileName));
    EXPECT_EQ(Fetch(announced.downloadUrl).status, 200);
}

// ---- the static export ----

// An existing folder is replaced only when it is empty, or holds a former export and
// --force is given; whatever is refused stays as it was, and nothing is left beside it.
TEST(DemoSiteExport, ReplacesOnlyAnEmptyFolderOrAFormerExportWithForce) {
    const struct {
        const char* name;
        bool force;
        bool exported;
    } rows[] = {{"absent", false, true}, {"empty", false, true},  {"other", false, false}, {"other", true, false},
                {"former", false, false}, {"former", true, true}, {"a-file", true, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.name) + (row.force ? " --force" : ""));
        pw::testing::TempDir dir;
        const std::string target = dir.File("site");
        const std::string name = row.name;
        if (name == "a-file") pw::testing::WriteWholeFile(target, "x");
        if (name == "empty" || name == "other") std::filesystem::create_directory(target);
        if (name == "other") pw::testing::WriteWholeFile(target + "/keep.txt", "mine");
        if (name == "former") {
            ASSERT_EQ(ExportSite({}, {target, false, "127.0.0.1:1"}), "");
            pw::testing::WriteWholeFile(target + "/stale.txt", "old");
        }

        const std::string problem = ExportSite({}, {target, row.force, "127.0.0.1:2"});
        EXPECT_EQ(problem.empty(), row.exported) << problem;
        const std::string updatePage = pw::testing::ReadWholeFile(target + "/tovel/test.html");
        if (row.exported) {
            EXPECT_NE(updatePage.find("127.0.0.1:2"), std::string::npos);
            EXPECT_FALSE(std::filesystem::exists(target + "/stale.txt"));
            EXPECT_EQ(pw::testing::ReadWholeFile(target + FromUtf8(LessonCatalogue()[0].path)),
                      AsString(swf::MakeSampleLesson(0, 0)));
        }
        if (name == "other") {
            EXPECT_EQ(pw::testing::ReadWholeFile(target + "/keep.txt"), "mine");
        }
        if (name == "former" && !row.force) {
            EXPECT_TRUE(std::filesystem::exists(target + "/stale.txt"));
        }
        // The target alone: no staging folder and no former export left beside it.
        const std::filesystem::directory_iterator entries(dir.Path());
        EXPECT_EQ(std::distance(begin(entries), end(entries)), 1);
    }
}

// The export lists the lessons it writes, each with its size and hash, signed so that
// minisign itself takes it; the serial grows from export to export.
TEST(DemoSiteExport, WritesTheLessonsCatalogueSignedWithAGrowingSerial) {
    const pw::testing::MinisignTool key;
    pw::testing::TempDir dir;
    const std::string target = dir.File("site"), json = target + "/tovel/lessons.json";
    ASSERT_EQ(ExportSite({}, {target, false, "127.0.0.1:1", key.SecretKeyFile()}), "");
    EXPECT_TRUE(key.Verifies(json, json + ".minisig"));
    const auto catalogue = VerifiedCatalogue(pw::testing::ReadWholeFile(json),
                                             pw::testing::ReadWholeFile(json + ".minisig"), key.PublicKey());
    ASSERT_TRUE(catalogue);
    ASSERT_EQ(catalogue->lessons.size(), LessonCatalogue().size());
    for (const LessonEntry& lesson : catalogue->lessons) {
        LessonEntry builtIn = *Lookup(lesson.group, lesson.item);
        builtIn.digest = lesson.digest;
        builtIn.picture = lesson.picture;
        EXPECT_EQ(lesson, builtIn);
        const std::string movie = pw::testing::ReadWholeFile(target + lesson.path);
        EXPECT_EQ(lesson.digest, (LessonDigest{static_cast<std::int64_t>(movie.size()), BytesSha256(movie)}));
        // Each with a picture, drawn by the site when its owner gives none.
        ASSERT_TRUE(lesson.picture);
        const std::string picture = pw::testing::ReadWholeFile(target + lesson.picture->path);
        EXPECT_TRUE(IsPictureFile(picture));
        EXPECT_EQ(lesson.picture->size, static_cast<std::int64_t>(picture.size()));
        EXPECT_EQ(lesson.picture->sha256, BytesSha256(picture));
    }
    // The owner's pictures, by cache name.
    const std::string owners = dir.File("pictures"), png = "\x89PNG\r\n\x1A\n owner's";
    std::filesystem::create_directories(owners);
    for (const LessonRow& row : LessonCatalogue())
        pw::testing::WriteWholeFile(owners + "/" + PictureStem(row.cacheName) + ".png", png);
    DemoSiteOptions withPictures;
    withPictures.picturesDirectory = owners;
    ASSERT_EQ(ExportSite(withPictures, {dir.File("owned"), false, "127.0.0.1:1"}), "");
    EXPECT_EQ(pw::testing::ReadWholeFile(dir.File("owned") + PictureRequestPath("actdlh")), png);

    ASSERT_EQ(ExportSite({}, {target, true, "127.0.0.1:1"}), "");
    EXPECT_GT(CatalogueSerial(pw::testing::ReadWholeFile(json)), catalogue->serial);
    EXPECT_FALSE(std::filesystem::exists(json + ".minisig"));  // not signed this time
    pw::testing::WriteWholeFile(dir.File("not-a-key"), "untrusted comment: x\nRWQ=\n");
    EXPECT_NE(ExportSite({}, {target, true, "127.0.0.1:1", dir.File("not-a-key")}), "");
}

// ---- start and stop ----

TEST(DemoSiteLifetime, APortInUseIsReportedNotShared) {
    const auto first = StartSite({});
    ASSERT_NE(first, nullptr);
    DemoSiteOptions options;
    options.port = first->Port();
    EXPECT_EQ(DemoSite::Start(options), nullptr);
}

TEST(DemoSiteLifetime, StopEndsALessonStillBeingSent) {
    DemoSiteOptions options;
    options.rateKbPerSecond = 1;  // the largest lesson would take minutes
    const auto site = StartSite(options);
    ASSERT_NE(site, nullptr);

    std::size_t largest = 0;
    const LessonRow* row = nullptr;
    for (const LessonRow& r : LessonCatalogue()) {
        const std::size_t size = swf::MakeSampleLesson(r.group, r.item).size();
        if (size > largest) {
            largest = size;
            row = &r;
        }
    }
    Reply reply;
    std::promise<void> firstBytes;
    bool told = false;
    std::thread client([&] {
        reply = Fetch("http://" + site->HostPort() + WirePath(FromUtf8(row->path)), Method::Get, "", [&] {
            if (!told) firstBytes.set_value();
            told = true;
        });
    });
    // Stopped once the movie is on its way, not before it started.
    const bool sending = firstBytes.get_future().wait_for(60s) == std::future_status::ready;
    site->Stop();
    client.join();
    ASSERT_TRUE(sending);
    EXPECT_NE(reply.code, CURLE_OK);
    EXPECT_GT(reply.body.size(), 0u);
    EXPECT_LT(reply.body.size(), largest);
    // The start of what was sent is the start of the movie.
    EXPECT_EQ(reply.body, AsString(swf::MakeSampleLesson(row->group, row->item)).substr(0, reply.body.size()));
}

}  // namespace
}  // namespace pw::demo
