#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "core/files.h"
#include "core/program_state.h"
#include "lessons/catalogue.h"
#include "lessons/download_worker.h"
#include "lessons/lesson_selection.h"
#include "tests/lessons/fake_controls.h"
#include "tests/lessons/lesson_test_support.h"
#include "tests/support/fixture_server.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using testing::FakeControls;
using testing::FixtureResource;
using testing::FixtureServer;
using testing::CountRequests;
using testing::DownloadsEnd;
using testing::MessageRecorder;
using testing::TempDir;

class LessonSelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("PEBBLEWICK_LESSON_HOST1", server_.HostPort().c_str(), 1);
        setenv("PEBBLEWICK_LESSON_HOST2", server_.HostPort().c_str(), 1);
        setenv("PEBBLEWICK_SITE_HOST", server_.HostPort().c_str(), 1);
        SetProgramDirectory(dir_.Path());
        SetMainWindowControls(&controls_);
        Globals() = ProgramState{};
    }
    void TearDown() override {
        Downloads().StopAll();
        SetMainWindowControls(nullptr);
        unsetenv("PEBBLEWICK_LESSON_HOST1");
        unsetenv("PEBBLEWICK_LESSON_HOST2");
        unsetenv("PEBBLEWICK_SITE_HOST");
    }

    // Serves lesson (group, item) and returns its body.
    std::string ServeLesson(int group, int item, std::size_t size, FixtureResource resource = {}) {
        const LessonEntry entry = *Lookup(group, item);
        resource.body = FixtureServer::GeneratedBody(size);
        server_.Serve(entry.path, resource);
        return resource.body;
    }

    std::string CacheFile(int group, int item) const { return dir_.File(Lookup(group, item)->cacheName); }

    FixtureServer server_;
    TempDir dir_;
    FakeControls controls_;
    MessageRecorder messages_;
};

TEST_F(LessonSelectionTest, CompleteCacheFilePlaysAtOnceWithTwoProbesAndNoDownload) {
    const std::string body = ServeLesson(0, 0, 5000);
    testing::WriteWholeFile(CacheFile(0, 0), body);

    OnLessonMenuItemClicked(0, 0);

    EXPECT_FALSE(Downloads().Running());
    EXPECT_EQ(CountRequests(server_, "HEAD"), 2);
    EXPECT_EQ(CountRequests(server_, "GET"), 0);
    EXPECT_EQ(controls_.View(), "lesson");
    EXPECT_EQ(controls_.Movie(), CacheFile(0, 0));
    EXPECT_EQ(controls_.Log().back(), "play");
    EXPECT_EQ(Globals().CurrentFileName, "actdlh.ylq");
}

TEST_F(LessonSelectionTest, MissingFileIsDownloadedShownAsProgressAndPlayed) {
    const std::string body = ServeLesson(2, 5, 64 * 1024, {.chunkSize = 4096});

    OnLessonMenuItemClicked(2, 5);
    ASSERT_TRUE(DownloadsEnd());

    EXPECT_EQ(testing::ReadWholeFile(CacheFile(2, 5)), body);
    EXPECT_EQ(controls_.View(), "lesson");
    EXPECT_EQ(controls_.Movie(), CacheFile(2, 5));
    EXPECT_EQ(ToUtf8(controls_.StatusCaption()), "下载已完成");
    EXPECT_EQ(controls_.ProgressPosition(), 0);
    // The downloading view came first, with the idle movie silencing the player.
    const auto log = controls_.Log();
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 5),
              (std::vector<std::string>{"show label", "show bar", "hide flash", "hide web",
                                        "movie " + dir_.File("3.swf")}));
    EXPECT_TRUE(messages_.Texts().empty());
}

TEST_F(LessonSelectionTest, PartialAndOversizedCacheFilesAreFetchedAfresh) {
    for (std::size_t existing : {1000u, 9000u}) {
        const std::string body = ServeLesson(0, 3, 5000);
        testing::WriteWholeFile(CacheFile(0, 3), std::string(existing, 'x'));
        OnLessonMenuItemClicked(0, 3);
        ASSERT_TRUE(DownloadsEnd());
        EXPECT_EQ(testing::ReadWholeFile(CacheFile(0, 3)), body) << existing;
        EXPECT_EQ(controls_.View(), "lesson");
    }
}

TEST_F(LessonSelectionTest, UnreachableServerWithNoFileTriesTheDownloadAndSaysSo) {
    const int closedPort = testing::ClosedLoopbackPort();
    setenv("PEBBLEWICK_LESSON_HOST1", ("127.0.0.1:" + std::to_string(closedPort)).c_str(), 1);

    OnLessonMenuItemClicked(0, 1);
    ASSERT_TRUE(DownloadsEnd());

    EXPECT_EQ(messages_.Texts(), std::vector<Text>{FromUtf8("不能打开该URL!")});
    EXPECT_EQ(controls_.View(), "downloading");  // left in place until the next choice
    EXPECT_EQ(LocalFileSize(CacheFile(0, 1)), -1);
}

TEST_F(LessonSelectionTest, NoContentLengthCompletesAndPlaysWhenTheTransferEndsWell) {
    const std::string body = ServeLesson(1, 2, 30000, {.omitContentLength = true});
    OnLessonMenuItemClicked(1, 2);
    ASSERT_TRUE(DownloadsEnd());
    EXPECT_EQ(testing::ReadWholeFile(CacheFile(1, 2)), body);
    EXPECT_EQ(controls_.View(), "lesson");
    EXPECT_EQ(ToUtf8(controls_.StatusCaption()), "下载已完成");
    for (const Text& caption : controls_.Captions()) EXPECT_EQ(ToUtf8(caption).find('-'), std::string::npos);
}

TEST_F(LessonSelectionTest, NewChoiceSupersedesTheRunningDownload) {
    const std::string slowBody = ServeLesson(0, 5, 400 * 1024, {.chunkSize = 8192, .chunkDelay = 20ms});
    const std::string quickBody = ServeLesson(0, 6, 20000);

    OnLessonMenuItemClicked(0, 5);
    // Let A get going, then choose B.
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (LocalFileSize(CacheFile(0, 5)) < 16384 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(5ms);
    OnLessonMenuItemClicked(0, 6);
    ASSERT_TRUE(DownloadsEnd());

    EXPECT_EQ(testing::ReadWholeFile(CacheFile(0, 6)), quickBody);
    const std::int32_t partial = LocalFileSize(CacheFile(0, 5));
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, static_cast<std::int32_t>(slowBody.size()));  // stopped, partial kept
    EXPECT_EQ(controls_.View(), "lesson");
    EXPECT_EQ(controls_.Movie(), CacheFile(0, 6));
    EXPECT_EQ(ToUtf8(controls_.StatusCaption()), "下载已完成");
    EXPECT_TRUE(messages_.Texts().empty());
}

TEST_F(LessonSelectionTest, CacheCompletenessNeedsAnExistingFileOfTheRemoteSize) {
    EXPECT_TRUE(CacheFileIsComplete(1048576, 1048576.0));
    EXPECT_TRUE(CacheFileIsComplete(0, 0.0));
    EXPECT_FALSE(CacheFileIsComplete(-1, -1.0));  // missing file, failed probe
    EXPECT_FALSE(CacheFileIsComplete(-1, -2.0));
    EXPECT_FALSE(CacheFileIsComplete(100, 101.0));
    EXPECT_FALSE(CacheFileIsComplete(100, -1.0));
}

TEST_F(LessonSelectionTest, GuestbookShowsItsPageAndKeepsTheUrl) {
    Globals().CurrentUrl = "http://kept/";
    Globals().CurrentFileName = "lll.ylq";
    OnLessonMenuItemClicked(3, 0);
    EXPECT_EQ(Globals().CurrentUrl, "http://kept/");
    EXPECT_EQ(Globals().CurrentFileName, "3.swf");
    EXPECT_EQ(controls_.Log(), (std::vector<std::string>{"movie " + dir_.File("3.swf"), "play", "hide flash",
                                                         "show web",
                                                         "address http://" + server_.HostPort() + "/tovel/gb/"}));
}

TEST_F(LessonSelectionTest, PairsOutsideTheMenuChangeNothing) {
    for (auto [g, i] : {std::pair{0, 16}, {3, 1}, {4, 0}, {-1, 0}}) OnLessonMenuItemClicked(g, i);
    EXPECT_TRUE(controls_.Log().empty());
    EXPECT_TRUE(server_.Requests().empty());
    EXPECT_TRUE(Globals().CurrentUrl.empty());
}

TEST_F(LessonSelectionTest, GuestbookDuringADownloadLeavesItRunningWithItsDisplay) {
    const std::string body = ServeLesson(0, 7, 200 * 1024, {.chunkSize = 8192, .chunkDelay = 5ms});
    OnLessonMenuItemClicked(0, 7);
    OnLessonMenuItemClicked(3, 0);
    ASSERT_TRUE(DownloadsEnd());
    EXPECT_EQ(testing::ReadWholeFile(CacheFile(0, 7)), body);
    // The download finished and played its own file, not "3.swf".
    EXPECT_EQ(controls_.Movie(), CacheFile(0, 7));
}

}  // namespace
}  // namespace pw
