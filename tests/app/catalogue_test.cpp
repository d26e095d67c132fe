// The site's signed catalogue in the program: a new lesson in the menu, every lesson judged
// by its hash, the catalogue kept for the next start.
#include <gtest/gtest.h>

#include <filesystem>

#include "net/curl_handle.h"
#include "tests/app/program_harness.h"
#include "tests/support/catalogue_json.h"
#include "tests/support/minisign_tool.h"

namespace pw {
namespace {

using testing::BuiltInGroupTitles;
using testing::BuiltInLessons;
using testing::CatalogueJson;
using testing::CatalogueLesson;
using testing::CountRequests;
using testing::FixtureServer;
using testing::MinisignTool;
using testing::Played;
using testing::ProgramHarness;
using testing::ReadWholeFile;
using testing::WriteWholeFile;

std::string ClosedHost() { return "127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()); }

class CatalogueTest : public ::testing::Test {
protected:
    // The site publishes `lessons`, signed.
    void Publish(std::uint64_t serial, const std::vector<CatalogueLesson>& lessons) {
        const std::string json = CatalogueJson(serial, BuiltInGroupTitles(), lessons);
        h_.server.Serve("/tovel/lessons.json", {.body = json});
        h_.server.Serve("/tovel/lessons.json.minisig", {.body = key_.Sign(json)});
    }
    // The window is made and shown: the catalogue is fetched, the files checked.
    void Start() {
        h_.program->OnMainWindowCreated();
        ASSERT_TRUE(h_.Settle());
    }
    void Choose(int group, int item) {
        h_.program->OnLessonMenuItemClicked(group, item);
        ASSERT_TRUE(h_.Settle());
    }
    int Requests(const std::string& method, const std::string& path) const {
        int n = 0;
        for (const auto& r : h_.server.Requests()) n += r.method == method && r.target == UrlForWire(path);
        return n;
    }

    const MinisignTool key_;
    ProgramHarness h_{testing::ShortTimeouts(), {}, {}, key_.PublicKey()};
};

TEST_F(CatalogueTest, ANewLessonShowsPlaysWithNoHeadAndStaysForAnOfflineStart) {
    std::vector<CatalogueLesson> lessons = BuiltInLessons([](int, int) { return FixtureServer::GeneratedBody(9000); });
    const std::string body = FixtureServer::GeneratedBody(15000);
    lessons.push_back({0, "小兔子乖乖", "/erly/小兔子乖乖.swf", "xtzgg", body});
    Publish(9, lessons);
    const Text newPath = FromUtf8("/erly/小兔子乖乖.swf");
    h_.server.Serve(newPath, {.body = body});

    Start();
    ASSERT_EQ(h_.display.Menu().size(), 4u);
    EXPECT_EQ(h_.display.Menu()[0].items.size(), 17u);
    EXPECT_EQ(h_.display.Menu()[0].items.back(), FromUtf8("小兔子乖乖"));
    EXPECT_EQ(h_.display.Menu()[3].header, FromUtf8("我要留言"));  // the guestbook stays last

    Choose(0, 16);
    Choose(0, 16);  // now from its cache file
    const std::string cache = h_.dir.File("xtzgg.ylq");
    EXPECT_TRUE(ReadWholeFile(cache) == body);
    EXPECT_TRUE(Played(h_.display, cache));
    EXPECT_EQ(Requests("GET", newPath), 1);
    EXPECT_EQ(CountRequests(h_.server, "HEAD"), 0);

    // Offline, the next start has the lesson in its menu at once, marked, and it plays.
    h_.Restart(ClosedHost(), ClosedHost());
    h_.program->OnMainWindowCreated();
    EXPECT_EQ(h_.display.Menu()[0].items.back(), FromUtf8("小兔子乖乖"));
    ASSERT_TRUE(h_.Settle());
    EXPECT_TRUE(h_.program->LessonReady(0, 16));
    Choose(0, 16);
    EXPECT_EQ(h_.display.View(), "lesson");
    EXPECT_TRUE(Played(h_.display, cache));
    EXPECT_TRUE(h_.messages.Texts().empty());
}

// A body that is not what the catalogue says is refused and leaves the file on disk as it
// was; a lesson republished with a new hash is fetched again, though its size is the same.
TEST_F(CatalogueTest, OnlyABodyWithTheCataloguesHashIsKeptAndARepublishedLessonIsFetchedAgain) {
    const std::string first = FixtureServer::GeneratedBody(20000);
    std::string second = first, forged = first;
    second[19000] ^= 1;
    forged[18000] ^= 1;
    const auto publishing = [&](const std::string& tiger) {
        return BuiltInLessons([&](int group, int item) {
            return group == 0 && item == 0 ? tiger : FixtureServer::GeneratedBody(9000);
        });
    };
    const std::string cache = h_.CacheFile(0, 0), path = Lookup(0, 0)->path;
    Publish(1, publishing(first));
    WriteWholeFile(cache, first);
    Start();
    Choose(0, 0);
    EXPECT_TRUE(Played(h_.display, cache));

    // Changed on the server without a new catalogue: refused, the old file untouched.
    h_.server.Serve(path, {.body = forged});
    WriteWholeFile(cache, second);  // not the lesson of this catalogue either
    Choose(0, 0);
    EXPECT_EQ(Requests("GET", path), 1);
    EXPECT_EQ(h_.messages.Texts(), std::vector<Text>{Gbk<"不能打开该URL!">()});
    EXPECT_TRUE(ReadWholeFile(cache) == second);
    EXPECT_FALSE(std::filesystem::exists(cache + ".part"));

    // Republished at the same size with a higher serial: fetched again at the next start.
    WriteWholeFile(cache, first);
    h_.server.Serve(path, {.body = second});
    Publish(2, publishing(second));
    h_.Restart();
    Start();
    EXPECT_FALSE(h_.program->LessonReady(0, 0));
    Choose(0, 0);
    EXPECT_TRUE(ReadWholeFile(cache) == second);
    EXPECT_TRUE(Played(h_.display, cache));
    EXPECT_EQ(Requests("GET", path), 2);
    EXPECT_EQ(CountRequests(h_.server, "HEAD"), 0);
}

// Lessons carried on a stick: once imported, the menu takes their catalogue and marks them,
// and they play with no server.
TEST_F(CatalogueTest, ImportedLessonsAreMarkedAndPlayOffline) {
    h_.Restart(ClosedHost(), ClosedHost());
    Start();
    const std::string body = FixtureServer::GeneratedBody(9000);
    const std::string json = CatalogueJson(3, BuiltInGroupTitles(), BuiltInLessons([&](int, int) { return body; }));
    testing::TempDir stick;
    const std::string folder = stick.File("pebblewick-lessons");
    std::filesystem::create_directories(folder);
    WriteWholeFile(folder + "/lessons.json", json);
    WriteWholeFile(folder + "/lessons.json.minisig", key_.Sign(json));
    WriteWholeFile(folder + "/" + Lookup(0, 0)->cacheName, body);
    ASSERT_FALSE(h_.program->LessonReady(0, 0));

    Text summary;
    h_.program->CarryLessons(true, stick.Path(), {}, [&](const Text& said) { summary = said; });
    ASSERT_TRUE(h_.Until([&] { return !summary.empty(); }));
    ASSERT_TRUE(h_.Settle());
    EXPECT_EQ(ToUtf8(summary), "1 课已导入");
    EXPECT_TRUE(h_.program->LessonReady(0, 0));
    Choose(0, 0);
    EXPECT_TRUE(Played(h_.display, h_.CacheFile(0, 0)));
    EXPECT_TRUE(h_.messages.Texts().empty());
}

}  // namespace
}  // namespace pw
