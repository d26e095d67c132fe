// The program's handlers against a fixture server: lesson choices, downloads, pages.
#include <gtest/gtest.h>

#include "core/files.h"
#include "lessons/catalogue.h"
#include "lessons/lesson_selection.h"
#include "tests/app/program_harness.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using testing::CountRequests;
using testing::FixtureServer;
using testing::ProgramHarness;

class ProgramTest : public ::testing::Test {
protected:
    ProgramHarness h;
    Program& program = *h.program;
    testing::FakeDisplay& display = h.display;
};

TEST_F(ProgramTest, CompleteCacheFilePlaysWithTwoProbesAndNoDownload) {
    const std::string body = h.ServeLesson(0, 0, 5000);
    testing::WriteWholeFile(h.CacheFile(0, 0), body);

    program.OnLessonMenuItemClicked(0, 0);
    ASSERT_TRUE(h.Settle());

    EXPECT_EQ(CountRequests(h.server, "HEAD"), 2);
    EXPECT_EQ(CountRequests(h.server, "GET"), 0);
    EXPECT_EQ(display.View(), "lesson");
    EXPECT_EQ(display.Movie(), h.CacheFile(0, 0));
    EXPECT_EQ(display.Log().back(), "play");
    EXPECT_EQ(program.globals().CurrentFileName, "actdlh.ylq");
}

TEST_F(ProgramTest, MissingFileIsDownloadedShownAsProgressAndPlayed) {
    const std::string body = h.ServeLesson(2, 5, 64 * 1024, {.chunkSize = 4096});

    program.OnLessonMenuItemClicked(2, 5);
    ASSERT_TRUE(h.Settle());

    EXPECT_TRUE(testing::ReadWholeFile(h.CacheFile(2, 5)) == body);
    EXPECT_EQ(display.View(), "lesson");
    EXPECT_EQ(display.Movie(), h.CacheFile(2, 5));
    EXPECT_EQ(ToUtf8(display.Caption()), "下载已完成");
    EXPECT_EQ(display.Position(), 0);
    // The downloading view came first, with the idle movie silencing the player.
    const auto& log = display.Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 2),
              (std::vector<std::string>{"view downloading", "movie " + h.dir.File("3.swf")}));
    EXPECT_TRUE(h.messages.Texts().empty());
}

TEST_F(ProgramTest, PartialAndOversizedCacheFilesAreFetchedAfresh) {
    for (std::size_t existing : {1000u, 9000u}) {
        const std::string body = h.ServeLesson(0, 3, 5000);
        testing::WriteWholeFile(h.CacheFile(0, 3), std::string(existing, 'x'));
        program.OnLessonMenuItemClicked(0, 3);
        ASSERT_TRUE(h.Settle());
        EXPECT_TRUE(testing::ReadWholeFile(h.CacheFile(0, 3)) == body) << existing;
        EXPECT_EQ(display.View(), "lesson");
    }
}

TEST(ProgramUnreachableTest, UnreachableServerWithNoFileTriesTheDownloadAndSaysSo) {
    ProgramHarness h(testing::ShortTimeouts(), "127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()));
    h.program->OnLessonMenuItemClicked(0, 1);
    ASSERT_TRUE(h.Settle());

    EXPECT_EQ(h.messages.Texts(), std::vector<Text>{Gbk<"不能打开该URL!">()});
    EXPECT_EQ(h.display.View(), "downloading");  // left in place until the next choice
    EXPECT_EQ(LocalFileSize(h.CacheFile(0, 1)), -1);
}

TEST_F(ProgramTest, NoContentLengthCompletesAndPlaysWhenTheTransferEndsWell) {
    const std::string body = h.ServeLesson(1, 2, 30000, {.omitContentLength = true});
    program.OnLessonMenuItemClicked(1, 2);
    ASSERT_TRUE(h.Settle());
    EXPECT_TRUE(testing::ReadWholeFile(h.CacheFile(1, 2)) == body);
    EXPECT_EQ(display.View(), "lesson");
    EXPECT_EQ(ToUtf8(display.Caption()), "下载已完成");
    for (const Text& caption : display.Captions()) EXPECT_EQ(ToUtf8(caption).find('-'), std::string::npos);
}

TEST_F(ProgramTest, NewChoiceSupersedesTheRunningDownload) {
    const std::string slowBody = h.ServeLesson(0, 5, 400 * 1024, {.chunkSize = 8192, .chunkDelay = 20ms});
    const std::string quickBody = h.ServeLesson(0, 6, 20000);

    program.OnLessonMenuItemClicked(0, 5);
    ASSERT_TRUE(h.Until([&] { return LocalFileSize(h.CacheFile(0, 5) + ".part") >= 16384 ||
                                     LocalFileSize(h.CacheFile(0, 5)) >= 16384; }));
    program.OnLessonMenuItemClicked(0, 6);
    ASSERT_TRUE(h.Settle());

    EXPECT_TRUE(testing::ReadWholeFile(h.CacheFile(0, 6)) == quickBody);
    EXPECT_EQ(display.View(), "lesson");
    EXPECT_EQ(display.Movie(), h.CacheFile(0, 6));
    EXPECT_EQ(ToUtf8(display.Caption()), "下载已完成");
    EXPECT_TRUE(h.messages.Texts().empty());
}

// A lesson chosen while another downloads plays from its complete cache: the download
// stops, and nothing of it lands over the lesson afterwards.
TEST_F(ProgramTest, ChoosingACompleteLessonDuringADownloadStopsTheDownload) {
    const std::string slowBody = h.ServeLesson(0, 5, 400 * 1024, {.chunkSize = 8192, .chunkDelay = 20ms});
    const std::string cached = h.ServeLesson(0, 6, 20000);
    testing::WriteWholeFile(h.CacheFile(0, 6), cached);

    program.OnLessonMenuItemClicked(0, 5);
    ASSERT_TRUE(h.Until([&] { return display.Position() > 0; }));
    program.OnLessonMenuItemClicked(0, 6);
    ASSERT_TRUE(h.Settle());

    EXPECT_EQ(display.View(), "lesson");
    EXPECT_EQ(display.Movie(), h.CacheFile(0, 6));
    EXPECT_EQ(display.Log().back(), "play");
    // The first lesson was not fetched to its end, and its file was never played.
    EXPECT_LT(CountRequests(h.server, "GET"), 2);
    EXPECT_NE(testing::ReadWholeFile(h.CacheFile(0, 5)), slowBody);
    for (const std::string& entry : display.Log()) EXPECT_NE(entry, "movie " + h.CacheFile(0, 5));
    EXPECT_TRUE(h.messages.Texts().empty());
}

TEST_F(ProgramTest, CacheCompletenessNeedsAnExistingFileOfTheRemoteSize) {
    EXPECT_TRUE(CacheFileIsComplete(1048576, 1048576.0));
    EXPECT_FALSE(CacheFileIsComplete(0, 0.0));  // an empty file, whatever the probe says
    EXPECT_FALSE(CacheFileIsComplete(-1, -1.0));  // missing file, failed probe
    EXPECT_FALSE(CacheFileIsComplete(-1, -2.0));
    EXPECT_FALSE(CacheFileIsComplete(100, 101.0));
    EXPECT_FALSE(CacheFileIsComplete(100, -1.0));
}

TEST_F(ProgramTest, GuestbookShowsItsPageAndKeepsTheUrl) {
    program.globals().CurrentUrl = "http://kept/";
    program.globals().CurrentFileName = "lll.ylq";
    program.OnLessonMenuItemClicked(3, 0);
    EXPECT_EQ(program.globals().CurrentUrl, "http://kept/");
    EXPECT_EQ(program.globals().CurrentFileName, "3.swf");
    EXPECT_EQ(display.Log(), (std::vector<std::string>{"movie " + h.dir.File("3.swf"), "play", "view web",
                                                       "address http://" + h.server.HostPort() + "/tovel/gb/"}));
}

TEST_F(ProgramTest, PairsOutsideTheMenuChangeNothing) {
    for (auto [g, i] : {std::pair{0, 16}, {3, 1}, {4, 0}, {-1, 0}}) program.OnLessonMenuItemClicked(g, i);
    ASSERT_TRUE(h.Settle());
    EXPECT_TRUE(display.Log().empty());
    EXPECT_TRUE(h.server.Requests().empty());
    EXPECT_TRUE(program.globals().CurrentUrl.empty());
}

TEST_F(ProgramTest, GuestbookDuringADownloadLeavesItRunningWithItsDisplay) {
    const std::string body = h.ServeLesson(0, 7, 200 * 1024, {.chunkSize = 8192, .chunkDelay = 5ms});
    program.OnLessonMenuItemClicked(0, 7);
    ASSERT_TRUE(h.Until([&] { return display.View() == "downloading"; }));
    program.OnLessonMenuItemClicked(3, 0);
    EXPECT_EQ(display.View(), "web+download");
    ASSERT_TRUE(h.Settle());
    EXPECT_TRUE(testing::ReadWholeFile(h.CacheFile(0, 7)) == body);
    // The download finished and played its own file, not "3.swf".
    EXPECT_EQ(display.Movie(), h.CacheFile(0, 7));
    EXPECT_EQ(display.View(), "lesson");
}

}  // namespace
}  // namespace pw
