// The lesson library: the menu's marks of lessons whole on disk, and downloading them all.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "core/swf_file.h"
#include "tests/app/program_harness.h"
#include "tests/support/catalogue_json.h"
#include "tests/support/minisign_tool.h"

namespace pw {
namespace {

using testing::CountRequests;
using testing::FixtureServer;
using testing::ProgramHarness;
using testing::ReadWholeFile;
using testing::WriteWholeFile;
using Lessons = std::set<std::pair<int, int>>;

// After start, after a download and after a cut file is found, the marks are the
// lessons whole on disk.
TEST(LibraryTest, TheMenuMarksTheLessonsWholeOnDisk) {
    ProgramHarness h;
    const std::string movie = FixtureServer::GeneratedBody(20000);  // whole by its header
    WriteWholeFile(h.CacheFile(0, 0), movie);
    WriteWholeFile(h.CacheFile(1, 3), movie);
    WriteWholeFile(h.CacheFile(1, 4), movie.substr(0, 5000));  // cut
    WriteWholeFile(h.CacheFile(2, 1) + ".part", movie);         // not yet the lesson
    h.program->OnMainWindowCreated();
    ASSERT_TRUE(h.Settle());
    EXPECT_EQ(h.display.ReadyLessons(), (Lessons{{0, 0}, {1, 3}}));

    h.ServeLesson(2, 1, 30000);
    h.program->OnLessonMenuItemClicked(2, 1);
    ASSERT_TRUE(h.Settle());
    EXPECT_EQ(h.display.ReadyLessons(), (Lessons{{0, 0}, {1, 3}, {2, 1}}));

    // Lesson (0, 0) was cut on disk since; its new download breaks off.
    WriteWholeFile(h.CacheFile(0, 0), movie.substr(0, 5000));
    h.ServeLesson(0, 0, 30000, {.chunkSize = 4096, .breakOffAfter = 10000});
    h.program->OnLessonMenuItemClicked(0, 0);
    ASSERT_TRUE(h.Settle());
    EXPECT_EQ(h.display.ReadyLessons(), (Lessons{{1, 3}, {2, 1}}));
    EXPECT_FALSE(h.program->LessonReady(0, 0));
    EXPECT_TRUE(h.program->LessonReady(2, 1));
}


// A check of a lesson's file that looked at it just before its download renamed it into
// place answers after the download's completion was applied: the mark stays.
TEST(LibraryTest, ACompletedLessonsMarkSurvivesALateCheck) {
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false, released = false;
    std::string cache;
    ProgramHarness h(testing::ShortTimeouts(), {}, {}, {}, [&](const Text& path) {
        if (path != cache) return IsWholeSwfFile(path);
        std::unique_lock lock(mutex);
        held = true;
        changed.wait(lock, [&] { return released; });
        return false;  // what it saw before the rename
    });
    const auto release = [&] {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    };
    struct Release {
        std::function<void()> run;
        ~Release() { run(); }
    } releasedAtTheEnd{release};
    cache = h.CacheFile(0, 6);
    h.ServeLesson(0, 6, 20000);

    h.program->OnLessonMenuItemClicked(0, 6);
    ASSERT_TRUE(h.Until([&] { return h.program->LessonReady(0, 6); }));
    {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(held);  // the download's own check, asked when it started, is still out
    }
    release();
    ASSERT_TRUE(h.Settle());
    EXPECT_TRUE(h.program->LessonReady(0, 6));
    EXPECT_EQ(h.display.ReadyLessons(), (Lessons{{0, 6}}));
}

// Every lesson not whole on disk is fetched, one after another, under one overall
// progress; one that fails is skipped and named once at the end. A lesson chosen
// meanwhile plays, and the rest follow it.
TEST(LibraryTest, DownloadAllFetchesEveryLessonNotOnDiskAndNamesTheOneThatFailed) {
    ProgramHarness h;
    std::map<std::pair<int, int>, std::string> bodies;
    for (const LessonRow& row : LessonCatalogue())
        bodies[{row.group, row.item}] = h.ServeLesson(row.group, row.item, 12000 + 300 * row.item);
    WriteWholeFile(h.CacheFile(2, 5), bodies[{2, 5}]);
    h.ServeLesson(0, 0, 12000, {.stallAfter = 6000});  // holds on until (2, 5) is chosen
    h.server.Serve(Lookup(1, 2)->path, {.status = 404});

    h.program->StartDownloadAll();
    ASSERT_TRUE(h.Until([&] { return CountRequests(h.server, "GET") == 1; }));
    EXPECT_EQ(h.display.View(), "downloading");
    h.program->OnLessonMenuItemClicked(2, 5);
    ASSERT_TRUE(h.Until([&] { return h.display.View() == "lesson"; }));
    h.server.ReleaseStalls();
    ASSERT_TRUE(h.Settle());

    EXPECT_FALSE(h.program->DownloadAllRunning());
    for (const auto& [lesson, body] : bodies) {
        if (lesson == std::pair{1, 2}) continue;
        EXPECT_TRUE(ReadWholeFile(h.CacheFile(lesson.first, lesson.second)) == body) << lesson.first << lesson.second;
    }
    EXPECT_FALSE(std::filesystem::exists(h.CacheFile(1, 2)));
    EXPECT_EQ(h.messages.Texts(), std::vector<Text>{Gbk<"这些课程没有下载成功：">() + Lookup(1, 2)->title});
    // The chosen lesson kept the content area; the first lesson was fetched again after it.
    EXPECT_EQ(h.display.View(), "lesson");
    EXPECT_EQ(h.display.Movie(), h.CacheFile(2, 5));
    EXPECT_EQ(CountRequests(h.server, "GET"), 32);
    EXPECT_EQ(ToUtf8(h.display.Captions().front()).rfind("正在下载第 1 / 31 课。。。  ", 0), 0u)
        << ToUtf8(h.display.Captions().front());
}

// The lesson that download-all is fetching, chosen by the child: the same transfer goes
// on, the lesson plays once whole, and the rest follow it.
TEST(LibraryTest, ChoosingTheLessonDownloadAllIsFetchingPlaysItOnceWhole) {
    ProgramHarness h;
    for (const LessonRow& row : LessonCatalogue()) h.ServeLesson(row.group, row.item, 12000);
    h.ServeLesson(0, 0, 12000, {.stallAfter = 6000});

    h.program->StartDownloadAll();
    ASSERT_TRUE(h.Until([&] { return CountRequests(h.server, "GET") == 1; }));
    h.program->OnLessonMenuItemClicked(0, 0);
    h.server.ReleaseStalls();
    ASSERT_TRUE(h.Settle());

    EXPECT_EQ(h.display.View(), "lesson");
    EXPECT_EQ(h.display.Movie(), h.CacheFile(0, 0));
    EXPECT_EQ(CountRequests(h.server, "GET"), 32);
    EXPECT_FALSE(h.program->DownloadAllRunning());
    EXPECT_TRUE(h.messages.Texts().empty());
}

// An update said Yes to while download-all fetches a lesson waits for it; download-all's
// end, by itself or cancelled, lets the update go.
class DownloadAllEndTest : public ::testing::TestWithParam<bool> {};

TEST_P(DownloadAllEndTest, StartsTheWaitingUpdate) {
    const bool cancelled = GetParam();
    ProgramHarness h;
    for (const LessonRow& row : LessonCatalogue()) h.ServeLesson(row.group, row.item, 12000);
    h.ServeLesson(0, 0, 12000, {.stallAfter = 6000});
    const std::string update = FixtureServer::GeneratedBody(15000);
    h.server.Serve("/new/update.swf", {.body = update});

    h.program->StartDownloadAll();
    ASSERT_TRUE(h.Until([&] { return CountRequests(h.server, "GET") == 1; }));
    h.program->globals().CurrentUrl = h.server.BaseUrl() + "/new/update.swf";
    h.program->globals().CurrentFileName = "update.swf";
    h.program->StartDownloadWorker();  // Yes
    if (cancelled) h.program->CancelDownloadAll();
    h.server.ReleaseStalls();
    ASSERT_TRUE(h.Settle());

    EXPECT_FALSE(h.program->DownloadAllRunning());
    EXPECT_TRUE(ReadWholeFile(h.dir.File("update.swf")) == update);
    EXPECT_EQ(CountRequests(h.server, "GET"), cancelled ? 2 : 33);
    EXPECT_TRUE(testing::Played(h.display, h.dir.File("update.swf")));  // nothing was chosen since Yes
}

INSTANTIATE_TEST_SUITE_P(Ends, DownloadAllEndTest, ::testing::Bool(),
                         [](const auto& testCase) { return testCase.param ? "Cancelled" : "Finished"; });

// The library lists the lessons on disk, the one played last first, with what deleting
// frees. A parent deletes lessons: the file, its parts and its mark go; the lesson playing
// is refused, and stays through "delete all" too.
TEST(LibraryTest, DeletingRemovesFilePartsAndMarkButNeverThePlayingLesson) {
    ProgramHarness h;
    const std::string movie = h.ServeLesson(1, 3, 20000);
    for (auto [group, item] : {std::pair{0, 0}, std::pair{1, 3}, std::pair{2, 1}})
        WriteWholeFile(h.CacheFile(group, item), movie);
    const std::string deleted = h.CacheFile(0, 0);
    const std::vector<std::string> parts{".part", ".part.meta", ".part.new"};
    for (const std::string& part : parts) WriteWholeFile(deleted + part, "xyz");
    h.program->OnMainWindowCreated();
    ASSERT_TRUE(h.Settle());
    h.program->OnLessonMenuItemClicked(1, 3);
    ASSERT_TRUE(h.Settle());
    ASSERT_EQ(h.display.Movie(), h.CacheFile(1, 3));

    const LibraryListing listing = h.program->Library();
    ASSERT_EQ(listing.rows.size(), 3u);
    EXPECT_EQ(listing.rows.front().title, Lookup(1, 3)->title);  // played: first
    EXPECT_TRUE(listing.rows.front().lastUse.has_value());
    EXPECT_FALSE(listing.rows.back().lastUse.has_value());
    std::map<Text, std::uint64_t> sizes;
    for (const LibraryRow& row : listing.rows) sizes[row.title] = row.bytes;
    EXPECT_EQ(sizes, (std::map<Text, std::uint64_t>{
                         {Lookup(0, 0)->title, 20009}, {Lookup(1, 3)->title, 20000}, {Lookup(2, 1)->title, 20000}}));
    EXPECT_TRUE(listing.freeBytes.has_value());

    const Text playing = Lookup(1, 3)->cacheName;
    EXPECT_TRUE(h.program->LessonInUse(playing));
    EXPECT_FALSE(h.program->DeleteLesson(playing));
    EXPECT_TRUE(h.program->DeleteLesson(Lookup(0, 0)->cacheName));
    EXPECT_FALSE(std::filesystem::exists(deleted));
    for (const std::string& part : parts) EXPECT_FALSE(std::filesystem::exists(deleted + part)) << part;
    EXPECT_EQ(h.display.ReadyLessons(), (Lessons{{1, 3}, {2, 1}}));

    h.program->DeleteAllLessons();
    ASSERT_TRUE(h.Settle());
    EXPECT_EQ(h.display.ReadyLessons(), (Lessons{{1, 3}}));
    EXPECT_TRUE(ReadWholeFile(h.CacheFile(1, 3)) == movie);
    EXPECT_FALSE(std::filesystem::exists(h.CacheFile(2, 1)));
}

// Download-all first weighs the sizes the signed catalogue gives for the lessons not on
// disk against the free space: when they do not fit it says so and fetches nothing.
TEST(LibraryTest, DownloadAllDoesNotStartWhenTheKnownSizesDoNotFit) {
    const testing::MinisignTool key;
    ProgramHarness h(testing::ShortTimeouts(), {}, {}, key.PublicKey());
    const auto lessons = testing::BuiltInLessons([](int, int) { return FixtureServer::GeneratedBody(64 * 1024); });
    const std::string json = testing::CatalogueJson(3, testing::BuiltInGroupTitles(), lessons);
    h.server.Serve("/tovel/lessons.json", {.body = json});
    h.server.Serve("/tovel/lessons.json.minisig", {.body = key.Sign(json)});
    WriteWholeFile(h.CacheFile(0, 0), FixtureServer::GeneratedBody(64 * 1024));  // whole: needs no room
    std::optional<std::uint64_t> freeBytes = 2 * 1024 * 1024;
    h.freeDiskSpace = [&](const Text& folder) {
        EXPECT_EQ(folder, h.dir.Path());
        return freeBytes;
    };
    h.Restart();
    h.program->OnMainWindowCreated();
    ASSERT_TRUE(h.Settle());
    ASSERT_TRUE(h.program->catalogue().serial.has_value());

    h.program->StartDownloadAll();  // 31 lessons of 64 KB: 1.9 MB fit into 2 MB
    EXPECT_TRUE(h.program->DownloadAllRunning());
    h.program->CancelDownloadAll();
    ASSERT_TRUE(h.Settle());

    freeBytes = 1024 * 1024;
    const int gets = CountRequests(h.server, "GET");
    h.program->StartDownloadAll();
    ASSERT_TRUE(h.Settle());
    EXPECT_FALSE(h.program->DownloadAllRunning());
    EXPECT_EQ(CountRequests(h.server, "GET"), gets);
    EXPECT_EQ(h.messages.Texts(), std::vector<Text>{FromUtf8("磁盘空间不够：需要 1.9 MB，还剩 1 MB")});
}

}  // namespace
}  // namespace pw
