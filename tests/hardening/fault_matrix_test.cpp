// What the user sees, and what is left on disk, when a lesson download meets a faulty
// server, a full disk or a program directory it cannot write.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "core/files.h"
#include "core/program_state.h"
#include "lessons/catalogue.h"
#include "lessons/download_worker.h"
#include "lessons/lesson_selection.h"
#include "net/resumable_downloader.h"
#include "tests/hardening/hardening_support.h"
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

using Clock = std::chrono::steady_clock;

int CountEntries(const std::vector<std::string>& log, const std::string& entry) {
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
}

std::vector<std::string> Utf8(const std::vector<Text>& texts) {
    std::vector<std::string> out;
    for (const Text& t : texts) out.push_back(ToUtf8(t));
    return out;
}

class FaultMatrixTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"PEBBLEWICK_SITE_HOST", "PEBBLEWICK_LESSON_HOST1", "PEBBLEWICK_LESSON_HOST2"})
            setenv(name, server_.HostPort().c_str(), 1);
        SetProgramDirectory(dir_.Path());
        SetMainWindowControls(controls_.get());
        Globals() = ProgramState{};
    }
    void TearDown() override {
        Downloads().StopAll();
        SetMainWindowControls(nullptr);
        for (const char* name : {"PEBBLEWICK_SITE_HOST", "PEBBLEWICK_LESSON_HOST1", "PEBBLEWICK_LESSON_HOST2"})
            unsetenv(name);
    }

    std::string ServeLesson(int group, int item, std::size_t size, FixtureResource resource = {}) {
        resource.body = FixtureServer::GeneratedBody(size);
        server_.Serve(Lookup(group, item)->path, resource);
        return resource.body;
    }
    std::string CacheFile(int group, int item) const { return dir_.File(Lookup(group, item)->cacheName); }

    // A fresh display for the next case; no download may be running.
    void ResetControls() {
        controls_ = std::make_unique<FakeControls>();
        SetMainWindowControls(controls_.get());
    }

    // Neither the playing view nor a completion was ever shown.
    void ExpectNothingPlayed() const {
        const auto log = controls_->Log();
        EXPECT_EQ(CountEntries(log, "play"), 0);
        EXPECT_EQ(CountEntries(log, "show flash"), 0);
        for (const Text& caption : controls_->Captions()) EXPECT_NE(ToUtf8(caption), "下载已完成");
        EXPECT_EQ(controls_->View(), "downloading");  // the failed download's display stays
    }

    FixtureServer server_;
    TempDir dir_;
    std::unique_ptr<FakeControls> controls_ = std::make_unique<FakeControls>();
    MessageRecorder messages_;
};

TEST_F(FaultMatrixTest, ServerGoneMidBodyIsReportedAndKeepsThePartialFile) {
    // Gone before the first body byte, within the first read, and after several reads.
    for (std::size_t breakOff : {0u, 5000u, 40000u}) {
        SCOPED_TRACE(breakOff);
        ResetControls();
        MessageRecorder messages;
        const std::string body = ServeLesson(0, 2, 100000, {.chunkSize = 4096, .breakOffAfter = breakOff});

        OnLessonMenuItemClicked(0, 2);
        ASSERT_TRUE(DownloadsEnd());

        EXPECT_EQ(Utf8(messages.Texts()), std::vector<std::string>{"下载中断!"});
        const std::string kept = testing::ReadWholeFile(CacheFile(0, 2));
        EXPECT_EQ(LocalFileSize(CacheFile(0, 2)), static_cast<std::int32_t>(breakOff));
        EXPECT_EQ(kept, body.substr(0, breakOff));
        ExpectNothingPlayed();
    }
}

TEST_F(FaultMatrixTest, BytesBeyondTheContentLengthAreNotStoredAndTheLessonPlaysOnce) {
    for (std::size_t chunk : {0u, 4096u}) {
        SCOPED_TRACE(chunk);
        ResetControls();
        std::filesystem::remove(CacheFile(1, 0));
        const std::string body = ServeLesson(1, 0, 30000, {.chunkSize = chunk, .extraBytes = 700});

        OnLessonMenuItemClicked(1, 0);
        ASSERT_TRUE(DownloadsEnd());

        EXPECT_EQ(testing::ReadWholeFile(CacheFile(1, 0)), body);
        EXPECT_EQ(controls_->View(), "lesson");
        EXPECT_EQ(CountEntries(controls_->Log(), "play"), 1);
        EXPECT_EQ(CountEntries(controls_->Log(), "movie " + CacheFile(1, 0)), 1);
        EXPECT_EQ(ToUtf8(controls_->StatusCaption()), "下载已完成");
        EXPECT_TRUE(messages_.Texts().empty());
    }
    // The stored file is complete: the next choice plays it without fetching it again.
    const int getsBefore = CountRequests(server_, "GET");
    OnLessonMenuItemClicked(1, 0);
    EXPECT_FALSE(Downloads().Running());
    EXPECT_EQ(CountRequests(server_, "GET"), getsBefore);
    EXPECT_EQ(controls_->Log().back(), "play");
}

TEST_F(FaultMatrixTest, RedirectLoopFailsCleanlyWithoutAFile) {
    server_.Serve(Lookup(0, 4)->path, {.redirectTo = server_.BaseUrl() + "/loop/a"});
    server_.Serve("/loop/a", {.redirectTo = server_.BaseUrl() + "/loop/b"});
    server_.Serve("/loop/b", {.redirectTo = server_.BaseUrl() + "/loop/a"});

    const auto start = Clock::now();
    OnLessonMenuItemClicked(0, 4);
    ASSERT_TRUE(DownloadsEnd(10s));
    EXPECT_LT(Clock::now() - start, 10s);

    EXPECT_EQ(Utf8(messages_.Texts()), std::vector<std::string>{"不能打开该URL!"});
    EXPECT_EQ(LocalFileSize(CacheFile(0, 4)), -1);
    ExpectNothingPlayed();
    // Each of the two probes and the download gave up after a bounded number of hops.
    EXPECT_LE(server_.Requests().size(), 3u * 12u);
}

TEST_F(FaultMatrixTest, HeadThatNeverAnswersTimesOutAndTheLessonIsDownloaded) {
    const LessonEntry lesson = *Lookup(2, 3);
    const std::string body = FixtureServer::GeneratedBody(20000);
    server_.Serve(lesson.path, {.body = body, .stallHead = true});
    // Once the first HEAD hangs, the server answers later HEADs with 405 (a failed probe
    // again, but at once); the hanging one stays unanswered.
    std::jthread swapper([&](std::stop_token stop) {
        while (!stop.stop_requested() && CountRequests(server_, "HEAD") == 0) std::this_thread::sleep_for(5ms);
        server_.Serve(lesson.path, {.body = body, .refuseHead = true});
    });

    const auto start = Clock::now();
    OnLessonMenuItemClicked(2, 3);
    const auto took = Clock::now() - start;
    // The probe's own time-out (15 s), not the server, ended the wait.
    EXPECT_GE(took, 14s);
    EXPECT_LT(took, 25s);

    // Both probes failed and there is no file: a missing file is never complete.
    ASSERT_TRUE(DownloadsEnd());
    EXPECT_EQ(CountRequests(server_, "HEAD"), 2);
    EXPECT_EQ(testing::ReadWholeFile(dir_.File(lesson.cacheName)), body);
    const auto log = controls_->Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "show label");  // no playback of a missing file came first
    EXPECT_EQ(CountEntries(log, "play"), 1);
    EXPECT_EQ(controls_->View(), "lesson");
    EXPECT_TRUE(messages_.Texts().empty());
    server_.ReleaseStalls();
}

TEST_F(FaultMatrixTest, DiskFullIsReportedAndNeverCompletes) {
    const std::string body = ServeLesson(0, 9, 50000, {.chunkSize = 8192});
    std::filesystem::create_symlink("/dev/full", CacheFile(0, 9));

    OnLessonMenuItemClicked(0, 9);
    ASSERT_TRUE(DownloadsEnd());

    EXPECT_EQ(Utf8(messages_.Texts()), std::vector<std::string>{"下载中断!"});
    ExpectNothingPlayed();
    EXPECT_TRUE(std::filesystem::is_symlink(CacheFile(0, 9)));
}

TEST_F(FaultMatrixTest, WriteErrorPartWayKeepsOnlyTheBytesWritten) {
    // A file size limit makes the write fail part-way, as a disk that fills up does.
    const std::string body = ServeLesson(1, 4, 60000, {.chunkSize = 8192});
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 25000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);

    OnLessonMenuItemClicked(1, 4);
    const bool ended = DownloadsEnd();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(ended);

    EXPECT_EQ(Utf8(messages_.Texts()), std::vector<std::string>{"下载中断!"});
    EXPECT_EQ(testing::ReadWholeFile(CacheFile(1, 4)), body.substr(0, 25000));
    ExpectNothingPlayed();
    // The short file is not complete: the next choice fetches it again, and plays it.
    ResetControls();
    OnLessonMenuItemClicked(1, 4);
    ASSERT_TRUE(DownloadsEnd());
    EXPECT_EQ(testing::ReadWholeFile(CacheFile(1, 4)), body);
    EXPECT_EQ(controls_->View(), "lesson");
}

TEST_F(FaultMatrixTest, ProgramDirectoryThatCannotHoldFilesIsReportedAndNothingPlays) {
    // As root a read-only folder is still writable; a path through a regular file is not.
    const std::string notADirectory = dir_.File("plain-file");
    testing::WriteWholeFile(notADirectory, "x");
    SetProgramDirectory(notADirectory);
    ServeLesson(2, 1, 20000);

    OnLessonMenuItemClicked(2, 1);
    ASSERT_TRUE(DownloadsEnd());

    EXPECT_EQ(Utf8(messages_.Texts()), std::vector<std::string>{"不能打开本地的文件!"});
    ExpectNothingPlayed();
    EXPECT_EQ(testing::ReadWholeFile(notADirectory), "x");
    EXPECT_EQ(CountRequests(server_, "GET"), 1);
}

// Two downloads of the same file at once, as two program instances choosing the same
// lesson would run them. Had each emptied the file and written at its own offset, a later
// one that stops early beside an earlier one that completes would leave the full size
// with holes, and the next choice would play it as complete. The later one waits for the
// earlier one instead, then starts the file afresh.
TEST_F(FaultMatrixTest, TwoDownloadsOfTheSameFileNeverLeaveAWrongFileOfFullSize) {
    const std::string body = FixtureServer::GeneratedBody(200000);
    server_.Serve("/first", {.body = body, .chunkSize = 10000, .stallAfter = 150000});
    server_.Serve("/second", {.body = body, .chunkSize = 10000, .breakOffAfter = 10000});
    const std::string file = dir_.File("same.ylq");

    std::jthread first([&] { ResumableDownloader(server_.BaseUrl() + "/first", file, {}, 0, 0); });
    const auto until = Clock::now() + 10s;
    while (LocalFileSize(file) < 150000 && Clock::now() < until) std::this_thread::sleep_for(5ms);
    ASSERT_EQ(LocalFileSize(file), 150000);
    int secondResult = 0;
    std::jthread second([&] { secondResult = ResumableDownloader(server_.BaseUrl() + "/second", file, {}, 0, 0); });
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(LocalFileSize(file), 150000);  // the second has not emptied it under the first
    server_.ReleaseStalls();
    first.join();
    second.join();
    EXPECT_EQ(secondResult, -1);  // it broke off after 10000 bytes of its own
    EXPECT_EQ(LocalFileSize(file), 10000);

    const std::string stored = testing::ReadWholeFile(file);
    std::size_t wrong = 0, firstWrong = stored.size();
    for (std::size_t i = 0; i < std::min(stored.size(), body.size()); ++i)
        if (stored[i] != body[i]) {
            firstWrong = std::min(firstWrong, i);
            ++wrong;
        }
    EXPECT_LE(stored.size(), body.size());
    EXPECT_EQ(wrong, 0u) << "file of " << stored.size() << " bytes (body " << body.size() << "): " << wrong
                         << " wrong bytes from offset " << firstWrong;
}

}  // namespace
}  // namespace pw
