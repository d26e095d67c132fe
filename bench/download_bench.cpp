// Download throughput and memory of ResumableDownloader against plain libcurl, on one
// loopback fixture server in one run.
//
//   download_bench [directory for the downloaded files, default /tmp] [rounds, default 9]
//
// Every way writes a fresh file: the file of the previous round is deleted before the timed
// part. Prints the downloader's throughput in MiB/s against two baselines, plain libcurl
// into a stdio file and the curl command-line tool (`curl -s -o`), each in rounds that
// alternate the two ways and turn their order every round (median and spread), the median
// and spread of the per-round ratio downloader / baseline (target: 0.97 or more for
// both), what the flushes cost that keep a finished lesson through a power cut (the part
// flushed before its rename over the lesson, the folder after, against the same rename
// without them), and the downloader's peak memory for a
// 16 MiB and a 64 MiB body (it must not grow with the body): the peak of bytes allocated
// on its thread (C++ and libcurl allocations) and the rise of the process's peak resident
// size. Last, a lesson through DownloadWorker as the program fetches it, with its check
// while it arrives (the whole-movie rule, or the signed catalogue's hash), against the
// curl tool.
#include <curl/curl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>

#include "bench/bench_figures.h"
#include "lessons/download_worker.h"
#include "lessons/lesson_hashes.h"
#include "net/resumable_downloader.h"
#include "tests/support/fixture_server.h"

namespace {

// Allocation accounting for the thread that runs the download under test.
thread_local bool tCounting = false;
std::atomic<long long> gCurrent{0};
std::atomic<long long> gPeak{0};

void CountAlloc(void* p) {
    if (!p || !tCounting) return;
    const long long now = gCurrent += static_cast<long long>(malloc_usable_size(p));
    long long peak = gPeak.load();
    while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {}
}
void CountFree(void* p) {
    if (p && tCounting) gCurrent -= static_cast<long long>(malloc_usable_size(p));
}

void* CountingMalloc(size_t n) {
    void* p = std::malloc(n);
    CountAlloc(p);
    return p;
}
void CountingFree(void* p) {
    CountFree(p);
    std::free(p);
}
void* CountingRealloc(void* p, size_t n) {
    CountFree(p);
    void* q = std::realloc(p, n);
    CountAlloc(q ? q : p);
    return q;
}
char* CountingStrdup(const char* s) {
    char* p = strdup(s);
    CountAlloc(p);
    return p;
}
void* CountingCalloc(size_t n, size_t size) {
    void* p = std::calloc(n, size);
    CountAlloc(p);
    return p;
}

struct PeakMemory {
    long long allocatedBytes;
    long long residentRiseKiB;
};

long long StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + std::strlen(key));
    return -1;
}

void ResetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The downloader's messages go to stderr; a run that has one failed anyway.
class StderrMessages final : public pw::MessagePort {
public:
    pw::MessageAnswer Ask(const pw::MessageRequest& request) override {
        std::fprintf(stderr, "downloader message: %s\n", pw::ToUtf8(request.text).c_str());
        return pw::MessageAnswer::Ok;
    }
};

double TimeDownloader(const std::string& url, const std::string& file) {
    StderrMessages messages;
    const pw::DownloadProgressCallback empty = [](std::int32_t, std::int32_t, std::int32_t, std::int32_t) { return 0; };
    std::remove(file.c_str());
    const auto start = std::chrono::steady_clock::now();
    if (pw::ResumableDownloader(url, file, empty, 0, 0, messages) != 0) {
        std::fprintf(stderr, "downloader failed\n");
        std::exit(1);
    }
    return Seconds(std::chrono::steady_clock::now() - start);
}

// As the program keeps a lesson: into "<file>.part", renamed over the file once whole,
// with `calls` for the flushes and the rename.
double TimeKeptDownload(const std::string& url, const std::string& file, const pw::DurableWriteCalls& calls) {
    StderrMessages messages;
    const std::string part = file + ".part";
    std::remove(file.c_str());
    std::remove(part.c_str());
    pw::DownloadSettings settings;
    settings.completeAs = file;
    settings.writeCalls = calls;
    const auto start = std::chrono::steady_clock::now();
    if (pw::ResumableDownloader(url, part, {}, 0, 0, messages, settings) != 0) {
        std::fprintf(stderr, "downloader failed to keep the file\n");
        std::exit(1);
    }
    return Seconds(std::chrono::steady_clock::now() - start);
}

// As the program fetches a lesson: DownloadWorker into "<file>.part", kept once its check
// while the body arrives takes it: the signed catalogue's size and SHA-256 when `digest` is
// given, else the whole-movie rule; flushed and renamed over the file.
double TimeLessonDownload(const std::string& url, const std::string& file, const pw::LessonDigest* digest) {
    std::remove(file.c_str());
    pw::LessonHashes hashes;
    pw::DownloadJob job{1, url, file, true, nullptr};
    if (digest)
        job.wholeLesson = [&](const pw::Text& path, const pw::SwfByteSource& arriving) {
            return hashes.Matches(path, *digest, arriving);
        };
    bool kept = false;
    const auto start = std::chrono::steady_clock::now();
    pw::DownloadWorker(job, [&](const pw::DownloadEvent& e) { kept = kept || e.kind == pw::DownloadEvent::Kind::Completed; }, {});
    if (!kept) {
        std::fprintf(stderr, "the lesson was not kept\n");
        std::exit(1);
    }
    return Seconds(std::chrono::steady_clock::now() - start);
}

size_t WriteToFile(char* data, size_t size, size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<FILE*>(file));
}

double TimePlainCurl(const std::string& url, const std::string& file) {
    std::remove(file.c_str());
    const auto start = std::chrono::steady_clock::now();
    FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) {
        std::perror(file.c_str());
        std::exit(1);
    }
    CURL* h = curl_easy_init();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteToFile);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, out);
    const CURLcode rc = curl_easy_perform(h);
    curl_easy_cleanup(h);
    std::fclose(out);
    if (rc != CURLE_OK) {
        std::fprintf(stderr, "plain libcurl failed: %s\n", curl_easy_strerror(rc));
        std::exit(1);
    }
    return Seconds(std::chrono::steady_clock::now() - start);
}

PeakMemory MeasureDownloader(const std::string& url, const std::string& file) {
    ResetPeakResident();
    const long long before = StatusKiB("VmRSS:");
    gCurrent = 0;
    gPeak = 0;
    tCounting = true;
    TimeDownloader(url, file);
    tCounting = false;
    return {gPeak.load(), StatusKiB("VmHWM:") - before};
}

}  // namespace

void* operator new(size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    CountAlloc(p);
    return p;
}
void operator delete(void* p) noexcept { CountingFree(p); }
void operator delete(void* p, size_t) noexcept { CountingFree(p); }

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    const int rounds = pw::bench::CountArgument(argc, argv, 2, 9);
    curl_global_init_mem(CURL_GLOBAL_DEFAULT, CountingMalloc, CountingFree, CountingRealloc, CountingStrdup,
                         CountingCalloc);

    constexpr size_t kMiB = 1024 * 1024;
    pw::testing::FixtureServer server;
    // Stored once; each response copies only the piece it is sending.
    server.Serve("/64.bin", {.body = pw::testing::FixtureServer::GeneratedBody(64 * kMiB)});
    server.Serve("/16.bin", {.generatedSize = 16 * kMiB});
    server.Serve("/64g.bin", {.generatedSize = 64 * kMiB});
    const std::string url = server.BaseUrl() + "/64.bin";
    const std::string file = dir + "/pebblewick-bench-" + std::to_string(getpid()) + ".bin";

    TimePlainCurl(url, file);  // warm-up: connection set-up, page cache
    pw::bench::CurlToolSeconds(url, file);
    TimeDownloader(url, file);
    // Rounds alternate the two ways and turn their order every round, so a busy machine
    // and whatever the previous transfer left behind (dirty pages being written back) fall
    // on both alike.
    pw::bench::PairedRounds rounds64;
    rounds64.AddAlternating(
        rounds, [&] { return 64.0 / TimeDownloader(url, file); }, [&] { return 64.0 / TimePlainCurl(url, file); });
    rounds64.Print("64 MiB over loopback", "ResumableDownloader, empty callback (MiB/s)", "plain libcurl into a file (MiB/s)",
                   "MiB/s", "ratio downloader / plain", false, ">= 1.0");
    pw::bench::PairedRounds roundsTool;
    roundsTool.AddAlternating(
        rounds, [&] { return 64.0 / TimeDownloader(url, file); },
        [&] { return 64.0 / pw::bench::CurlToolSeconds(url, file); });
    roundsTool.Print("64 MiB over loopback", "ResumableDownloader, empty callback (MiB/s)",
                     "curl -s -o, the command-line tool (MiB/s)", "MiB/s", "ratio downloader / curl tool", false,
                     ">= 0.97");

    const pw::DurableWriteCalls& flushed = pw::SystemWriteCalls();
    const pw::DurableWriteCalls unflushed{
        [](int) { return true; }, flushed.rename, [](const pw::Text&) { return true; }};
    pw::bench::PairedRounds roundsFlush;
    roundsFlush.AddAlternating(
        rounds, [&] { return 1000 * TimeKeptDownload(url, file, flushed); },
        [&] { return 1000 * TimeKeptDownload(url, file, unflushed); });
    roundsFlush.Print("64 MiB kept as a lesson", "flushed before the rename, its folder after (ms)",
                      "the same rename without a flush (ms)", "ms", "ratio flushed / not flushed", false, "");
    const pw::bench::Summary flushCost = roundsFlush.DifferenceSummary();
    std::printf("  what the flushes cost: median %.1f ms (min %.1f, max %.1f) per 64 MiB lesson\n", flushCost.median,
                flushCost.min, flushCost.max);

    // The generated body is an uncompressed movie: its check walks the tags, passing over
    // their bodies; the hash reads every byte.
    const std::string lessonBody = pw::testing::FixtureServer::GeneratedBody(64 * kMiB);
    const pw::LessonDigest digest{static_cast<std::int64_t>(lessonBody.size()), pw::BytesSha256(lessonBody)};
    for (const pw::LessonDigest* d : {static_cast<const pw::LessonDigest*>(nullptr), &digest}) {
        pw::bench::PairedRounds roundsLesson;
        roundsLesson.AddAlternating(
            rounds, [&] { return 1000 * TimeLessonDownload(url, file, d); },
            [&] { return 1000 * pw::bench::CurlToolSeconds(url, file); });
        roundsLesson.Print(d ? "A lesson of the signed catalogue, 64 MiB, kept by its hash checked as it arrives"
                             : "A lesson of the built-in catalogue, 64 MiB, kept as a whole movie checked as it arrives",
                           "DownloadWorker, flushed and renamed (ms)", "curl -s -o, not flushed (ms)", "ms",
                           "ratio curl / worker", true, "");
    }

    const PeakMemory small = MeasureDownloader(server.BaseUrl() + "/16.bin", file);
    const PeakMemory large = MeasureDownloader(server.BaseUrl() + "/64g.bin", file);
    std::printf("Downloader peak memory (allocated on its thread / rise of peak resident size)\n");
    std::printf("  16 MiB body: %8lld bytes / %6lld KiB\n", small.allocatedBytes, small.residentRiseKiB);
    std::printf("  64 MiB body: %8lld bytes / %6lld KiB\n", large.allocatedBytes, large.residentRiseKiB);

    std::remove(file.c_str());
    curl_global_cleanup();
    return 0;
}
