#include "net/resumable_downloader.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <future>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>
#include <vector>

#include "core/message.h"
#include "tests/net/net_test_support.h"
#include "tests/support/fixture_server.h"
#include "tests/support/message_recorder.h"
#include "tests/support/scoped_env.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using testing::FixtureResource;
using testing::FixtureServer;
using testing::MessageRecorder;
using testing::ReadWholeFile;
using testing::TempDir;
using testing::WriteWholeFile;

struct ProgressCall {
    std::int32_t total, received, elapsed, receivedThisCall;
};

// Records every progress call; thread-safe, as the downloader may run on a thread.
class ProgressLog {
public:
    DownloadProgressCallback Callback() {
        return [this](std::int32_t total, std::int32_t received, std::int32_t elapsed, std::int32_t thisCall) {
            std::lock_guard lock(mutex_);
            calls_.push_back({total, received, elapsed, thisCall});
            return 0;
        };
    }
    std::vector<ProgressCall> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<ProgressCall> calls_;
};

// Each call moves `received` on by the size of one read of at most 10240 bytes.
void ExpectConsistentReads(const std::vector<ProgressCall>& calls, std::int32_t startOffset) {
    std::int32_t previous = startOffset;
    for (const ProgressCall& call : calls) {
        EXPECT_GT(call.received - previous, 0);
        EXPECT_LE(call.received - previous, 10240);
        EXPECT_EQ(call.receivedThisCall, call.received - startOffset);
        EXPECT_GT(call.elapsed, 0);
        previous = call.received;
    }
}

class ResumableDownloaderTest : public ::testing::Test {
protected:
    std::string Url(const std::string& path) const { return server.BaseUrl() + path; }

    FixtureServer server;
    TempDir dir;
    MessageRecorder messages;
    ProgressLog progress;
};

TEST_F(ResumableDownloaderTest, FreshDownloadSendsTheHeaderBlockAndStoresTheBody) {
    const std::string body = FixtureServer::GeneratedBody(50000);
    server.Serve("/erly/a.swf", {.body = body});
    const std::string file = dir.File("a.ylq");

    ASSERT_EQ(ResumableDownloader(Url("/erly/a.swf"), file, progress.Callback(), 0, 0, messages), 0);

    EXPECT_EQ(ReadWholeFile(file), body);
    EXPECT_TRUE(messages.Texts().empty());
    const auto calls = progress.Calls();
    ASSERT_GE(calls.size(), 5u);
    ExpectConsistentReads(calls, 0);
    EXPECT_EQ(calls.back().received, 50000);
    for (const auto& call : calls) EXPECT_EQ(call.total, 50000);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.target, "/erly/a.swf");
    EXPECT_EQ(r.Header("Accept"), "*/*");
    EXPECT_EQ(r.Header("Accept-Language"), "zh-cn");
    EXPECT_EQ(r.Header("Accept-Encoding"), "gzip, deflate");
    EXPECT_EQ(r.Header("User-Agent"), "Mozilla/4.0(compatible; MSIE 6.0; Windows NT 5.0; MyIE2; .NET CLR 1.1.4322)");
    EXPECT_EQ(testing::HeaderCount(r, "User-Agent"), 1u);  // the header block's line, no second one
    EXPECT_EQ(r.Header("Pragma"), "no-cache");
    EXPECT_EQ(r.Header("Cache-Control"), "no-cache");
    EXPECT_FALSE(r.Header("Range"));
}

TEST_F(ResumableDownloaderTest, ResumeAsksForTheRestAndAppendsIt) {
    const std::string body = FixtureServer::GeneratedBody(35000);
    server.Serve("/m.swf", {.body = body});
    const std::string file = dir.File("m.ylq");
    WriteWholeFile(file, body.substr(0, 5000));

    ASSERT_EQ(ResumableDownloader(Url("/m.swf"), file, progress.Callback(), 5000, 1, messages), 0);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("Range"), "bytes=5000-");
    EXPECT_EQ(ReadWholeFile(file), body);
    const auto calls = progress.Calls();
    ASSERT_FALSE(calls.empty());
    const std::int32_t firstChunk = calls.front().receivedThisCall;
    EXPECT_GT(firstChunk, 0);
    EXPECT_EQ(calls.front().received, 5000 + firstChunk);
    ExpectConsistentReads(calls, 5000);
    EXPECT_EQ(calls.back().received, 35000);
    EXPECT_EQ(calls.back().total, 30000);  // the length of the part the server sent
}

TEST_F(ResumableDownloaderTest, ResumeOnAMissingFileCreatesIt) {
    server.Serve("/m.swf", {.body = "tail"});
    const std::string file = dir.File("new.ylq");
    ASSERT_EQ(ResumableDownloader(Url("/m.swf"), file, progress.Callback(), 0, 1, messages), 0);
    EXPECT_EQ(ReadWholeFile(file), "tail");
}

// A resume that cannot be appended, a range that starts elsewhere than asked, or none at
// all after a part as long as the file (416): the file is asked for again, whole, and
// stored from byte 0.
TEST_F(ResumableDownloaderTest, AResumeThatCannotBeAppendedIsAskedForAgainWhole) {
    const std::string body = FixtureServer::GeneratedBody(60000);
    for (const std::int32_t kept : {20000, 60000}) {
        server.Serve("/m.swf", {.body = body, .wrongRange = kept < 60000});
        const std::string file = dir.File("m" + std::to_string(kept) + ".ylq");
        WriteWholeFile(file, body.substr(0, static_cast<std::size_t>(kept)));
        DownloadSettings settings;
        settings.ifRange = "\"fixture-1\"";
        const std::size_t before = server.Requests().size();

        ASSERT_EQ(ResumableDownloader(Url("/m.swf"), file, {}, kept, 1, messages, settings), 0) << kept;

        EXPECT_TRUE(ReadWholeFile(file) == body) << kept;
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), before + 2) << kept;
        EXPECT_EQ(requests[before].Header("If-Range"), "\"fixture-1\"");
        EXPECT_FALSE(requests[before + 1].Header("Range"));
        EXPECT_TRUE(messages.Texts().empty());
    }
}

TEST_F(ResumableDownloaderTest, ResumeOffReplacesALargerFileWithExactlyTheNewBody) {
    server.Serve("/m.swf", {.body = "new body"});
    const std::string file = dir.File("m.ylq");
    WriteWholeFile(file, std::string(100000, 'o'));

    ASSERT_EQ(ResumableDownloader(Url("/m.swf"), file, progress.Callback(), 0, 0, messages), 0);
    EXPECT_EQ(ReadWholeFile(file), "new body");
}

TEST_F(ResumableDownloaderTest, EmptyBodyGivesNoCallbackAndAnEmptyFile) {
    server.Serve("/empty.swf", {});
    const std::string file = dir.File("empty.ylq");
    WriteWholeFile(file, "old");

    ASSERT_EQ(ResumableDownloader(Url("/empty.swf"), file, progress.Callback(), 0, 0, messages), 0);
    EXPECT_TRUE(progress.Calls().empty());
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(ReadWholeFile(file), "");
}

TEST_F(ResumableDownloaderTest, WithoutContentLengthEveryTotalIsZeroAndTheBodyIsComplete) {
    const std::string body = FixtureServer::GeneratedBody(40000);
    server.Serve("/nolength.swf", {.body = body, .omitContentLength = true});
    const std::string file = dir.File("n.ylq");

    ASSERT_EQ(ResumableDownloader(Url("/nolength.swf"), file, progress.Callback(), 0, 0, messages), 0);
    EXPECT_EQ(ReadWholeFile(file), body);
    const auto calls = progress.Calls();
    ASSERT_FALSE(calls.empty());
    for (const auto& call : calls) EXPECT_EQ(call.total, 0);
    EXPECT_EQ(calls.back().received, 40000);
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(ResumableDownloaderTest, ShortReadsAreWrittenByteForByte) {
    const std::string body = FixtureServer::GeneratedBody(30011);
    server.Serve("/short.swf", {.body = body, .chunkSize = 777, .chunkDelay = 3ms});
    const std::string file = dir.File("s.ylq");

    ASSERT_EQ(ResumableDownloader(Url("/short.swf"), file, progress.Callback(), 0, 0, messages), 0);
    EXPECT_EQ(ReadWholeFile(file), body);
    const auto calls = progress.Calls();
    // Far more reads than 10240-byte pieces: the pieces came short.
    EXPECT_GT(calls.size(), 3u);
    ExpectConsistentReads(calls, 0);
    EXPECT_EQ(calls.back().received, 30011);
}

TEST_F(ResumableDownloaderTest, BytesBeyondTheContentLengthAreNotStored) {
    server.Serve("/over.swf", {.body = "exactly this", .extraBytes = 5000});
    const std::string file = dir.File("o.ylq");
    EXPECT_EQ(ResumableDownloader(Url("/over.swf"), file, progress.Callback(), 0, 0, messages), 0);
    EXPECT_EQ(ReadWholeFile(file), "exactly this");
}

TEST_F(ResumableDownloaderTest, RedirectIsFollowed) {
    server.Serve("/moved.swf", {.redirectTo = "/erly/here.swf"});
    server.Serve("/erly/here.swf", {.body = "movie"});
    const std::string file = dir.File("r.ylq");
    EXPECT_EQ(ResumableDownloader(Url("/moved.swf"), file, progress.Callback(), 0, 0, messages), 0);
    EXPECT_EQ(ReadWholeFile(file), "movie");
}

// A status of 400 or more is a failure to open the URL: the error page is never stored
// and the local file is not touched, whether it exists or not.
class ErrorStatusTest : public ResumableDownloaderTest, public ::testing::WithParamInterface<int> {};

TEST_P(ErrorStatusTest, IsReportedAndLeavesTheFileAlone) {
    server.Serve("/gone.swf", {.body = "<html>error page</html>", .status = GetParam()});
    const std::string existing = dir.File("existing.ylq");
    WriteWholeFile(existing, "partial movie");
    const std::string missing = dir.File("missing.ylq");

    EXPECT_EQ(ResumableDownloader(Url("/gone.swf"), existing, progress.Callback(), 0, 0, messages), -1);
    EXPECT_EQ(ResumableDownloader(Url("/gone.swf"), missing, progress.Callback(), 0, 0, messages), -1);

    EXPECT_EQ(ReadWholeFile(existing), "partial movie");
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_TRUE(progress.Calls().empty());
    EXPECT_EQ(messages.Texts(), (std::vector<Text>{msg::CannotOpenUrl(), msg::CannotOpenUrl()}));
}

INSTANTIATE_TEST_SUITE_P(Statuses, ErrorStatusTest, ::testing::Values(400, 404, 500));

TEST_F(ResumableDownloaderTest, RedirectLoopFailsToOpenTheUrl) {
    server.Serve("/ping", {.redirectTo = "/pong"});
    server.Serve("/pong", {.redirectTo = "/ping"});
    const std::string file = dir.File("loop.ylq");

    EXPECT_EQ(ResumableDownloader(Url("/ping"), file, progress.Callback(), 0, 0, messages), -1);
    EXPECT_EQ(messages.Texts(), std::vector<Text>{msg::CannotOpenUrl()});
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_LE(server.Requests().size(), 12u);  // bounded, not endless
}

struct UnreachableCase {
    const char* name;
    std::string url;
};

// Test names and failure messages show the case, not its bytes.
void PrintTo(const UnreachableCase& c, std::ostream* os) { *os << c.name; }

class UnreachableUrlTest : public ResumableDownloaderTest, public ::testing::WithParamInterface<UnreachableCase> {};

TEST_P(UnreachableUrlTest, FailsToOpenTheUrlWithoutCreatingTheFile) {
    const std::string file = dir.File("u.ylq");
    EXPECT_EQ(ResumableDownloader(GetParam().url, file, progress.Callback(), 0, 0, messages), -1);
    EXPECT_EQ(messages.Texts(), std::vector<Text>{msg::CannotOpenUrl()});
    EXPECT_FALSE(std::filesystem::exists(file));
}

INSTANTIATE_TEST_SUITE_P(
    Urls, UnreachableUrlTest,
    ::testing::Values(UnreachableCase{"Empty", ""},
                      UnreachableCase{"ClosedPort",
                                      "http://127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()) + "/a.swf"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

class UnopenableFileTest : public ResumableDownloaderTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(UnopenableFileTest, FailsAfterTheUrlWasOpened) {
    server.Serve("/a.swf", {.body = "movie"});
    const std::string name = GetParam().empty() ? "" : dir.File(GetParam());
    EXPECT_EQ(ResumableDownloader(Url("/a.swf"), name, progress.Callback(), 0, 0, messages), -1);
    EXPECT_EQ(messages.Texts(), std::vector<Text>{msg::CannotOpenLocalFile()});
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_TRUE(progress.Calls().empty());
}

// Empty, in a directory that does not exist, and a directory itself.
INSTANTIATE_TEST_SUITE_P(Names, UnopenableFileTest, ::testing::Values("", "no-such-dir/a.ylq", "."));

TEST_F(ResumableDownloaderTest, BreakOffMidBodyIsReportedAndKeepsWhatArrived) {
    const std::string body = FixtureServer::GeneratedBody(40000);
    server.Serve("/cut.swf", {.body = body, .breakOffAfter = 15000});
    const std::string file = dir.File("cut.ylq");

    EXPECT_EQ(ResumableDownloader(Url("/cut.swf"), file, progress.Callback(), 0, 0, messages), -1);
    EXPECT_EQ(messages.Texts(), std::vector<Text>{msg::DownloadInterrupted()});
    EXPECT_EQ(ReadWholeFile(file), body.substr(0, 15000));
    const auto calls = progress.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().received, 15000);
}

// The room reserved ahead of the writes follows what has come, not what the answer claims:
// one broken answer that announces 4 GiB does not take 4 GiB of the disk.
TEST_F(ResumableDownloaderTest, AClaimedLengthReservesOnlyAStretchAheadOfWhatCame) {
    server.Serve("/huge.swf", {.generatedSize = std::size_t{4} << 30, .breakOffAfter = 1 << 20});
    const std::string file = dir.File("huge.ylq");

    EXPECT_EQ(ResumableDownloader(Url("/huge.swf"), file, progress.Callback(), 0, 0, messages), -1);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_LE(st.st_blocks * 512, 64 << 20);  // what came, a stretch of 32 MiB, and room to spare
}

// A stall limit short enough that a stalled transfer gives up at once.
DownloadSettings ShortStallLimit() {
    DownloadSettings settings;
    settings.stallLimit = 300ms;
    return settings;
}

TEST_F(ResumableDownloaderTest, StalledTransferIsReportedAndKeepsWhatArrived) {
    const std::string body = FixtureServer::GeneratedBody(40000);
    server.Serve("/stall.swf", {.body = body, .stallAfter = 12000});
    const std::string file = dir.File("stall.ylq");

    EXPECT_EQ(ResumableDownloader(Url("/stall.swf"), file, progress.Callback(), 0, 0, messages, ShortStallLimit()),
              -1);
    server.ReleaseStalls();
    EXPECT_EQ(messages.Texts(), std::vector<Text>{msg::DownloadInterrupted()});
    EXPECT_EQ(ReadWholeFile(file), body.substr(0, 12000));
}

TEST_F(ResumableDownloaderTest, StallWithoutContentLengthIsReportedToo) {
    // Such a body ends only when the server closes; a server that goes quiet instead
    // must not hold the download for ever.
    const std::string body = FixtureServer::GeneratedBody(40000);
    server.Serve("/stall.swf", {.body = body, .omitContentLength = true, .stallAfter = 12000});
    const std::string file = dir.File("stall.ylq");

    EXPECT_EQ(ResumableDownloader(Url("/stall.swf"), file, progress.Callback(), 0, 0, messages, ShortStallLimit()),
              -1);
    server.ReleaseStalls();
    EXPECT_EQ(messages.Texts(), std::vector<Text>{msg::DownloadInterrupted()});
    EXPECT_EQ(ReadWholeFile(file), body.substr(0, 12000));
}

TEST_F(ResumableDownloaderTest, StopRequestEndsAStalledTransferQuietly) {
    const std::string body = FixtureServer::GeneratedBody(40000);
    server.Serve("/slow.swf", {.body = body, .stallAfter = 5000});
    const std::string file = dir.File("slow.ylq");

    std::promise<void> firstChunk;
    bool signalled = false;
    DownloadProgressCallback onProgress = [&](std::int32_t, std::int32_t, std::int32_t, std::int32_t) {
        if (!signalled) firstChunk.set_value();
        signalled = true;
        return 0;
    };
    std::promise<int> result;
    std::jthread worker([&](std::stop_token stop) {
        // A stall limit far beyond the test's patience: only the stop request can end it.
        DownloadSettings settings;
        settings.stallLimit = 10min;
        settings.stop = stop;
        result.set_value(ResumableDownloader(Url("/slow.swf"), file, onProgress, 0, 0, messages, settings));
    });
    ASSERT_EQ(firstChunk.get_future().wait_for(30s), std::future_status::ready);
    worker.request_stop();
    auto finished = result.get_future();
    ASSERT_EQ(finished.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(finished.get(), -1);
    server.ReleaseStalls();
    EXPECT_TRUE(messages.Texts().empty());
    EXPECT_EQ(ReadWholeFile(file), body.substr(0, 5000));
}

// The downloader gathers its reads into larger writes: bodies that end or break off on,
// just before and just after the boundaries of those writes reach the file exactly.
struct LargeBodyCase {
    std::size_t size;
    std::optional<std::size_t> stallAfter;  // set: the server goes quiet at this offset of the body
    std::int32_t resumeFrom = 0;
};

void PrintTo(const LargeBodyCase& c, std::ostream* os) {
    *os << "Size" << c.size << (c.stallAfter ? "StallAt" + std::to_string(*c.stallAfter) : "") << "ResumeFrom"
        << c.resumeFrom;
}

class LargeBodyTest : public ResumableDownloaderTest, public ::testing::WithParamInterface<LargeBodyCase> {};

TEST_P(LargeBodyTest, ReachesTheFileExactly) {
    const LargeBodyCase c = GetParam();
    const std::string body = FixtureServer::GeneratedBody(c.size);
    server.Serve("/big.swf", {.body = body, .stallAfter = c.stallAfter});  // a Range is answered with the rest
    const std::string file = dir.File("big.ylq");
    if (c.resumeFrom > 0) WriteWholeFile(file, body.substr(0, static_cast<std::size_t>(c.resumeFrom)));

    // Only a transfer that stalls on purpose gets the short stall limit.
    const int result = ResumableDownloader(Url("/big.swf"), file, progress.Callback(), c.resumeFrom,
                                           c.resumeFrom > 0 ? 1 : 0, messages,
                                           c.stallAfter ? ShortStallLimit() : DownloadSettings{});
    server.ReleaseStalls();
    const std::size_t expected = c.stallAfter.value_or(c.size);
    EXPECT_EQ(result, c.stallAfter ? -1 : 0);
    EXPECT_EQ(messages.Texts(), c.stallAfter ? std::vector<Text>{msg::DownloadInterrupted()} : std::vector<Text>{});
    const std::string stored = ReadWholeFile(file);
    EXPECT_EQ(stored.size(), expected);
    EXPECT_TRUE(stored == body.substr(0, expected)) << "the stored bytes differ from the body";
    const auto calls = progress.Calls();
    ASSERT_FALSE(calls.empty());
    ExpectConsistentReads(calls, c.resumeFrom);
    EXPECT_EQ(calls.back().received, static_cast<std::int32_t>(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, LargeBodyTest,
    ::testing::Values(LargeBodyCase{266239, {}}, LargeBodyCase{266240, {}}, LargeBodyCase{266241, {}},
                      LargeBodyCase{1000003, {}}, LargeBodyCase{1000003, 266240}, LargeBodyCase{1000003, 400001},
                      LargeBodyCase{1000003, {}, 300007}, LargeBodyCase{1000003, 700001, 300007},
                      // handed to the disk every few MiB as it arrives, from the resume on
                      LargeBodyCase{9437187, {}, 4194311}));

// The check run while the body arrives reads the file from its first byte, a resumed
// part's included, exactly as written in slow pieces, and passes over bytes only once they
// are written; its answer decides whether the file
// is kept, and a body that breaks off ends it at once, nothing kept.
struct ArrivingCheckCase {
    std::int32_t resumeFrom;
    std::optional<std::size_t> breakOffAfter;
    bool checkSays;
    int result;
};

void PrintTo(const ArrivingCheckCase& c, std::ostream* os) {
    *os << "ResumeFrom" << c.resumeFrom << (c.breakOffAfter ? "BreakOffAt" + std::to_string(*c.breakOffAfter) : "")
        << (c.checkSays ? "CheckTakes" : "CheckRefuses");
}

class ArrivingCheckTest : public ResumableDownloaderTest, public ::testing::WithParamInterface<ArrivingCheckCase> {};

TEST_P(ArrivingCheckTest, SeesTheWholeFileAsWrittenAndDecidesWhetherItIsKept) {
    const ArrivingCheckCase c = GetParam();
    const std::string body = FixtureServer::GeneratedBody(300000);
    server.Serve("/a.swf", {.body = body, .chunkSize = 7000, .chunkDelay = 1ms, .breakOffAfter = c.breakOffAfter});
    const std::string part = dir.File("a.ylq.part"), lesson = dir.File("a.ylq");
    if (c.resumeFrom > 0) WriteWholeFile(part, body.substr(0, static_cast<std::size_t>(c.resumeFrom)));
    std::string seen;
    DownloadSettings settings;
    settings.completeAs = lesson;
    // The check reads a piece, passes over more than has arrived, and reads on to the end.
    constexpr std::size_t kSkipped = 200000;
    bool skippedPastTheEnd = true;
    settings.checkWhileArriving = [&](const Text&, const SwfByteSource& source, const SwfByteSkip& skip) {
        std::array<std::uint8_t, 4096> piece{};
        for (std::ptrdiff_t got; (got = source(piece)) > 0;) {
            seen.append(reinterpret_cast<const char*>(piece.data()), static_cast<std::size_t>(got));
            if (seen.size() == piece.size() && !skip(kSkipped)) return false;
        }
        skippedPastTheEnd = skip(1);
        return c.checkSays;
    };

    EXPECT_EQ(ResumableDownloader(Url("/a.swf"), part, {}, c.resumeFrom, c.resumeFrom > 0 ? 1 : 0, messages, settings),
              c.result);
    if (!c.breakOffAfter) {
        EXPECT_TRUE(seen == body.substr(0, 4096) + body.substr(4096 + kSkipped)) << "the check saw " << seen.size();
        EXPECT_FALSE(skippedPastTheEnd);
    }
    EXPECT_EQ(LocalFileSize(lesson), c.result == 0 ? 300000 : -1);
}

INSTANTIATE_TEST_SUITE_P(Bodies, ArrivingCheckTest,
                         ::testing::Values(ArrivingCheckCase{0, {}, true, 0}, ArrivingCheckCase{100003, {}, true, 0},
                                           ArrivingCheckCase{0, {}, false, kDownloadNotKept},
                                           ArrivingCheckCase{0, 150000, true, -1}));

// A file of a known size: an answer of another length is refused at its headers, and a body
// that runs on past the size (an endless one) is cut off at once; nothing of either is kept.
struct ExpectedSizeCase {
    const char* name;
    FixtureResource served;
    std::int32_t resumeFrom;
    int result;
};

void PrintTo(const ExpectedSizeCase& c, std::ostream* os) { *os << c.name; }

class ExpectedSizeTest : public ResumableDownloaderTest, public ::testing::WithParamInterface<ExpectedSizeCase> {};

TEST_P(ExpectedSizeTest, OnlyABodyOfTheSizeIsKept) {
    constexpr std::size_t kSize = 50000;
    const ExpectedSizeCase& c = GetParam();
    server.Serve("/a.swf", c.served);
    const std::string part = dir.File("a.ylq.part"), lesson = dir.File("a.ylq");
    if (c.resumeFrom > 0) WriteWholeFile(part, FixtureServer::GeneratedBody(kSize).substr(0, 10000));
    DownloadSettings settings;
    settings.completeAs = lesson;
    settings.expectedSize = kSize;
    EXPECT_EQ(ResumableDownloader(Url("/a.swf"), part, {}, c.resumeFrom, c.resumeFrom > 0 ? 1 : 0, messages, settings),
              c.result);
    EXPECT_EQ(LocalFileSize(lesson), c.result == 0 ? static_cast<std::int32_t>(kSize) : -1);
    // A refused answer leaves a part as it was; a body cut off is not kept.
    EXPECT_EQ(LocalFileSize(part), c.result == 0 ? -1 : c.resumeFrom > 0 ? c.resumeFrom : -1);
    EXPECT_LT(server.BodyBytesSent(), 64u << 20);  // the endless body was not read on
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ExpectedSizeTest,
    ::testing::Values(
        ExpectedSizeCase{"TheSize", {.generatedSize = 50000}, 0, 0},
        ExpectedSizeCase{"TheRestOfTheSize", {.generatedSize = 50000}, 10000, 0},
        ExpectedSizeCase{"EndlessBody", {.generatedSize = std::size_t{1} << 40, .omitContentLength = true}, 0,
                         kDownloadNotKept},
        ExpectedSizeCase{"LongerBodyWithoutLength", {.generatedSize = 50001, .omitContentLength = true}, 0,
                         kDownloadNotKept},
        ExpectedSizeCase{"LongerContentLength", {.generatedSize = 60000}, 0, kDownloadNotKept},
        ExpectedSizeCase{"ShorterContentLength", {.generatedSize = 40000}, 0, kDownloadNotKept},
        ExpectedSizeCase{"RangeTotalDisagrees", {.generatedSize = 60000}, 10000, kDownloadNotKept}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// A write that fails once the file reaches the process's file size limit (EFBIG): in the
// first gathered write, or only in the last one before the download would complete.
class FileSizeLimitTest : public ResumableDownloaderTest, public ::testing::WithParamInterface<std::size_t> {
protected:
    void SetUp() override {
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved_), 0);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending the process
    }
    void TearDown() override {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    rlimit saved_{};
    void (*previousHandler_)(int) = SIG_DFL;
};

TEST_P(FileSizeLimitTest, AFailedWriteFailsTheDownloadAndTheLessonIsNotReplaced) {
    const std::string body = FixtureServer::GeneratedBody(600000);
    server.Serve("/big.swf", {.body = body});
    const std::string part = dir.File("big.ylq.part");
    const std::string lesson = dir.File("big.ylq");
    WriteWholeFile(lesson, "the lesson that was whole");
    rlimit limit = saved_;
    limit.rlim_cur = GetParam();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);

    DownloadSettings settings;
    settings.completeAs = lesson;
    const int result = ResumableDownloader(Url("/big.swf"), part, progress.Callback(), 0, 0, messages, settings);
    setrlimit(RLIMIT_FSIZE, &saved_);

    EXPECT_EQ(result, -1);
    EXPECT_EQ(messages.Texts(), std::vector<Text>{msg::DownloadInterrupted()});
    EXPECT_EQ(ReadWholeFile(lesson), "the lesson that was whole");
    EXPECT_LE(ReadWholeFile(part).size(), GetParam());
}

// Within the first gathered write, and within the last (after two whole ones).
INSTANTIATE_TEST_SUITE_P(Limits, FileSizeLimitTest, ::testing::Values(100000u, 560000u));

TEST_F(ResumableDownloaderTest, GbkPathReachesTheServerAsTheSameBytes) {
    const Text path = FromUtf8("/erly/爱吃糖的老虎.swf");
    server.Serve(path, {.body = "tiger"});
    const std::string file = dir.File("actdlh.ylq");

    ASSERT_EQ(ResumableDownloader(server.BaseUrl() + path, file, progress.Callback(), 0, 0, messages), 0);
    EXPECT_EQ(ReadWholeFile(file), "tiger");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/erly/" + testing::PercentEncoded(FromUtf8("爱吃糖的老虎")) + ".swf");
}

TEST_F(ResumableDownloaderTest, SystemProxyIsUsed) {
    // The fixture server stands in as the proxy; the lesson host is never resolved.
    const testing::ScopedEnv proxy("http_proxy", server.BaseUrl());
    const int result = ResumableDownloader("http://lessons.pebblewick.invalid/erly/a.swf", dir.File("p.ylq"),
                                           progress.Callback(), 0, 0, messages);
    EXPECT_EQ(result, -1);  // the stand-in answers 404
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "http://lessons.pebblewick.invalid/erly/a.swf");
}

}  // namespace
}  // namespace pw
