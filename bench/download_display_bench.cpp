// Download throughput through the program's own download path, with the real progress
// display in the shown main window, against the same path without the display; plain
// libcurl into a file for information. All from one loopback fixture server, the order
// of the ways turning every round, in one run.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" download_display_bench [rounds, default 36]
//
// The program's way: the lesson menu handler for a lesson whose server path serves 128 MiB
// with no cache file present, i.e. two size probes (HEAD), then DownloadWorker on its
// thread, its progress events applied to the window's display on the UI thread as it
// runs its event loop; timed from the handler call until the finished file is handed
// to the player. The baseline differs only by the display: the same handler, probes,
// worker and events on the UI thread, but the status label and progress bar stay hidden
// and the captions and positions are not written to them. Plain libcurl: one GET of the
// same body into a file, on a thread while the UI thread runs its event loop too. Every
// way writes a file that is not there when its timing starts (the program's cache file
// and the plain file are removed before, untimed), so none pays for emptying the last one;
// after plain libcurl and the curl tool below, which flush nothing, the file system is
// flushed, untimed, so that the next way does not pay for their writeback.
// Besides the throughput, the UI thread's own CPU time during each way is printed: what
// the display costs there, steadier than the wall-clock figures on a shared machine.
//
// Last, a lesson from the click to the whole file on disk against the curl tool, in rounds
// of their own that alternate the two: the program's way as above with the display, which
// ends after the finished part was flushed (fdatasync), renamed over the cache file and
// its folder flushed, as the program keeps every lesson; against `curl -s -o FILE URL` run
// as a process into a fresh file in the same folder, which flushes nothing: its bytes may
// still be only in the page cache when it exits. The tool runs while the bench's event loop
// turns, as it does while the program's own way runs. Ratio curl's time / the program's
// (1.0 or more: the program is at least as quick, its flush included).
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" download_display_bench disk [rounds, default 5]
//
// A lesson of 256 MiB from nginx on loopback (the project's server block, serving a folder
// of its own) from the click to the whole file flushed and renamed, against two anchors in
// the same run and the same folder: the disk's own durable write of as many bytes
// (`dd if=/dev/zero of=F bs=1M count=256 conv=fdatasync`, target: the program within 1.25
// of it) and the same bytes by `curl -s -o F URL && sync --data F` (target: the program at
// least as quick), with `curl -s -o` alone beside them. Four ways a round, the first way
// turning every round; after each way its file is deleted and the file system flushed,
// untimed, so that no way pays for the writeback of another.
#include <curl/curl.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "bench/bench_figures.h"
#include "bench/gui_bench_support.h"
#include "core/files.h"
#include "lessons/catalogue.h"
#include "tests/site/nginx_server.h"
#include "tests/support/program_window.h"
#include "ui/controls.h"
#include "ui/main_window_display.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw::bench {
namespace {

// Large enough that one round lasts long against the machine's scheduling hiccups.
constexpr std::size_t kBodySize = 128 * 1024 * 1024;
constexpr double kBodyMiB = 128.0;

double CpuMs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}
// CPU time the calling thread has used, in milliseconds.
double ThreadCpuMs() { return CpuMs(CLOCK_THREAD_CPUTIME_ID); }
// CPU time of all the process's threads (the worker, the fixture server, the toolkit's
// and the web engine's threads that compose the window), in milliseconds.
double ProcessCpuMs() { return CpuMs(CLOCK_PROCESS_CPUTIME_ID); }

// The window's display as the program writes it, with a count of the progress reports
// and the moment the finished file is handed to the player. UI thread only. Without the
// download display, its label and bar stay hidden and nothing is written to them.
class ObservedDisplay final : public Display {
public:
    explicit ObservedDisplay(Display& inner) : inner_(inner) {}

    void Reset(bool withDownloadDisplay) {
        captions_ = 0;
        played_ = false;
        withDownloadDisplay_ = withDownloadDisplay;
    }
    int Captions() const { return captions_; }
    bool Played() const { return played_; }
    Clock::time_point PlayedAt() const { return playedAt_; }

    void ShowView(ContentView view) override {
        inner_.ShowView(view);
        if (!withDownloadDisplay_) inner_.HideDownloadDisplay();
    }
    void HideDownloadDisplay() override { inner_.HideDownloadDisplay(); }
    void SetStatusCaption(const Text& caption) override {
        ++captions_;
        if (withDownloadDisplay_) inner_.SetStatusCaption(caption);
    }
    void SetProgressPosition(std::int32_t position) override {
        if (withDownloadDisplay_) inner_.SetProgressPosition(position);
    }
    void SetFlashMovie(const Text& path) override { inner_.SetFlashMovie(path); }
    void PlayFlash() override {
        inner_.PlayFlash();
        playedAt_ = Clock::now();
        played_ = true;
    }
    void SetWebAddress(const Text& url) override { inner_.SetWebAddress(url); }
    void SetLessonMenu(const std::vector<LessonMenuGroup>& groups) override { inner_.SetLessonMenu(groups); }
    void SetLessonReady(int group, int item, bool ready) override { inner_.SetLessonReady(group, item, ready); }
    void SetUpdateFigures(const Text& line) override { inner_.SetUpdateFigures(line); }

private:
    Display& inner_;
    int captions_ = 0;
    bool played_ = false;
    bool withDownloadDisplay_ = true;
    Clock::time_point playedAt_{};
};

// Counts the paint events a widget receives.
class PaintCounter final : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

// The largest gap between the ticks of a 10 ms timer on the UI thread: how long the UI
// thread went without handling its events.
class UiGapMeter {
public:
    UiGapMeter() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            largest_ = std::max(largest_, clock_.restart());
        });
    }
    void Start() {
        largest_ = 0;
        clock_.start();
        timer_.start(10);
    }
    qint64 StopMs() {
        timer_.stop();
        return std::max(largest_, clock_.elapsed());
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 largest_ = 0;
};

size_t WriteToFile(char* data, size_t size, size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<FILE*>(file));
}

double PlainCurlSeconds(const std::string& url, const std::string& file) {
    double seconds = -1;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        const auto start = Clock::now();
        if (FILE* out = std::fopen(file.c_str(), "wb")) {
            CURL* h = curl_easy_init();
            curl_easy_setopt(h, CURLOPT_URL, url.c_str());
            curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteToFile);
            curl_easy_setopt(h, CURLOPT_WRITEDATA, out);
            const CURLcode rc = curl_easy_perform(h);
            curl_easy_cleanup(h);
            std::fclose(out);
            if (rc == CURLE_OK) seconds = Seconds(Clock::now() - start);
        }
        done = true;
    });
    // The UI thread keeps running its event loop, as it does in the program's way.
    RunEventsUntil([&] { return done.load(); }, std::chrono::seconds(120));
    worker.join();
    return seconds;
}

// The folder's file system flushed: what an earlier way left to write back is on the disk
// before the next way is timed.
void FlushFileSystemOf(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::syncfs(fd);
    ::close(fd);
}

// The click-to-disk figure of 256 MiB from nginx, against dd's durable write and curl with
// a flush; see the top of this file.
// Chooses the lesson in the program and runs the events until it plays with every worker
// ended; the benchmark ends when that has not come in two minutes.
void ChooseUntilPlayed(ProgramWindow& program, const ObservedDisplay& controls, const LessonEntry& lesson) {
    program.program().OnLessonMenuItemClicked(lesson.group, lesson.item);
    if (!RunEventsUntil([&] { return controls.Played() && pw::testing::ProgramSettled(program.program()); },
                        std::chrono::seconds(120))) {
        std::fprintf(stderr, "the program's download did not finish\n");
        std::exit(1);
    }
}

int RunDiskFigures(int rounds) {
    constexpr std::size_t kDiskBodySize = 256 * 1024 * 1024;
    ScratchDirectory site, data;
    const LessonEntry lesson = *Lookup(0, 0);
    {
        // The site as nginx serves it: the update page and home page of a quiet site, and the
        // lesson at its path (whose GBK bytes nginx finds from the percent-encoded request).
        std::filesystem::create_directories(site.Path() + "/tovel");
        pw::testing::WriteWholeFile(site.File("tovel/test.html"), FromUtf8("<p>////开始<p>最新版=2.0</p>////结束</p>"));
        pw::testing::WriteWholeFile(site.File("tovel/index.html"),
                                "<html><head><title>home</title></head><body>home</body></html>");
        const std::string lessonFile = site.Path() + lesson.path;
        std::filesystem::create_directories(std::filesystem::path(lessonFile).parent_path());
        pw::testing::WriteWholeFile(lessonFile, pw::testing::FixtureServer::GeneratedBody(kDiskBodySize));
        std::filesystem::create_hard_link(lessonFile, site.File("plain.bin"));  // the same bytes for the tools
    }
    std::string why;
    std::unique_ptr<pw::testing::NginxServer> nginx;
    int port = 0;
    for (int attempt = 0; attempt < 5 && !nginx; ++attempt) {
        port = pw::testing::ClosedLoopbackPort();
        nginx = pw::testing::NginxServer::Start(PEBBLEWICK_SOURCE_DIR "/packaging/site/nginx.conf", site.Path(), port,
                                            why);
    }
    if (!nginx) {
        std::printf("No disk figures: %s\n", why.c_str());
        return 1;
    }
    const std::string hostPort = "127.0.0.1:" + std::to_string(port);
    const std::string url = "http://" + hostPort + "/plain.bin";

    ProgramWindow program(hostPort, data.Path());
    RunEventsUntil([] { return false; }, std::chrono::seconds(3));
    ObservedDisplay controls(program.display());
    program.program().AttachDisplay(controls);
    const std::string cacheFile = program.program().FilePath(lesson.cacheName);
    const std::string toolFile = data.File("tool.bin");
    bool wrongFile = false;

    const auto turnEvents = [] {
        QTimer::singleShot(1, [] {});
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    const auto afterWay = [&](const std::string& file) {
        std::filesystem::remove(file);
        FlushFileSystemOf(data.Path());
    };
    const auto programMs = [&] {
        controls.Reset(true);
        const auto start = Clock::now();
        ChooseUntilPlayed(program, controls, lesson);
        const double ms = Seconds(controls.PlayedAt() - start) * 1000;
        wrongFile = wrongFile || LocalFileSize(cacheFile) != static_cast<std::int32_t>(kDiskBodySize);
        afterWay(cacheFile);
        return ms;
    };
    const auto ddMs = [&] {
        const double ms = 1000 * ToolSeconds({"dd", "if=/dev/zero", "of=" + toolFile, "bs=1M", "count=256",
                                              "conv=fdatasync", "status=none"},
                                             turnEvents);
        afterWay(toolFile);
        return ms;
    };
    const auto curlMs = [&](bool flush) {
        const auto start = Clock::now();
        CurlToolSeconds(url, toolFile, turnEvents);
        if (flush) ToolSeconds({"sync", "--data", toolFile}, turnEvents);
        const double ms = Seconds(Clock::now() - start) * 1000;
        afterWay(toolFile);
        return ms;
    };

    // Warm-up: the tools' files and the lesson in the page cache, the connection's first use.
    programMs();
    ddMs();
    curlMs(true);
    std::vector<double> ours, dd, curlFlushed, curlAlone;
    const std::vector<std::function<void()>> ways = {
        [&] { ours.push_back(programMs()); },
        [&] { dd.push_back(ddMs()); },
        [&] { curlFlushed.push_back(curlMs(true)); },
        [&] { curlAlone.push_back(curlMs(false)); },
    };
    for (int i = 0; i < rounds; ++i)
        for (std::size_t k = 0; k < ways.size(); ++k) ways[(static_cast<std::size_t>(i) + k) % ways.size()]();

    PairedRounds againstDisk, againstCurl, curlOnly, againstFloor;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        againstDisk.Add(ours[i], dd[i]);
        againstCurl.Add(ours[i], curlFlushed[i]);
        curlOnly.Add(ours[i], curlAlone[i]);
        // Neither the network nor the disk can be beaten: the floor is the slower of them.
        againstFloor.Add(ours[i], std::max(dd[i], curlAlone[i]));
    }
    againstDisk.Print("A lesson of 256 MiB from nginx on loopback, from the click to the whole file flushed and renamed, "
                      "against the disk's own durable write of 256 MiB into the same folder",
                      "the program, click to flushed and renamed (ms)", "dd bs=1M count=256 conv=fdatasync (ms)", "ms",
                      "ratio program / dd", false, "<= 1.25");
    againstCurl.Print("The same against curl -s -o F URL && sync --data F (the same bytes, flushed)",
                      "the program, click to flushed and renamed (ms)", "curl -s -o && sync --data (ms)", "ms",
                      "ratio curl+sync / program", true, ">= 1.0");
    curlOnly.Print("The same against curl -s -o alone, which flushes nothing (information)",
                   "the program, click to flushed and renamed (ms)", "curl -s -o (ms)", "ms", "ratio curl / program",
                   true, "none");
    againstFloor.Print("The same against the slower of dd and curl -s -o in each round (information)",
                       "the program, click to flushed and renamed (ms)", "max(dd, curl -s -o) (ms)", "ms",
                       "ratio program / the slower", false, "none");
    if (wrongFile) std::printf("  WARNING: a cache file did not hold the whole body\n");
    if (MessagesShown()) std::printf("  WARNING: %d message(s) shown during the run\n", MessagesShown());
    std::fflush(stdout);
    program.program().AttachDisplay(program.display());
    return wrongFile || MessagesShown() ? 1 : 0;
}

}  // namespace
}  // namespace pw::bench

int main(int argc, char** argv) {
    using namespace pw;
    using namespace pw::bench;
    const bool disk = argc > 1 && std::string(argv[1]) == "disk";
    const int given = disk ? 2 : 1;
    const int rounds = CountArgument(argc, argv, given, disk ? 5 : 36);

    PrepareApplication(argc, argv);
    QApplication app(argc, argv);
    if (disk) return RunDiskFigures(rounds);
    curl_global_init(CURL_GLOBAL_DEFAULT);

    pw::testing::FixtureServer server;
    ServeQuietSite(server);
    const LessonEntry lesson = *Lookup(0, 0);
    const std::string body = pw::testing::FixtureServer::GeneratedBody(kBodySize);
    server.Serve(lesson.path, {.body = body});
    server.Serve("/plain.bin", {.body = body});
    const std::string plainUrl = server.BaseUrl() + "/plain.bin";

    ScratchDirectory directory;
    ProgramWindow program(server.HostPort(), directory.Path());
    // Let the home page and the player page load before anything is timed.
    RunEventsUntil([] { return false; }, std::chrono::seconds(3));

    ObservedDisplay controls(program.display());
    program.program().AttachDisplay(controls);
    auto* label = program.Window().controlAs<StatusLabel>(names::kStatusLabel);
    PaintCounter paints;
    label->installEventFilter(&paints);
    UiGapMeter gaps;

    const std::string cacheFile = program.program().FilePath(lesson.cacheName);
    const std::string plainFile = directory.File("plain.bin");
    int lastCaptions = 0, lastPaints = 0;
    std::vector<double> uiCpuOurs, uiCpuHidden, uiCpuPlain;  // ms of the UI thread per round
    std::vector<double> cpuOurs, cpuHidden;                  // ms of the whole process per round
    qint64 largestGapOurs = 0, largestGapHidden = 0, largestGapPlain = 0;
    bool wrongFile = false;

    // Seconds from the click until the lesson plays.
    auto programPath = [&](bool withDisplay) -> double {
        std::filesystem::remove(cacheFile);
        controls.Reset(withDisplay);
        paints.count = 0;
        gaps.Start();
        const double cpuStart = ThreadCpuMs();
        const double processCpuStart = ProcessCpuMs();
        const auto start = Clock::now();
        ChooseUntilPlayed(program, controls, lesson);
        const double seconds = Seconds(controls.PlayedAt() - start);
        (withDisplay ? uiCpuOurs : uiCpuHidden).push_back(ThreadCpuMs() - cpuStart);
        (withDisplay ? cpuOurs : cpuHidden).push_back(ProcessCpuMs() - processCpuStart);
        qint64& largestGap = withDisplay ? largestGapOurs : largestGapHidden;
        largestGap = std::max(largestGap, gaps.StopMs());
        // Let the last queued display update land before counting its paints.
        RunEventsUntil([] { return false; }, std::chrono::milliseconds(100));
        if (withDisplay) {
            lastCaptions = controls.Captions();
            lastPaints = paints.count;
        }
        wrongFile = wrongFile || LocalFileSize(cacheFile) != static_cast<std::int32_t>(kBodySize);
        return seconds;
    };
    auto plain = [&]() -> double {
        std::filesystem::remove(plainFile);
        gaps.Start();
        const double cpuStart = ThreadCpuMs();
        const double seconds = PlainCurlSeconds(plainUrl, plainFile);
        uiCpuPlain.push_back(ThreadCpuMs() - cpuStart);
        largestGapPlain = std::max(largestGapPlain, gaps.StopMs());
        // Its body may still be only in the page cache: the next way must not pay for it.
        FlushFileSystemOf(directory.Path());
        if (seconds <= 0) {
            std::fprintf(stderr, "plain libcurl failed\n");
            std::exit(1);
        }
        return kBodyMiB / seconds;
    };

    auto ours = [&] { return kBodyMiB / programPath(true); };
    auto hidden = [&] { return kBodyMiB / programPath(false); };

    ours();  // warm-up: connections, page cache, the display's first layout
    hidden();
    plain();
    uiCpuOurs.clear();
    uiCpuHidden.clear();
    uiCpuPlain.clear();
    cpuOurs.clear();
    cpuHidden.clear();
    PairedRounds figures, plainFigures;
    for (int i = 0; i < rounds; ++i) {
        // The order turns every round through all six, so a drift of the machine's load
        // hits all alike; with and without the display take turns at going first.
        double a = 0, b = 0, c = 0;
        switch (i % 6) {
        case 0: a = ours(); b = hidden(); c = plain(); break;
        case 1: b = hidden(); a = ours(); c = plain(); break;
        case 2: c = plain(); a = ours(); b = hidden(); break;
        case 3: c = plain(); b = hidden(); a = ours(); break;
        case 4: a = ours(); c = plain(); b = hidden(); break;
        default: b = hidden(); c = plain(); a = ours(); break;
        }
        figures.Add(a, b);
        plainFigures.Add(a, c);
    }

    figures.Print("Download of 128 MiB over loopback: the program's download path with the progress display "
                  "shown, against the same path without it",
                  "with the display (MiB/s)", "without the display (MiB/s)", "MiB/s", "ratio with / without", false,
                  ">= 0.95");
    figures.PrintEach("each round, with/without (MiB/s):");
    plainFigures.Print("The same against plain libcurl into a file (information)", "with the display (MiB/s)",
                       "plain libcurl into a file (MiB/s)", "MiB/s", "ratio program / plain", false, "none");
    std::printf("  progress reports (chunks) in the last round: %d; status label paints: %d\n", lastCaptions,
                lastPaints);
    const Summary uiOurs = Summarise(uiCpuOurs), uiHidden = Summarise(uiCpuHidden), uiPlain = Summarise(uiCpuPlain);
    std::printf("  UI thread CPU time per round, median (min-max): %.1f ms (%.1f-%.1f) with the display, "
                "%.1f ms (%.1f-%.1f) without, %.1f ms (%.1f-%.1f) during plain\n",
                uiOurs.median, uiOurs.min, uiOurs.max, uiHidden.median, uiHidden.min, uiHidden.max, uiPlain.median,
                uiPlain.min, uiPlain.max);
    const Summary allOurs = Summarise(cpuOurs), allHidden = Summarise(cpuHidden);
    std::printf("  process CPU time per round (all threads), median (min-max): %.1f ms (%.1f-%.1f) with the display, "
                "%.1f ms (%.1f-%.1f) without\n",
                allOurs.median, allOurs.min, allOurs.max, allHidden.median, allHidden.min, allHidden.max);
    std::printf("  largest gap between UI timer ticks: %lld ms with the display, %lld ms without, %lld ms during plain\n",
                static_cast<long long>(largestGapOurs), static_cast<long long>(largestGapHidden),
                static_cast<long long>(largestGapPlain));

    // The tool runs while the program's window goes on as it does while its own download
    // runs: its event loop turning, its pages drawing. Woken at least every millisecond to
    // look for the tool's exit, which adds up to 1 ms to its figure.
    const auto turnEvents = [] {
        QTimer::singleShot(1, [] {});
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    CurlToolSeconds(plainUrl, plainFile, turnEvents);  // warm-up: the tool's files in the page cache
    PairedRounds toDisk;
    toDisk.AddAlternating(
        rounds, [&] { return 1000 * programPath(true); },
        [&] {
            const double ms = 1000 * CurlToolSeconds(plainUrl, plainFile, turnEvents);
            FlushFileSystemOf(directory.Path());
            return ms;
        });
    toDisk.Print("A lesson of 128 MiB from the click to the whole file on disk, flushed, against curl -s -o into a "
                 "fresh file (not flushed)",
                 "the program, click to flushed and renamed (ms)", "curl -s -o, process start to exit (ms)", "ms",
                 "ratio curl / program", true, ">= 1.0");
    if (wrongFile) std::printf("  WARNING: a cache file did not hold the whole body\n");
    if (MessagesShown()) std::printf("  WARNING: %d message(s) shown during the run\n", MessagesShown());
    std::fflush(stdout);

    label->removeEventFilter(&paints);
    program.program().AttachDisplay(program.display());
    curl_global_cleanup();
    return wrongFile || MessagesShown() ? 1 : 0;
}
