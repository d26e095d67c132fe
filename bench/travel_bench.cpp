// Lessons that travel: an import from a folder against `cp -r` of the same folder (alone,
// flushed, and flushed from a folder out of the page cache when run as root), and what a
// refused first mirror costs before the next one is asked.
//   travel_bench [ROUNDS] [MIB]

#include <chrono>
#include <cstdio>
#include <unistd.h>
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
#include "tests/support/loopback_port.h"
#include "tools/demo_site/catalogue_signing.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// A folder of its own under /tmp, removed at the end.
class BenchDir {
public:
    BenchDir() {
        char path[] = "/tmp/pebblewick-travel-XXXXXX";
        if (!::mkdtemp(path)) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        path_ = path;
    }
    ~BenchDir() { fs::remove_all(path_); }
    BenchDir(const BenchDir&) = delete;
    BenchDir& operator=(const BenchDir&) = delete;
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

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

// `cp -r` of the folder into a new one, timed; with `flushed`, `sync -f` of the copy too,
// as the import flushes each file before its rename.
double CopySeconds(const std::string& folder, const std::string& into, bool flushed) {
    const auto start = Clock::now();
    std::string command = "cp -r '" + folder + "' '" + into + "'";
    if (flushed) command += " && sync -f '" + into + "'";
    const int status = std::system(command.c_str());
    const double seconds = SecondsSince(start);
    if (status != 0) std::fprintf(stderr, "%s failed\n", command.c_str());
    fs::remove_all(into);
    return seconds;
}

void ImportAgainstCopy(int rounds, int mib) {
    BenchDir dir;
    const std::string stick = dir.File("stick"), folder = stick + "/" + pw::kLessonFolderName;
    MakeFolder(folder, mib);
    const std::string key = DemoPublicKey();
    int round = 0;
    const auto import = [&] {
        const std::string into = dir.File("import" + std::to_string(++round));
        fs::create_directories(into);
        const auto start = Clock::now();
        const pw::FolderOutcome outcome = pw::ImportLessons(stick, into, key, nullptr, {});
        const double seconds = SecondsSince(start);
        if (!outcome.ok) std::fprintf(stderr, "import failed: %s\n", pw::ToUtf8(outcome.summary).c_str());
        fs::remove_all(into);
        return seconds;
    };
    pw::bench::PairedRounds figures, flushedFigures, coldFigures;
    figures.AddAlternating(rounds, import, [&] { return CopySeconds(folder, dir.File("copy" + std::to_string(++round)), false); });
    flushedFigures.AddAlternating(
        rounds, import, [&] { return CopySeconds(folder, dir.File("copy" + std::to_string(++round)), true); });
    // A stick just plugged in: nothing of it in the page cache (root only).
    const auto dropCaches = [] { return std::system("sync && echo 3 > /proc/sys/vm/drop_caches 2>/dev/null") == 0; };
    const bool cold = ::geteuid() == 0 && dropCaches();
    if (cold)
        coldFigures.AddAlternating(
            rounds, [&] { return dropCaches(), import(); },
            [&] { return dropCaches(), CopySeconds(folder, dir.File("copy" + std::to_string(++round)), true); });
    const std::string title = "Import of " + std::to_string(mib) + " MiB of lessons from a folder (hashes and flushes included)";
    figures.Print(title.c_str(), "ImportLessons", "cp -r of the same folder", "s", "import's throughput / cp -r's",
                  true, ">= 0.9");
    // cp -r leaves its copy in the page cache; the import's files are on the disk.
    flushedFigures.Print("The same, against a copy flushed to the disk", "ImportLessons", "cp -r, then sync -f of the copy",
                         "s", "import's throughput / flushed cp -r's", true, ">= 0.9");
    if (cold)
        coldFigures.Print("The same from a folder not in the page cache (information)", "ImportLessons",
                          "cp -r, then sync -f of the copy", "s", "import's throughput / flushed cp -r's", true, "");
    else
        std::printf("No figures from a folder out of the page cache: dropping the caches takes root\n");
}

// DownloadWorker with a first mirror on a port where nothing listens, against the same
// download with the good source alone: the difference is what the refusal costs.
void RefusedMirror(int rounds) {
    pw::testing::FixtureServer server;
    const std::string body = pw::testing::FixtureServer::GeneratedBody(20000);
    server.Serve("/a.swf", {.body = body});
    BenchDir dir;
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
