// Lessons on disk play without a network, and no wait on the network blocks the window.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QTimer>

#include <filesystem>

#include "core/files.h"
#include "tests/app/program_harness.h"
#include "tools/swf/sample_lessons.h"

namespace pw {
namespace {

using testing::CountRequests;
using testing::FixtureServer;
using testing::Played;
using testing::ProgramHarness;
using testing::ReadWholeFile;
using testing::WriteWholeFile;

std::string Movie(int group, int item) {
    const auto bytes = swf::MakeSampleLesson(group, item);
    return {bytes.begin(), bytes.end()};
}

std::string Gzip(const std::string& data) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, data.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string ClosedHost() { return "127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()); }

TEST(OfflineTest, ALessonDownloadedWholePlaysFromDiskWhenItsServerIsGone) {
    const std::string movie = Movie(0, 4);
    std::string cached;
    {
        ProgramHarness online;
        online.server.Serve(Lookup(0, 4)->path, {.body = movie});
        online.program->OnLessonMenuItemClicked(0, 4);
        ASSERT_TRUE(online.Settle());
        cached = ReadWholeFile(online.CacheFile(0, 4));
        EXPECT_FALSE(std::filesystem::exists(online.CacheFile(0, 4) + ".part"));  // renamed over the lesson
    }
    ASSERT_TRUE(cached == movie);

    ProgramHarness offline(testing::ShortTimeouts(), ClosedHost());
    WriteWholeFile(offline.CacheFile(0, 4), cached);
    offline.program->OnLessonMenuItemClicked(0, 4);
    ASSERT_TRUE(offline.Settle());

    EXPECT_EQ(offline.display.View(), "lesson");
    EXPECT_TRUE(Played(offline.display, offline.CacheFile(0, 4)));
    EXPECT_TRUE(offline.messages.Texts().empty());
    for (const auto& entry : offline.display.Log()) EXPECT_NE(entry, "view downloading");
}

// Cut movies, part files and empty files are no lessons: with the server gone a download
// is tried and its failure told, and nothing plays.
TEST(OfflineTest, ACutMovieAPartFileOrAnEmptyFileWithTheServerGoneIsNotPlayed) {
    const std::string movie = Movie(1, 1);
    const struct {
        const char* name;
        bool partFile;
        std::string bytes;
    } cases[] = {{"cut movie", false, movie.substr(0, movie.size() / 2)},
                 {"part file", true, movie.substr(0, movie.size() / 2)},
                 {"empty file", false, ""}};
    for (const auto& c : cases) {
        ProgramHarness offline(testing::ShortTimeouts(), ClosedHost());
        const std::string cache = offline.CacheFile(1, 1);
        WriteWholeFile(c.partFile ? cache + ".part" : cache, c.bytes);
        offline.program->OnLessonMenuItemClicked(1, 1);
        ASSERT_TRUE(offline.Settle());
        EXPECT_EQ(offline.messages.Texts(), std::vector<Text>{Gbk<"不能打开该URL!">()}) << c.name;
        EXPECT_EQ(offline.display.View(), "downloading") << c.name;
        EXPECT_FALSE(testing::Played(offline.display, cache)) << c.name;
    }
}

TEST(OfflineTest, ARedownloadThatBreaksOffLeavesTheCompleteLessonAsItWas) {
    const std::string oldMovie = Movie(0, 8);
    ProgramHarness h;
    WriteWholeFile(h.CacheFile(0, 8), oldMovie);
    // The movie was replaced on the server, and its transfer breaks off half way.
    const std::string newMovie = Movie(0, 9);
    h.server.Serve(Lookup(0, 8)->path, {.body = newMovie, .chunkSize = 4096, .breakOffAfter = newMovie.size() / 2});
    h.program->OnLessonMenuItemClicked(0, 8);
    ASSERT_TRUE(h.Settle());

    EXPECT_EQ(h.messages.Texts(), std::vector<Text>{Gbk<"下载中断!">()});
    EXPECT_TRUE(ReadWholeFile(h.CacheFile(0, 8)) == oldMovie);
    EXPECT_FALSE(Played(h.display, h.CacheFile(0, 8)));

    // And it plays once the server is gone.
    ProgramHarness offline(testing::ShortTimeouts(), ClosedHost());
    WriteWholeFile(offline.CacheFile(0, 8), ReadWholeFile(h.CacheFile(0, 8)));
    offline.program->OnLessonMenuItemClicked(0, 8);
    ASSERT_TRUE(offline.Settle());
    EXPECT_TRUE(Played(offline.display, offline.CacheFile(0, 8)));
}

TEST(OfflineTest, AServerThatRefusesHeadDownloadsOnceAndThenPlaysFromDisk) {
    const std::string movie = Movie(2, 0);
    ProgramHarness h;
    h.server.Serve(Lookup(2, 0)->path, {.body = movie, .refuseHead = true});

    h.program->OnLessonMenuItemClicked(2, 0);
    ASSERT_TRUE(h.Settle());
    EXPECT_TRUE(ReadWholeFile(h.CacheFile(2, 0)) == movie);
    EXPECT_EQ(CountRequests(h.server, "GET"), 1);

    for (int again = 0; again < 2; ++again) {
        h.program->OnLessonMenuItemClicked(2, 0);
        ASSERT_TRUE(h.Settle());
    }
    EXPECT_EQ(CountRequests(h.server, "GET"), 1);  // no download after the first
    EXPECT_EQ(CountRequests(h.server, "HEAD"), 6);  // the two probes of every choice stay
    EXPECT_EQ(h.display.View(), "lesson");
    EXPECT_TRUE(h.messages.Texts().empty());
}

TEST(OfflineTest, AnEmptyCacheFileIsNeverComplete) {
    ProgramHarness h;
    const std::string body = h.ServeLesson(0, 2, 30000, {.omitContentLength = true});
    WriteWholeFile(h.CacheFile(0, 2), "");
    h.program->OnLessonMenuItemClicked(0, 2);
    ASSERT_TRUE(h.Settle());
    EXPECT_TRUE(ReadWholeFile(h.CacheFile(0, 2)) == body);
    EXPECT_EQ(CountRequests(h.server, "GET"), 1);
}

TEST(OfflineTest, ACompressedBodyIsStoredDecodedAndItsProgressEndsAtItsEnd) {
    // One whole movie, large and compressible: the bytes of six lessons in one tag of an
    // uncompressed movie (header, empty stage rectangle, rate and count; the tag's header
    // with its four-byte length), then the End tag.
    std::string lessons;
    for (int i = 0; i < 6; ++i) lessons += Movie(0, 11 + i % 5);
    std::string movie = "FWS\x0A" + std::string(4, '\0') + std::string("\0\0\x0c\x01\0\xff\xff", 7) +
                        std::string(4, '\0') + lessons + std::string(2, '\0');
    for (int i = 0; i < 4; ++i) {
        movie[4 + i] = static_cast<char>((movie.size() >> (8 * i)) & 0xFF);
        movie[15 + i] = static_cast<char>((lessons.size() >> (8 * i)) & 0xFF);
    }
    const std::string gzipped = Gzip(movie);
    ASSERT_LT(gzipped.size(), movie.size());
    ProgramHarness h;
    h.server.Serve(Lookup(0, 3)->path, {.body = gzipped, .chunkSize = 4096, .contentEncoding = "gzip"});

    h.program->OnLessonMenuItemClicked(0, 3);
    ASSERT_TRUE(h.Settle());

    EXPECT_TRUE(ReadWholeFile(h.CacheFile(0, 3)) == movie);
    EXPECT_EQ(h.display.View(), "lesson");
    EXPECT_EQ(ToUtf8(h.display.Caption()), "下载已完成");
    for (std::int32_t position : h.display.Positions()) EXPECT_LE(position, 100);
    EXPECT_EQ(*h.server.Requests().back().Header("Accept-Encoding"), "gzip, deflate");
}

// A lesson server that accepts and never answers: the window answers at once, and a
// second choice made meanwhile wins.
TEST(OfflineTest, WhileAProbeHangsTheWindowAnswersAndTheNextChoiceWins) {
    ProgramHarness h(testing::ShortTimeouts(std::chrono::seconds(60)));
    h.ServeLesson(0, 0, 5000, {.stallHead = true});
    const std::string cached = h.ServeLesson(0, 1, 5000);
    WriteWholeFile(h.CacheFile(0, 1), cached);

    h.program->OnLessonMenuItemClicked(0, 0);
    ASSERT_TRUE(h.Until([&] { return CountRequests(h.server, "HEAD") == 1; }));
    // The event loop runs while the HEAD is unanswered.
    bool answered = false;
    QTimer::singleShot(0, [&] { answered = true; });
    ASSERT_TRUE(h.Until([&] { return answered; }));
    EXPECT_TRUE(h.program->WorkersRunning());

    h.program->OnLessonMenuItemClicked(0, 1);
    ASSERT_TRUE(h.Until([&] { return Played(h.display, h.CacheFile(0, 1)); }));
    h.server.ReleaseStalls();
    ASSERT_TRUE(h.Settle());

    // What the first choice's probes found later is dropped.
    EXPECT_EQ(h.display.Movie(), h.CacheFile(0, 1));
    EXPECT_EQ(h.display.View(), "lesson");
    EXPECT_EQ(CountRequests(h.server, "GET"), 0);
}

// A site that falls silent: the home view is up at once, and the question comes when the
// page does.
TEST(OfflineTest, TheUpdateQuestionComesWhenTheSilentSiteAnswers) {
    ProgramHarness h(testing::ShortTimeouts(std::chrono::seconds(60)));
    const std::string update = FixtureServer::GeneratedBody(20000);
    h.server.Serve("/a.exe", {.body = update});
    const Text body = Gbk<"<p>////开始</p><p>最新版=2.1</p><p>下载地址=">() + h.server.BaseUrl() +
                      Gbk<"/a.exe</p><p>文件命名=a.exe</p><p>下载方式=下载文件</p><p>更新说明=新课</p>"
                          "<p>更新说明结束</p><p>////结束</p>">();
    h.server.Serve("/tovel/test.html", {.body = body, .contentType = "text/html", .stallAfter = 0});

    h.program->OnMainWindowCreated();
    EXPECT_EQ(h.display.View(), "web");
    EXPECT_EQ(h.display.Address(), h.program->hosts().SiteBaseUrl() + "index.html");
    // The update check starts once the event loop runs (after the window is first shown).
    EXPECT_EQ(h.program->WorkersStarted(), 0u);
    ASSERT_TRUE(h.Until([&] { return h.program->WorkersRunning(); }));  // the page is still on its way
    EXPECT_EQ(h.program->WorkersStarted(), 1u);
    EXPECT_TRUE(h.messages.Texts().empty());

    h.server.ReleaseStalls();
    ASSERT_TRUE(h.Until([&] { return !h.messages.Texts().empty(); }));
    const auto requests = h.messages.Requests();
    EXPECT_EQ(requests[0].caption, Gbk<"是否下载最新版？">());
    EXPECT_EQ(h.program->globals().CurrentFileName, "a.exe");
    // Yes: the update downloads with its display and plays.
    ASSERT_TRUE(h.Settle());
    EXPECT_TRUE(ReadWholeFile(h.dir.File("a.exe")) == update);
    EXPECT_EQ(h.display.View(), "lesson");
}

// A program ended before its event loop ran (its window closed at once) starts no update
// check and writes no idle movie: nothing reads the site after the end.
TEST(OfflineTest, AProgramEndedBeforeItsEventLoopRanStartsNoUpdateCheck) {
    ProgramHarness h(testing::ShortTimeouts(std::chrono::seconds(60)));
    h.server.Serve("/tovel/test.html", {.body = "<p>////开始</p><p>////结束</p>", .contentType = "text/html"});
    h.program->OnMainWindowCreated();
    h.program->EndProgram();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(h.program->WorkersStarted(), 0u);
    EXPECT_FALSE(h.program->WorkersRunning());
    EXPECT_EQ(CountRequests(h.server, "GET"), 0);
    EXPECT_FALSE(std::filesystem::exists(h.dir.File("3.swf")));
}

}  // namespace
}  // namespace pw
