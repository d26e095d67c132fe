// Lessons that travel: an import from a folder against `cp -r` of the same folder, and what
// a refused first mirror costs before the next one is asked.
//   travel_bench [ROUNDS] [MIB]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_figures.h"
#include "lessons/catalogue_file.h"
#include "lessons/download_worker.h"
#include "lessons/lesson_folder.h"
#include "lessons/lesson_hashes.h"
#include "tests/support/fixture_server.h"
#include "tests/support/temp_dir.h"
#include "tools/demo_site/catalogue_signing.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string DemoPublicKey() {
    std::ifstream in(PEBBLEWICK_SOURCE_DIR "/tools/demo_site/demo-site-only.minisign.pub");
    std::string line;
    std::getline(in, line);  // its comment
    std::getline(in, line);
    return line;
}

// A pebblewick-lessons/ folder of `mib` MiB in lessons of 5 MiB, signed with the demo key.
void MakeFolder(const std::string& folder, int mib) {
    fs::create_directories(folder);
    std::string json = "{\"format\": 1, \"serial\": 1, \"groups\": [{\"title\": \"课\", \"lessons\": [";
    const int lessons = std::max(1, mib / 5);
    for (int i = 0; i < lessons; ++i) {
        const std::string body = pw::testing::FixtureServer::GeneratedBody(std::size_t{5} << 20) + std::to_string(i);
        const std::string cache = "l" + std::to_string(i);
        Write(folder + "/" + cache + ".ylq", body);
        json += std::string(i ? ", " : "") + "{\"title\": \"第" + std::to_string(i) + "课\", \"server\": 1, \"path\": \"/l" +
                std::to_string(i) + ".swf\", \"cache\": \"" + cache + "\", \"size\": " + std::to_string(body.size()) +
                ", \"sha256\": \"" + pw::Sha256Hex(pw::BytesSha256(body)) + "\"}";
    }
    json += "]}]}\n";
    std::string error;
    Write(folder + "/" + pw::kCatalogueFileName, json);
    Write(folder + "/" + pw::kCatalogueSignatureName,
          pw::demo::SignMinisign(json, pw::demo::DemoSiteSecretKey(), pw::kCatalogueFileName, error).value_or(""));
}

void ImportAgainstCopy(int rounds, int mib) {
    pw::testing::TempDir dir;
    const std::string stick = dir.File("stick"), folder = stick + "/" + pw::kLessonFolderName;
    MakeFolder(folder, mib);
    const std::string key = DemoPublicKey();
    pw::bench::PairedRounds figures;
    int round = 0;
    figures.AddAlternating(
        rounds,
        [&] {
            const std::string into = dir.File("import" + std::to_string(++round));
            fs::create_directories(into);
            const auto start = Clock::now();
            const pw::FolderOutcome outcome = pw::ImportLessons(stick, into, key, nullptr, {});
            const double seconds = SecondsSince(start);
            if (!outcome.ok) std::fprintf(stderr, "import failed: %s\n", pw::ToUtf8(outcome.summary).c_str());
            fs::remove_all(into);
            return seconds;
        },
        [&] {
            const std::string into = dir.File("copy" + std::to_string(++round));
            const auto start = Clock::now();
            const int status = std::system(("cp -r '" + folder + "' '" + into + "'").c_str());
            const double seconds = SecondsSince(start);
            if (status != 0) std::fprintf(stderr, "cp -r failed\n");
            fs::remove_all(into);
            return seconds;
        });
    const std::string title = "Import of " + std::to_string(mib) + " MiB of lessons from a folder (hashes and flushes included)";
    figures.Print(title.c_str(), "ImportLessons", "cp -r of the same folder", "s", "import's throughput / cp -r's",
                  true, ">= 0.9");
}

// DownloadWorker with a first mirror on a port where nothing listens, against the same
// download with the good source alone: the difference is what the refusal costs.
void RefusedMirror(int rounds) {
    pw::testing::FixtureServer server;
    const std::string body = pw::testing::FixtureServer::GeneratedBody(20000);
    server.Serve("/a.swf", {.body = body});
    pw::testing::TempDir dir;
    const pw::LessonDigest digest{static_cast<std::int64_t>(body.size()), pw::BytesSha256(body)};
    const auto download = [&](bool withRefused) {
        pw::DownloadJob job{1, server.BaseUrl() + "/a.swf", dir.File("a.ylq")};
        job.size = digest.size;
        job.wholeLesson = [&](const pw::Text& file, const pw::SwfByteSource& arriving) {
            pw::LessonHashes hashes;
            return hashes.Matches(file, digest, arriving);
        };
        if (withRefused)
            job.mirrors = {"http://127.0.0.1:" + std::to_string(pw::testing::ClosedLoopbackPort()) + "/a.swf"};
        fs::remove(job.filePath);
        const auto start = Clock::now();
        pw::DownloadWorker(job, [](pw::DownloadEvent) {}, {});
        return SecondsSince(start) * 1000;
    };
    pw::bench::PairedRounds figures;
    figures.AddAlternating(rounds, [&] { return download(true); }, [&] { return download(false); });
    figures.Print("A lesson whose first mirror refuses the connection", "refused mirror, then the good source",
                  "the good source alone", "ms", "refused mirror / alone", false, "");
    const pw::bench::Summary cost = figures.DifferenceSummary();
    std::printf("  %-52s median %9.3f ms  (min %.3f, max %.3f)  target <= 100%s\n", "the refusal's cost", cost.median,
                cost.min, cost.max, pw::bench::Verdict(cost.median, "<= 100"));
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const int mib = argc > 2 ? std::atoi(argv[2]) : 100;
    ImportAgainstCopy(rounds, mib);
    RefusedMirror(rounds * 4);
    return 0;
}
