// The download worker's events and the worker threads, without a display.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <string>

#include "lessons/download_progress.h"
#include "lessons/download_worker.h"
#include "lessons/lesson_hashes.h"
#include "tests/support/fixture_server.h"
#include "tests/support/small_tmpfs.h"
#include "tests/support/temp_dir.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using testing::FixtureResource;
using testing::FixtureServer;
using testing::ReadWholeFile;
using testing::TempDir;
using testing::WriteWholeFile;
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

// The server's file changed and its answers keep breaking off: the new file's body becomes
// the part, with its own validator, so that each try goes on where the last one broke off.
TEST_F(DownloadWorkerTest, AChangedFileWhoseAnswersBreakOffTwiceIsResumedToItsEnd) {
    const std::string body = FixtureServer::GeneratedBody(120000);
    const std::string lesson = dir_.File("lesson.ylq");
    WriteWholeFile(PartFilePath(lesson), FixtureServer::GeneratedBody(100000).substr(0, 30000));
    WriteWholeFile(PartMetaPath(lesson), "\"old\"");
    for (const std::optional<std::size_t> breakOff : {std::optional<std::size_t>(50000), std::optional<std::size_t>(90000),
                                                      std::optional<std::size_t>()}) {
        server_.Serve("/a.swf", {.body = body, .breakOffAfter = breakOff, .etag = "\"new\""});
        DownloadWorker(Job("/a.swf"), log_.Sink(), {});
        if (!breakOff) break;
        EXPECT_EQ(log_.Events().back().kind, Kind::Failed);
        EXPECT_TRUE(ReadWholeFile(PartFilePath(lesson)) == body.substr(0, *breakOff));
        EXPECT_EQ(ReadWholeFile(PartMetaPath(lesson)), "\"new\"\n" + server_.BaseUrl() + "/a.swf");
    }
    EXPECT_EQ(log_.Events().back().kind, Kind::Completed);
    EXPECT_TRUE(ReadWholeFile(lesson) == body);
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].Header("Range"), "bytes=30000-");
    EXPECT_EQ(requests[1].Header("Range"), "bytes=50000-");
    EXPECT_EQ(requests[2].Header("Range"), "bytes=90000-");
}

// A lesson with mirrors: the first mirror fails in one way or another and the second gives
// the file; a good first mirror gives it alone. The lesson's own host is never asked.
enum class FirstMirror { Refused, Silent, NotFound, WrongHash, TooLong, Good };

struct MirrorCase {
    const char* name;
    FirstMirror first;
};

void PrintTo(const MirrorCase& c, std::ostream* os) { *os << c.name; }

class MirrorTest : public DownloadWorkerTest, public ::testing::WithParamInterface<MirrorCase> {};

TEST_P(MirrorTest, AFailingMirrorIsPassedOverForTheNext) {
    const std::string body = FixtureServer::GeneratedBody(40000);
    std::string tampered = body;
    tampered[30000] ^= 1;
    FixtureServer first, host;
    testing::SilentServer silent;
    std::string firstBase = first.BaseUrl();
    switch (GetParam().first) {
    case FirstMirror::Refused: firstBase = "http://127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()); break;
    case FirstMirror::Silent: firstBase = "http://" + silent.HostPort(); break;
    case FirstMirror::NotFound: break;
    case FirstMirror::WrongHash: first.Serve("/a.swf", {.body = tampered}); break;
    case FirstMirror::TooLong: first.Serve("/a.swf", {.body = body + "more", .omitContentLength = true}); break;
    case FirstMirror::Good: first.Serve("/a.swf", {.body = body}); break;
    }
    server_.Serve("/a.swf", {.body = body});
    host.Serve("/a.swf", {.body = body});
    const LessonDigest digest{static_cast<std::int64_t>(body.size()), BytesSha256(body)};
    LessonHashes hashes;
    DownloadJob job = Job("/a.swf");
    job.url = host.BaseUrl() + "/a.swf";
    job.mirrors = {firstBase + "/a.swf", server_.BaseUrl() + "/a.swf"};
    job.size = digest.size;
    job.wholeLesson = [&](const Text& file, const SwfByteSource& arriving) {
        return hashes.Matches(file, digest, arriving);
    };
    DownloadSettings settings;
    settings.stallLimit = 300ms;

    DownloadWorker(job, log_.Sink(), settings);

    ASSERT_FALSE(log_.Events().empty());
    EXPECT_EQ(log_.Events().back().kind, Kind::Completed);
    EXPECT_TRUE(ReadWholeFile(job.filePath) == body);
    EXPECT_EQ(server_.Requests().size(), GetParam().first == FirstMirror::Good ? 0u : 1u);
    EXPECT_TRUE(host.Requests().empty());
    EXPECT_FALSE(std::filesystem::exists(PartFilePath(job.filePath)));
}

INSTANTIATE_TEST_SUITE_P(
    FirstMirrors, MirrorTest,
    ::testing::Values(MirrorCase{"Refused", FirstMirror::Refused}, MirrorCase{"Silent", FirstMirror::Silent},
                      MirrorCase{"NotFound", FirstMirror::NotFound}, MirrorCase{"WrongHash", FirstMirror::WrongHash},
                      MirrorCase{"TooLong", FirstMirror::TooLong}, MirrorCase{"Good", FirstMirror::Good}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// A part is resumed only from the address that gave it: the lesson's host gave this one
// (its meta file of one line, as an earlier version wrote it), so a mirror starts the
// file whole, and a part the mirror gave is resumed from it.
TEST_F(DownloadWorkerTest, APartIsResumedOnlyFromTheAddressThatGaveIt) {
    const std::string body = FixtureServer::GeneratedBody(60000);
    FixtureServer mirror;
    mirror.Serve("/a.swf", {.body = body, .breakOffAfter = 30000});
    DownloadJob job = Job("/a.swf");
    job.mirrors = {mirror.BaseUrl() + "/a.swf"};
    WriteWholeFile(PartFilePath(job.filePath), body.substr(0, 10000));
    WriteWholeFile(PartMetaPath(job.filePath), "\"fixture-1\"");
    DownloadWorker(job, log_.Sink(), {});
    mirror.Serve("/a.swf", {.body = body});
    DownloadWorker(job, log_.Sink(), {});

    const auto requests = mirror.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].Header("Range"));
    EXPECT_EQ(requests[1].Header("Range"), "bytes=30000-");
    EXPECT_TRUE(server_.Requests().empty());
    EXPECT_TRUE(ReadWholeFile(job.filePath) == body);
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

struct UnsafeValidator {
    const char* name;
    std::string validator;
};

void PrintTo(const UnsafeValidator& c, std::ostream* os) { *os << c.name; }

class UnsafeValidatorTest : public DownloadWorkerTest, public ::testing::WithParamInterface<UnsafeValidator> {};

// A part's validator goes back to the server as it was kept: one that would break the
// request's header lines is never sent, and the lesson is fetched again from its start.
TEST_P(UnsafeValidatorTest, IsNeverSentAndTheDownloadStartsAgain) {
    const std::string body = FixtureServer::GeneratedBody(30000);
    server_.Serve("/a.swf", {.body = body});
    const std::string lesson = dir_.File("lesson.ylq");
    WriteWholeFile(PartFilePath(lesson), body.substr(0, 10000));
    WriteWholeFile(PartMetaPath(lesson), GetParam().validator);

    DownloadWorker(Job("/a.swf"), log_.Sink(), {});

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].Header("If-Range"));
    EXPECT_FALSE(requests[0].Header("Range"));
    EXPECT_FALSE(requests[0].Header("X-Injected"));
    EXPECT_TRUE(ReadWholeFile(lesson) == body);
    ASSERT_FALSE(log_.Events().empty());
    EXPECT_EQ(log_.Events().back().kind, Kind::Completed);
}

INSTANTIATE_TEST_SUITE_P(Validators, UnsafeValidatorTest,
                         ::testing::Values(UnsafeValidator{"CarriageReturnLineFeed", "\"v1\"\r\nX-Injected: 1"},
                                           UnsafeValidator{"LineFeed", "\"v1\"\nX-Injected: 1"},
                                           UnsafeValidator{"CarriageReturn", "\"v1\"\rX-Injected: 1"},
                                           UnsafeValidator{"Control", std::string("\"v1\"\x01", 5)},
                                           UnsafeValidator{"Delete", "\"v1\"\x7f"}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// Written to disk before its name is put in place, and the folder flushed after: the part's
// validator, then the finished part as the lesson.
TEST_F(DownloadWorkerTest, FilesAreFlushedBeforeTheirRenameAndTheirFolderAfter) {
    const std::string body = FixtureServer::GeneratedBody(30000);
    server_.Serve("/a.swf", {.body = body});
    const std::string lesson = dir_.File("lesson.ylq");
    std::vector<std::string> calls;
    const DurableWriteCalls& system = SystemWriteCalls();
    DownloadSettings settings;
    settings.writeCalls = {
        [&](int fd) {
            calls.push_back("flush " + std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd)).string());
            return system.flushFile(fd);
        },
        [&](const Text& from, const Text& to) {
            calls.push_back("rename " + from + " " + to);
            return system.rename(from, to);
        },
        [&](const Text& folder) {
            calls.push_back("flush folder " + folder);
            return system.flushFolder(folder);
        },
    };

    DownloadWorker(Job("/a.swf"), log_.Sink(), settings);

    EXPECT_TRUE(ReadWholeFile(lesson) == body);
    ASSERT_EQ(calls.size(), 6u);
    const std::string metaTemporary = calls[0].substr(6);
    EXPECT_TRUE(metaTemporary.starts_with(PartMetaPath(lesson) + ".")) << metaTemporary;
    const std::string part = PartFilePath(lesson);
    EXPECT_EQ(calls, (std::vector<std::string>{"flush " + metaTemporary,
                                               "rename " + metaTemporary + " " + PartMetaPath(lesson),
                                               "flush folder " + dir_.Path(), "flush " + part,
                                               "rename " + part + " " + lesson, "flush folder " + dir_.Path()}));
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

// Where a download finds the disk full.
enum class FullAt { Write, Flush, Rename };

struct FullDiskCase {
    const char* name;
    FullAt step;
    int error;
    bool lessonOnDisk;  // an older lesson, whole, that must stay and play
    bool update = false;  // the file is the program's update, not a lesson
};

void PrintTo(const FullDiskCase& c, std::ostream* os) { *os << c.name; }

class FullDiskTest : public DownloadWorkerTest {
protected:
    // The older lesson, and a part from an earlier break of another version of the file:
    // the answer goes beside it, so that the part, its validator and the body beside it
    // are all on the disk when it fills.
    void LayOut(const std::string& folder, bool lessonOnDisk) {
        if (lessonOnDisk) WriteWholeFile(folder + "/lesson.ylq", kOldLesson);
        WriteWholeFile(folder + "/lesson.ylq.part", "broken off");
        WriteWholeFile(folder + "/lesson.ylq.part.meta", "\"fixture-0\"");
        server_.Serve("/a.swf", {.body = FixtureServer::GeneratedBody(300 * 1024), .chunkSize = 16384});
    }
    DownloadJob LessonJob(const std::string& file) {
        DownloadJob job{7, server_.BaseUrl() + "/a.swf", file};
        // Whole: a download's bytes as they arrive, or the older lesson's.
        job.wholeLesson = [this](const Text& path, const SwfByteSource& arriving) {
            if (!arriving) return ReadWholeFile(path) == kOldLesson;
            std::vector<std::uint8_t> piece(65536);
            for (std::ptrdiff_t got; (got = arriving(piece)) != 0;) {
                if (got < 0) return false;
            }
            return true;
        };
        return job;
    }
    // The lesson stayed as it was, nothing else is left, and the disk's message is told.
    void ExpectDiskFullOutcome(const std::string& folder, bool lessonOnDisk, bool update = false) {
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            left.push_back(entry.path().filename().string());
        EXPECT_EQ(left, lessonOnDisk ? std::vector<std::string>{"lesson.ylq"} : std::vector<std::string>{});
        if (lessonOnDisk) {
            EXPECT_EQ(ReadWholeFile(folder + "/lesson.ylq"), kOldLesson);
        }
        const auto events = log_.Events();
        ASSERT_FALSE(events.empty());
        const DownloadEvent& last = events.back();
        EXPECT_EQ(last.kind, lessonOnDisk ? Kind::Completed : Kind::Failed);  // the older lesson plays
        EXPECT_TRUE(last.diskFull);
        EXPECT_EQ(last.message, update ? Gbk<"磁盘空间不足，新版本没有下载完。">() : Gbk<"磁盘空间不足，课程没有下载完。">());
    }

    const std::string kOldLesson = std::string(20000, 'o');
};

class DownloadWorkerFullDisk : public FullDiskTest, public ::testing::WithParamInterface<FullDiskCase> {};

TEST_P(DownloadWorkerFullDisk, ADownloadThatFindsTheDiskFullLeavesNothingBehindAndTheLessonPlays) {
    const FullDiskCase& c = GetParam();
    LayOut(dir_.Path(), c.lessonOnDisk);
    DownloadSettings settings;
    int writes = 0;
    const int error = c.error;
    switch (c.step) {
    case FullAt::Write:
        settings.writeBody = [&writes, error](int fd, const void* data, std::size_t size) -> ssize_t {
            if (++writes <= 3) return ::write(fd, data, size);
            errno = error;
            return -1;
        };
        break;
    case FullAt::Flush:
        settings.writeCalls.flushFile = [error](int) {
            errno = error;
            return false;
        };
        break;
    case FullAt::Rename:
        settings.writeCalls.rename = [error](const Text&, const Text&) {
            errno = error;
            return false;
        };
        break;
    }
    DownloadJob job = LessonJob(dir_.File("lesson.ylq"));
    job.lesson = !c.update;
    DownloadWorker(job, log_.Sink(), settings);
    ExpectDiskFullOutcome(dir_.Path(), c.lessonOnDisk, c.update);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadWorkerFullDisk,
    ::testing::Values(FullDiskCase{"WriteWithALessonOnDisk", FullAt::Write, ENOSPC, true},
                      FullDiskCase{"WriteWithoutOne", FullAt::Write, ENOSPC, false},
                      FullDiskCase{"WriteOverQuota", FullAt::Write, EDQUOT, true},
                      FullDiskCase{"Flush", FullAt::Flush, ENOSPC, true},
                      FullDiskCase{"Rename", FullAt::Rename, ENOSPC, true},
                      FullDiskCase{"RenameWithoutALessonOnDisk", FullAt::Rename, EDQUOT, false},
                      FullDiskCase{"WriteOfAnUpdate", FullAt::Write, ENOSPC, false, true}),
    [](const ::testing::TestParamInfo<FullDiskCase>& param) { return std::string(param.param.name); });

TEST_F(FullDiskTest, ARealFullDiskLeavesTheLessonWholeAndNothingBehind) {
    // The data folder on a disk that holds the older lesson and the part, not the new body.
    testing::SmallTmpfs disk(256 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    LayOut(disk.Path(), true);
    DownloadWorker(LessonJob(disk.File("lesson.ylq")), log_.Sink(), {});
    ExpectDiskFullOutcome(disk.Path(), true);
}

}  // namespace
}  // namespace pw
