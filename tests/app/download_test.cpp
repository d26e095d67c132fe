// Lesson and update downloads in the program: only whole movies are stored, broken
// downloads resume, the update waits for a lesson download, every wait can be stopped.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <thread>

#include "core/files.h"
#include "lessons/download_progress.h"
#include "lessons/download_worker.h"
#include "tests/app/program_harness.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using testing::CountRequests;
using testing::FixtureResource;
using testing::FixtureServer;
using testing::Played;
using testing::ProgramHarness;
using testing::ReadWholeFile;
using testing::WriteWholeFile;

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// Waits for other threads without running the event loop: what they post stays queued.
template <class Predicate>
bool WaitWithoutEvents(Predicate done) {
    for (int i = 0; i < 10000 && !done(); ++i) std::this_thread::sleep_for(2ms);
    return done();
}

struct NotAMovieCase {
    const char* name;
    bool lessonOnDisk;
    bool cutBody;  // else a captive portal's login page
};

void PrintTo(const NotAMovieCase& c, std::ostream* os) { *os << c.name; }

class NotAMovieTest : public ::testing::TestWithParam<NotAMovieCase> {};

TEST_P(NotAMovieTest, IsNotStoredAndAWholeLessonOnDiskStillPlays) {
    ProgramHarness h;
    const std::string lesson = FixtureServer::GeneratedBody(30000);
    const std::string cache = h.CacheFile(0, 5);
    if (GetParam().lessonOnDisk) WriteWholeFile(cache, lesson);
    FixtureResource answer{.body = "<html><body>\xC7\xEB\xB5\xC7\xC2\xBC</body></html>", .contentType = "text/html"};
    if (GetParam().cutBody) answer = {.body = lesson.substr(0, 12000), .omitContentLength = true};
    h.server.Serve(Lookup(0, 5)->path, answer);

    h.program->OnLessonMenuItemClicked(0, 5);
    ASSERT_TRUE(h.Settle());

    EXPECT_EQ(CountRequests(h.server, "GET"), 1);  // the download was tried
    EXPECT_FALSE(Exists(PartFilePath(cache)));
    EXPECT_FALSE(Exists(PartMetaPath(cache)));
    if (GetParam().lessonOnDisk) {
        EXPECT_TRUE(ReadWholeFile(cache) == lesson);
        EXPECT_TRUE(Played(h.display, cache));
        EXPECT_TRUE(h.messages.Texts().empty());
    } else {
        EXPECT_FALSE(Exists(cache));
        EXPECT_FALSE(Played(h.display, cache));
        EXPECT_EQ(h.messages.Texts(), std::vector<Text>{msg::CannotOpenUrl()});
        EXPECT_EQ(h.display.Position(), 0);  // no full bar for a body that was not kept
    }
}

INSTANTIATE_TEST_SUITE_P(Bodies, NotAMovieTest,
                         ::testing::Values(NotAMovieCase{"PortalPageOverAWholeLesson", true, false},
                                           NotAMovieCase{"PortalPageWithNoLesson", false, false},
                                           NotAMovieCase{"CutBodyWithoutLength", false, true}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

enum class Served { TheMovie, AnotherMovie, AShorterMovie, ALoginPage };

struct ResumeCase {
    const char* name;
    FixtureResource again;  // how the server answers when the lesson is chosen again
    Served served;
    bool refetched;  // the answer to the resume was dropped and the whole file asked for
    bool partKept;   // else the lesson ends as the movie served
};

void PrintTo(const ResumeCase& c, std::ostream* os) { *os << c.name; }

// Another movie of `size` bytes, laid out as GeneratedBody's: its bytes differ only inside
// its one tag, so the start of one joined to the end of the other is a whole movie too.
std::string AnotherMovie(std::size_t size) {
    std::string movie = FixtureServer::GeneratedBody(size);
    for (std::size_t i = 19; i + 2 < size; ++i) movie[i] = static_cast<char>(movie[i] ^ 0x5A);
    return movie;
}

class BrokenDownloadTest : public ::testing::TestWithParam<ResumeCase> {};

// The second answer to a resume: only more of the same file goes into the part; anything
// else is fetched whole into a file of its own and kept only as a whole movie, and the
// part that it did not replace is resumed the next time.
TEST_P(BrokenDownloadTest, EndsWithTheWholeMovieOrWithThePartIntact) {
    const ResumeCase& c = GetParam();
    ProgramHarness h;
    constexpr std::size_t kSize = 400 * 1024, kCut = kSize * 6 / 10;
    const std::string body = FixtureServer::GeneratedBody(kSize);
    const std::string cache = h.CacheFile(1, 2);
    const std::string path = Lookup(1, 2)->path;
    h.server.Serve(path, {.body = body, .chunkSize = 8192, .breakOffAfter = kCut});
    h.program->OnLessonMenuItemClicked(1, 2);
    ASSERT_TRUE(h.Settle());
    ASSERT_EQ(h.messages.Texts(), std::vector<Text>{msg::DownloadInterrupted()});
    ASSERT_EQ(LocalFileSize(PartFilePath(cache)), static_cast<std::int32_t>(kCut));

    FixtureResource again = c.again;
    switch (c.served) {
    case Served::TheMovie: again.body = body; break;
    case Served::AnotherMovie: again.body = AnotherMovie(kSize); break;
    case Served::AShorterMovie: again.body = AnotherMovie(kCut - 4096); break;
    case Served::ALoginPage:
        again.body = "<html><body>\xC7\xEB\xB5\xC7\xC2\xBC</body></html>";
        again.contentType = "text/html";
        break;
    }
    again.chunkSize = 8192;
    again.chunkDelay = 10ms;  // slow enough for the display to show the rest coming
    h.server.Serve(path, again);
    const std::size_t sentBefore = h.server.BodyBytesSent();
    const std::size_t positionsBefore = h.display.Positions().size();
    h.program->OnLessonMenuItemClicked(1, 2);
    ASSERT_TRUE(h.Settle());

    const auto requests = h.server.Requests();
    const testing::RecordedRequest& resume = requests[requests.size() - (c.refetched ? 2 : 1)];
    EXPECT_EQ(resume.Header("Range"), "bytes=" + std::to_string(kCut) + "-");
    EXPECT_EQ(resume.Header("If-Range"), "\"fixture-1\"");
    if (c.refetched) {
        EXPECT_FALSE(requests.back().Header("Range"));
    }
    EXPECT_FALSE(Exists(FreshBodyPath(PartFilePath(cache))));
    if (c.partKept) {
        EXPECT_FALSE(Exists(cache));
        EXPECT_TRUE(ReadWholeFile(PartFilePath(cache)) == body.substr(0, kCut));
        EXPECT_TRUE(ReadWholeFile(PartMetaPath(cache)).starts_with("\"fixture-1\"\n"));
        EXPECT_EQ(h.messages.Texts().size(), 2u);
        // The next try, with the server as it was: the part goes on with a 206.
        h.server.Serve(path, {.body = body, .chunkSize = 8192});
        const std::size_t sentThen = h.server.BodyBytesSent();
        h.program->OnLessonMenuItemClicked(1, 2);
        ASSERT_TRUE(h.Settle());
        EXPECT_EQ(h.server.Requests().back().Header("Range"), "bytes=" + std::to_string(kCut) + "-");
        EXPECT_EQ(h.server.BodyBytesSent() - sentThen, kSize - kCut);
        EXPECT_TRUE(ReadWholeFile(cache) == body);
    } else {
        EXPECT_TRUE(ReadWholeFile(cache) == again.body);
        EXPECT_TRUE(Played(h.display, cache));
        EXPECT_FALSE(Exists(PartFilePath(cache)));
        EXPECT_FALSE(Exists(PartMetaPath(cache)));
        EXPECT_EQ(h.messages.Texts().size(), 1u);
    }
    if (std::string_view(c.name) == "SameFile") {
        EXPECT_EQ(h.server.BodyBytesSent() - sentBefore, kSize - kCut);
        // The display counts the whole movie, the resumed part included.
        int shown = 0;
        const auto& positions = h.display.Positions();
        for (std::size_t i = positionsBefore; i < positions.size(); ++i) {
            if (positions[i] == 0) continue;  // the bar's start and its completion
            EXPECT_GE(positions[i], 60);
            EXPECT_LT(positions[i], 100);
            ++shown;
        }
        EXPECT_GT(shown, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, BrokenDownloadTest,
    ::testing::Values(
        ResumeCase{"SameFile", {}, Served::TheMovie, false, false},
        ResumeCase{"ChangedFile", {.etag = "\"fixture-2\""}, Served::AnotherMovie, false, false},
        ResumeCase{"ChangedFileBehindACacheThatIgnoresIfRange", {.etag = "\"fixture-2\"", .ignoreIfRange = true},
                   Served::AnotherMovie, true, false},
        ResumeCase{"RangeStartsElsewhere", {.wrongRange = true}, Served::TheMovie, true, false},
        ResumeCase{"RangeIgnored", {.ignoreRange = true}, Served::TheMovie, false, false},
        ResumeCase{"NothingAfterThePart416", {}, Served::AShorterMovie, true, false},
        ResumeCase{"LoginPage", {.ignoreRange = true}, Served::ALoginPage, false, true},
        ResumeCase{"WholeMovieBrokenOff", {.breakOffAfter = 100000, .ignoreRange = true}, Served::TheMovie, false,
                   true}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(DownloadTest, ChoosingTheDownloadingLessonAgainGoesOnWithIt) {
    ProgramHarness h;
    const std::string body = h.ServeLesson(1, 6, 300 * 1024, {.chunkSize = 8192, .chunkDelay = 20ms});
    h.program->OnLessonMenuItemClicked(1, 6);
    ASSERT_TRUE(h.Until([&] { return h.display.Position() > 0; }));
    h.program->OnLessonMenuItemClicked(3, 0);  // the guestbook, with the download over it
    h.program->OnLessonMenuItemClicked(1, 6);
    EXPECT_EQ(h.display.View(), "downloading");
    ASSERT_TRUE(h.Settle());

    EXPECT_EQ(CountRequests(h.server, "GET"), 1);
    EXPECT_EQ(CountRequests(h.server, "HEAD"), 2);  // the first choice's probes only
    EXPECT_TRUE(ReadWholeFile(h.CacheFile(1, 6)) == body);
    EXPECT_TRUE(Played(h.display, h.CacheFile(1, 6)));
    EXPECT_TRUE(h.messages.Texts().empty());
}

TEST(DownloadTest, EveryDownloadStartsWithTheWaitingCaption) {
    ProgramHarness h;
    h.ServeLesson(0, 1, 20000);
    h.program->OnLessonMenuItemClicked(0, 1);
    ASSERT_TRUE(h.Settle());
    ASSERT_EQ(h.display.Caption(), DownloadCompleteCaption());

    // The next download fails at once: its display shows its own start, not the last text.
    h.server.Serve(Lookup(0, 2)->path, {.body = "gone", .status = 404});
    h.program->OnLessonMenuItemClicked(0, 2);
    ASSERT_TRUE(h.Settle());
    EXPECT_EQ(h.messages.Texts(), std::vector<Text>{msg::CannotOpenUrl()});
    EXPECT_EQ(h.display.View(), "downloading");
    EXPECT_EQ(h.display.Caption(), DownloadWaitingCaption());
    EXPECT_EQ(h.display.Position(), 0);
}

enum class Choice { None, LessonThenYes, YesThenLessonOnDisk, YesThenLessonToDownload };

struct UpdateCase {
    const char* name;
    Choice choice;
    bool movie;  // the update is a movie
};

void PrintTo(const UpdateCase& c, std::ostream* os) { *os << c.name; }

class AcceptedUpdateTest : public ::testing::TestWithParam<UpdateCase> {};

// The update said Yes to takes the content area only while the child has chosen no lesson:
// otherwise it waits for the lesson's download, downloads behind the lesson with its
// figures in the strip below, and is announced, not played, once in.
TEST_P(AcceptedUpdateTest, LeavesTheContentAreaToTheChildsLesson) {
    const UpdateCase& c = GetParam();
    ProgramHarness h;
    const std::string name = c.movie ? "new.swf" : "setup.exe";
    const std::string update = c.movie ? FixtureServer::GeneratedBody(60000) : std::string(60000, 'M');
    // Half of it comes at once, the rest when the test lets it.
    h.server.Serve("/new/" + name, {.body = update, .chunkSize = 3000, .chunkDelay = 20ms, .stallAfter = 30000});
    FixtureResource lessonAnswer{.chunkSize = 8192, .chunkDelay = 10ms};
    if (c.choice == Choice::LessonThenYes) lessonAnswer.stallAfter = 50 * 1024;  // still downloading at Yes
    const std::string lesson = h.ServeLesson(0, 7, 100 * 1024, lessonAnswer);
    const std::string cache = h.CacheFile(0, 7);
    if (c.choice == Choice::YesThenLessonOnDisk) WriteWholeFile(cache, lesson);
    const std::string updateFile = h.dir.File(name);
    auto yes = [&] {
        h.program->globals().CurrentUrl = h.server.BaseUrl() + "/new/" + name;
        h.program->globals().CurrentFileName = name;
        h.program->StartDownloadWorker();
    };
    auto updateRequests = [&] {
        int n = 0;
        for (const auto& r : h.server.Requests()) n += r.target == "/new/" + name;
        return n;
    };

    if (c.choice == Choice::LessonThenYes) {
        h.program->OnLessonMenuItemClicked(0, 7);
        ASSERT_TRUE(h.Until([&] { return h.display.Position() > 0; }));
        yes();  // while the lesson downloads: the update waits for it
    } else {
        yes();
        ASSERT_TRUE(h.Until([&] { return h.display.Position() > 0; }));  // the update's display
        EXPECT_EQ(h.display.View(), "downloading");
        if (c.choice != Choice::None) {
            h.program->OnLessonMenuItemClicked(0, 7);
            ASSERT_TRUE(h.Until([&] { return Played(h.display, cache); }));
        }
    }
    h.server.ReleaseStalls();
    ASSERT_TRUE(h.Settle());

    EXPECT_TRUE(ReadWholeFile(updateFile) == update);
    for (const std::string& entry : h.display.Log()) EXPECT_NE(entry, "movie " + updateFile);
    const auto requests = h.messages.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].text, Gbk<"新版本已下载到：\n">() + FromUtf8(h.dir.Path()) + Gbk<"\n文件：">() + name);
    EXPECT_EQ(h.foldersOpened, std::vector<Text>{h.dir.Path()});
    if (c.choice == Choice::None) return;
    // The lesson played on: no view changed and no movie silenced it after it began, and
    // the update's figures came below it.
    EXPECT_TRUE(ReadWholeFile(cache) == lesson);
    // Its download, if any, in one request: the update never stopped it.
    EXPECT_EQ(CountRequests(h.server, "GET") - updateRequests(), c.choice == Choice::YesThenLessonOnDisk ? 0 : 1);
    const auto& log = h.display.Log();
    std::size_t played = log.size();
    for (std::size_t i = 0; i + 1 < log.size(); ++i)
        if (log[i] == "movie " + cache && log[i + 1] == "play") played = i + 2;
    ASSERT_LT(played, log.size());
    bool figures = false;
    for (std::size_t i = played; i < log.size(); ++i) {
        const std::string& entry = log[i];
        EXPECT_FALSE(entry.starts_with("view ") || entry.starts_with("movie ")) << entry;
        figures = figures || entry == "update figures";
    }
    EXPECT_TRUE(figures);
    EXPECT_TRUE(h.display.UpdateFigures().empty());
    EXPECT_EQ(h.display.View(), "lesson");
    // Stopped for the lesson's download, the update went on from where it was.
    if (c.choice == Choice::YesThenLessonToDownload) {
        ASSERT_EQ(updateRequests(), 2);
        EXPECT_TRUE(h.server.Requests().back().Header("Range"));
    }
}

INSTANTIATE_TEST_SUITE_P(Choices, AcceptedUpdateTest,
                         ::testing::Values(UpdateCase{"NothingChosenAndNoMovie", Choice::None, false},
                                           UpdateCase{"YesWhileTheLessonDownloads", Choice::LessonThenYes, true},
                                           UpdateCase{"LessonOnDiskChosenAfterYes", Choice::YesThenLessonOnDisk, true},
                                           UpdateCase{"LessonToDownloadChosenAfterYes",
                                                      Choice::YesThenLessonToDownload, false}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// A site and a lesson host that accept and never answer, with time-outs far beyond the
// test's patience: only the stop requests can end the waits.
TEST(DownloadTest, EndProgramStopsTheUpdatePageAndTheProbeMidWait) {
    testing::SilentServer silent;
    ProgramHarness h(testing::ShortTimeouts(10min), silent.HostPort(), silent.HostPort());
    h.program->OnMainWindowCreated();
    h.program->OnLessonMenuItemClicked(0, 0);
    ASSERT_TRUE(h.Until([&] { return silent.Accepted() >= 2; }));  // the page and the first probe
    ASSERT_TRUE(h.program->WorkersRunning());
    h.program->EndProgram();
    EXPECT_FALSE(h.program->WorkersRunning());
}

TEST(DownloadTest, AProbeThatAnswersAfterTheGuestbookWasChosenPlaysNothing) {
    ProgramHarness h(testing::ShortTimeouts(60s));
    const std::string cached = h.ServeLesson(0, 3, 5000, {.stallHead = true});
    WriteWholeFile(h.CacheFile(0, 3), cached);
    h.program->OnLessonMenuItemClicked(0, 3);
    ASSERT_TRUE(h.Until([&] { return CountRequests(h.server, "HEAD") == 1; }));
    h.program->OnLessonMenuItemClicked(3, 0);
    h.server.ReleaseStalls();
    ASSERT_TRUE(h.Settle());

    for (const std::string& entry : h.display.Log()) EXPECT_NE(entry, "movie " + h.CacheFile(0, 3));
}

// The superseded download's last event is already queued when the next choice comes.
class SupersededDownloadEventTest : public ::testing::TestWithParam<bool> {};

TEST_P(SupersededDownloadEventTest, NeitherPlaysNorTells) {
    const bool completes = GetParam();
    ProgramHarness h;
    FixtureResource slow{.stallAfter = 5000};
    if (!completes) slow.breakOffAfter = 10000;
    h.ServeLesson(0, 9, 20000, slow);
    const std::string cached = h.ServeLesson(0, 10, 5000);
    WriteWholeFile(h.CacheFile(0, 10), cached);

    h.program->OnLessonMenuItemClicked(0, 9);
    ASSERT_TRUE(h.Until([&] { return h.display.View() == "downloading"; }));
    h.server.ReleaseStalls();
    ASSERT_TRUE(WaitWithoutEvents([&] { return !h.program->WorkersRunning(); }));
    h.program->OnLessonMenuItemClicked(0, 10);
    ASSERT_TRUE(h.Settle());

    EXPECT_TRUE(h.messages.Texts().empty());
    for (const std::string& entry : h.display.Log()) EXPECT_NE(entry, "movie " + h.CacheFile(0, 9));
    EXPECT_EQ(h.display.Movie(), h.CacheFile(0, 10));
    EXPECT_EQ(h.display.View(), "lesson");
}

INSTANTIATE_TEST_SUITE_P(Ends, SupersededDownloadEventTest, ::testing::Bool(),
                         [](const auto& testCase) { return testCase.param ? "Completed" : "Failed"; });

}  // namespace
}  // namespace pw
