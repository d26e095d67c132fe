// The download worker's events and the worker threads, without a display.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

#include "lessons/download_progress.h"
#include "lessons/download_worker.h"
#include "tests/support/fixture_server.h"
#include "tests/support/temp_dir.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using testing::FixtureResource;
using testing::FixtureServer;
using testing::TempDir;
using Kind = DownloadEvent::Kind;

// Collects a worker's events; they arrive on the worker's thread.
class EventLog {
public:
    DownloadEventSink Sink() {
        return [this](DownloadEvent event) {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(event));
            changed_.notify_all();
        };
    }
    std::vector<DownloadEvent> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    template <class Predicate>
    bool WaitFor(Predicate done) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 20s, [&] { return done(events_); });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<DownloadEvent> events_;
};

class DownloadWorkerTest : public ::testing::Test {
protected:
    DownloadJob Job(const std::string& path) { return {7, server_.BaseUrl() + path, dir_.File("lesson.ylq")}; }

    FixtureServer server_;
    TempDir dir_;
    EventLog log_;
};

TEST_F(DownloadWorkerTest, AWholeTransferEndsInOneCompletedEventAfterFewerProgressEventsThanChunks) {
    const std::string body = FixtureServer::GeneratedBody(512 * 1024);
    server_.Serve("/a.swf", {.body = body, .chunkSize = 4096});

    DownloadWorker(Job("/a.swf"), log_.Sink(), {});

    const auto events = log_.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, Kind::Completed);
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i].kind, Kind::Progress);
        EXPECT_LT(events[i].position, 100);  // the bar's 100 is the completion, never a progress event
    }
    // One report per read (at least 128 reads here) is thinned to what can be painted.
    EXPECT_LT(events.size(), 128u);
    for (const auto& e : events) EXPECT_EQ(e.job, 7u);
    EXPECT_EQ(testing::ReadWholeFile(dir_.File("lesson.ylq")), body);

    // Each event's caption and bar position tell of the same report: the received count
    // in the caption (KB to two places) gives the position, within its rounding.
    const std::string receivedLabel = ToUtf8(Gbk<"已下载:">());
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        const std::string caption = ToUtf8(events[i].caption);
        const auto at = caption.find(receivedLabel);
        ASSERT_NE(at, std::string::npos) << caption;
        const double kb = std::stod(caption.substr(at + receivedLabel.size()));
        const auto received = static_cast<std::int32_t>(kb * 1024);
        const std::int32_t total = 512 * 1024;
        EXPECT_GE(events[i].position, ProgressPercent(total, received - 6)) << caption;
        EXPECT_LE(events[i].position, ProgressPercent(total, received + 6)) << caption;
    }
}

TEST_F(DownloadWorkerTest, FailuresCarryTheDownloadersMessageAfterTheLastProgress) {
    server_.Serve("/cut.swf", {.body = FixtureServer::GeneratedBody(100000), .chunkSize = 4096, .breakOffAfter = 50000});
    DownloadWorker(Job("/cut.swf"), log_.Sink(), {});
    auto events = log_.Events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.back().kind, Kind::Failed);
    EXPECT_EQ(events.back().message, Gbk<"下载中断!">());
    // The display is left with the text of the last bytes that arrived.
    const DownloadEvent& last = events[events.size() - 2];
    EXPECT_EQ(last.kind, Kind::Progress);
    EXPECT_NE(ToUtf8(last.caption).find("已下载:48.83KB"), std::string::npos) << ToUtf8(last.caption);

    EventLog missing;
    DownloadWorker(Job("/nothing.swf"), missing.Sink(), {});
    events = missing.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, Kind::Failed);
    EXPECT_EQ(events[0].message, Gbk<"不能打开该URL!">());
}

TEST_F(DownloadWorkerTest, AStoppedJobReportsNothingMore) {
    server_.Serve("/slow.swf", {.body = FixtureServer::GeneratedBody(400 * 1024), .chunkSize = 8192, .chunkDelay = 20ms});
    WorkerThreads threads;
    ASSERT_TRUE(threads.Start([&](std::stop_token stop) {
        DownloadSettings settings;
        settings.stop = std::move(stop);
        DownloadWorker(Job("/slow.swf"), log_.Sink(), settings);
    }));
    ASSERT_TRUE(log_.WaitFor([](const auto& events) { return !events.empty(); }));
    threads.StopAll();
    EXPECT_FALSE(threads.Running());
    for (const auto& e : log_.Events()) EXPECT_EQ(e.kind, Kind::Progress);
}

TEST(WorkerThreadsTest, StartingOneSupersedesTheRunningOneAndAllAreJoined) {
    WorkerThreads threads;
    std::atomic<bool> firstStopped{false};
    std::atomic<bool> secondRan{false};
    ASSERT_TRUE(threads.Start([&](std::stop_token stop) {
        while (!stop.stop_requested()) std::this_thread::yield();
        firstStopped = true;
    }));
    EXPECT_TRUE(threads.Running());
    ASSERT_TRUE(threads.Start([&](std::stop_token) { secondRan = true; }));
    threads.StopAll();
    EXPECT_TRUE(firstStopped);
    EXPECT_TRUE(secondRan);
    EXPECT_FALSE(threads.Running());
}

}  // namespace
}  // namespace pw
