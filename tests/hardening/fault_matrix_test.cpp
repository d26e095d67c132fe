// What the user sees, and what is left on disk, when a lesson download meets a faulty
// server, a full disk or a program directory it cannot write.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/program.h"
#include "core/files.h"
#include "lessons/catalogue.h"
#include "lessons/download_worker.h"
#include "net/resumable_downloader.h"
#include "tests/hardening/hardening_support.h"
#include "tests/support/fake_display.h"
#include "tests/support/fixture_server.h"
#include "tests/support/gui_test_support.h"
#include "tests/support/message_recorder.h"
#include "tests/support/program_window.h"
#include "tests/support/temp_dir.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using testing::CountRequests;
using testing::FakeDisplay;
using testing::FixtureResource;
using testing::FixtureServer;
using testing::MessageRecorder;
using testing::ProgramSettles;
using testing::TempDir;

int CountEntries(const std::vector<std::string>& log, const std::string& entry) {
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
}

std::vector<std::string> Utf8(const std::vector<Text>& texts) {
    std::vector<std::string> out;
    for (const Text& t : texts) out.push_back(ToUtf8(t));
    return out;
}

// The program with a display that records what it is shown and a recorder for its
// messages, its hosts at the fixture server.
class FaultMatrixTest : public ::testing::Test {
protected:
    void SetUp() override { MakeProgram(dir_.Path()); }
    void TearDown() override { program_.reset(); }

    // A fresh program, display and message recorder; no download may be running.
    void MakeProgram(const std::string& dataDirectory, const NetworkTimeouts& timeouts = {}) {
        program_.reset();
        display_ = std::make_unique<FakeDisplay>();
        messages_ = std::make_unique<MessageRecorder>();
        ProgramSetup setup;
        setup.hosts = Hosts{server_.HostPort(), server_.HostPort(), server_.HostPort()};
        setup.dataDirectory = dataDirectory;
        setup.messages = messages_.get();
        setup.openInBrowser = [](const Text&) {};
        setup.timeouts = timeouts;
        program_ = std::make_unique<Program>(std::move(setup));
        program_->AttachDisplay(*display_);
    }
    void ResetControls() { MakeProgram(dir_.Path()); }

    std::string ServeLesson(int group, int item, std::size_t size, FixtureResource resource = {}) {
        resource.body = FixtureServer::GeneratedBody(size);
        server_.Serve(Lookup(group, item)->path, resource);
        return resource.body;
    }
    std::string CacheFile(int group, int item) const { return dir_.File(Lookup(group, item)->cacheName); }
    // Where a download writes until its file is whole.
    std::string PartFile(int group, int item) const { return PartFilePath(CacheFile(group, item)); }

    // Neither the playing view nor a completion was ever shown.
    void ExpectNothingPlayed() const {
        const auto log = display_->Log();
        EXPECT_EQ(CountEntries(log, "play"), 0);
        EXPECT_EQ(CountEntries(log, "view lesson"), 0);
        for (const Text& caption : display_->Captions()) EXPECT_NE(ToUtf8(caption), "下载已完成");
        EXPECT_EQ(display_->View(), "downloading");  // the failed download's display stays
    }

    FixtureServer server_;
    TempDir dir_;
    std::unique_ptr<FakeDisplay> display_;
    std::unique_ptr<MessageRecorder> messages_;
    std::unique_ptr<Program> program_;
};

TEST_F(FaultMatrixTest, ServerGoneMidBodyIsReportedAndKeepsThePartialFile) {
    // Gone before the first body byte, within the first read, and after several reads.
    for (std::size_t breakOff : {0u, 5000u, 40000u}) {
        SCOPED_TRACE(breakOff);
        ResetControls();
        const std::string body = ServeLesson(0, 2, 100000, {.chunkSize = 4096, .breakOffAfter = breakOff});

        program_->OnLessonMenuItemClicked(0, 2);
        ASSERT_TRUE(ProgramSettles(*program_));

        EXPECT_EQ(Utf8(messages_->Texts()), std::vector<std::string>{"下载中断!"});
        // What arrived stays in the part file; the lesson itself is not there.
        const std::string kept = testing::ReadWholeFile(PartFile(0, 2));
        EXPECT_EQ(LocalFileSize(PartFile(0, 2)), static_cast<std::int32_t>(breakOff));
        EXPECT_EQ(kept, body.substr(0, breakOff));
        EXPECT_EQ(LocalFileSize(CacheFile(0, 2)), -1);
        ExpectNothingPlayed();
    }
}

TEST_F(FaultMatrixTest, BytesBeyondTheContentLengthAreNotStoredAndTheLessonPlaysOnce) {
    for (std::size_t chunk : {0u, 4096u}) {
        SCOPED_TRACE(chunk);
        ResetControls();
        std::filesystem::remove(CacheFile(1, 0));
        const std::string body = ServeLesson(1, 0, 30000, {.chunkSize = chunk, .extraBytes = 700});

        program_->OnLessonMenuItemClicked(1, 0);
        ASSERT_TRUE(ProgramSettles(*program_));

        EXPECT_EQ(testing::ReadWholeFile(CacheFile(1, 0)), body);
        EXPECT_EQ(display_->View(), "lesson");
        EXPECT_EQ(CountEntries(display_->Log(), "play"), 1);
        EXPECT_EQ(CountEntries(display_->Log(), "movie " + CacheFile(1, 0)), 1);
        EXPECT_EQ(ToUtf8(display_->Caption()), "下载已完成");
        EXPECT_TRUE(messages_->Texts().empty());
    }
    // The stored file is complete: the next choice plays it without fetching it again.
    const int getsBefore = CountRequests(server_, "GET");
    const auto logBefore = display_->Log().size();
    program_->OnLessonMenuItemClicked(1, 0);
    ASSERT_TRUE(ProgramSettles(*program_));
    EXPECT_EQ(CountRequests(server_, "GET"), getsBefore);
    EXPECT_EQ(display_->Log().back(), "play");
    EXPECT_EQ(CountEntries(display_->Log(), "view downloading"), 1);  // only the first download's
    EXPECT_GT(display_->Log().size(), logBefore);
    EXPECT_EQ(display_->View(), "lesson");
}

TEST_F(FaultMatrixTest, RedirectLoopFailsCleanlyWithoutAFile) {
    server_.Serve(Lookup(0, 4)->path, {.redirectTo = server_.BaseUrl() + "/loop/a"});
    server_.Serve("/loop/a", {.redirectTo = server_.BaseUrl() + "/loop/b"});
    server_.Serve("/loop/b", {.redirectTo = server_.BaseUrl() + "/loop/a"});

    program_->OnLessonMenuItemClicked(0, 4);
    ASSERT_TRUE(ProgramSettles(*program_, 10s));

    EXPECT_EQ(Utf8(messages_->Texts()), std::vector<std::string>{"不能打开该URL!"});
    EXPECT_EQ(LocalFileSize(CacheFile(0, 4)), -1);
    ExpectNothingPlayed();
    // Each of the two probes and the download gave up after a bounded number of hops.
    EXPECT_LE(server_.Requests().size(), 3u * 12u);
}

TEST_F(FaultMatrixTest, HeadThatNeverAnswersTimesOutAndTheLessonIsDownloaded) {
    // The probe's own time-out, shortened, ends the wait: the server never answers.
    NetworkTimeouts timeouts;
    timeouts.probe.total = 1s;
    MakeProgram(dir_.Path(), timeouts);
    const LessonEntry lesson = *Lookup(2, 3);
    const std::string body = FixtureServer::GeneratedBody(20000);
    server_.Serve(lesson.path, {.body = body, .stallHead = true});
    // Once the first HEAD hangs, the server answers later HEADs with 405 (a failed probe
    // again, but at once); the hanging one stays unanswered.
    std::jthread swapper([&](std::stop_token stop) {
        while (!stop.stop_requested() && CountRequests(server_, "HEAD") == 0) std::this_thread::sleep_for(5ms);
        server_.Serve(lesson.path, {.body = body, .refuseHead = true});
    });

    program_->OnLessonMenuItemClicked(2, 3);

    // Both probes failed and there is no file: a missing file is never complete. The
    // lesson downloads and plays while the first HEAD is still unanswered.
    ASSERT_TRUE(ProgramSettles(*program_));
    EXPECT_EQ(CountRequests(server_, "HEAD"), 2);
    EXPECT_EQ(testing::ReadWholeFile(dir_.File(lesson.cacheName)), body);
    const auto log = display_->Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "view downloading");  // no playback of a missing file came first
    EXPECT_EQ(CountEntries(log, "play"), 1);
    EXPECT_EQ(display_->View(), "lesson");
    EXPECT_TRUE(messages_->Texts().empty());
    server_.ReleaseStalls();
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

    program_->OnLessonMenuItemClicked(1, 4);
    const bool ended = ProgramSettles(*program_);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(ended);

    EXPECT_EQ(Utf8(messages_->Texts()), std::vector<std::string>{"下载中断!"});
    EXPECT_EQ(testing::ReadWholeFile(PartFile(1, 4)), body.substr(0, 25000));
    EXPECT_EQ(LocalFileSize(CacheFile(1, 4)), -1);
    ExpectNothingPlayed();
    // The short file is not complete: the next choice fetches it again, and plays it.
    ResetControls();
    program_->OnLessonMenuItemClicked(1, 4);
    ASSERT_TRUE(ProgramSettles(*program_));
    EXPECT_EQ(testing::ReadWholeFile(CacheFile(1, 4)), body);
    EXPECT_FALSE(std::filesystem::exists(PartFile(1, 4)));  // renamed over the lesson
    EXPECT_EQ(display_->View(), "lesson");
}

TEST_F(FaultMatrixTest, ProgramDirectoryThatCannotHoldFilesIsReportedAndNothingPlays) {
    // As root a read-only folder is still writable; a path through a regular file is not.
    const std::string notADirectory = dir_.File("plain-file");
    testing::WriteWholeFile(notADirectory, "x");
    MakeProgram(notADirectory);
    ServeLesson(2, 1, 20000);

    program_->OnLessonMenuItemClicked(2, 1);
    ASSERT_TRUE(ProgramSettles(*program_));

    EXPECT_EQ(Utf8(messages_->Texts()), std::vector<std::string>{"不能打开本地的文件!"});
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

    MessageRecorder firstMessages, secondMessages;
    std::jthread first([&] { ResumableDownloader(server_.BaseUrl() + "/first", file, {}, 0, 0, firstMessages); });
    ASSERT_TRUE(testing::WaitFor([&] { return LocalFileSize(file) >= 150000; }, 10s));
    ASSERT_EQ(LocalFileSize(file), 150000);
    int secondResult = 0;
    std::jthread second(
        [&] { secondResult = ResumableDownloader(server_.BaseUrl() + "/second", file, {}, 0, 0, secondMessages); });
    // The second has its answer and the file open: it now waits for the first.
    ASSERT_TRUE(testing::WaitFor([&] { return testing::OpenDescriptorsOf(file) == 2; }, 10s));
    EXPECT_EQ(LocalFileSize(file), 150000);  // the second has not emptied it under the first
    server_.ReleaseStalls();
    first.join();
    second.join();
    EXPECT_EQ(secondResult, -1);  // it broke off after 10000 bytes of its own
    EXPECT_EQ(LocalFileSize(file), 10000);
    EXPECT_TRUE(firstMessages.Texts().empty());
    EXPECT_EQ(Utf8(secondMessages.Texts()), std::vector<std::string>{"下载中断!"});

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
