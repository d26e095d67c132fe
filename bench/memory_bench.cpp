// Memory of the program with a lesson playing, against a bare web view playing the same
// movie in Ruffle. Each side runs in a process of its own, started by this one (the
// driver) from the same binary, sides alternating; the driver serves both over loopback
// from its fixture server, so the server's memory counts for neither.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" memory_bench [rounds, default 7]
//   xvfb-run -a -s "-screen 0 1280x1024x24" memory_bench session [choices, default 250] [ms between, default 1200]
//   xvfb-run -a -s "-screen 0 1280x1024x24" memory_bench oldmovie [rounds, default 5]
//
// Program side: the real main window, built and shown as the GUI tests build it (created
// handler: update check, home page in the web view, idle movie), then the largest sample
// lesson chosen in the lesson menu handler with its cache file complete; once Ruffle has
// loaded it, it plays 3 s before the reading (the median of five over the next 2 s).
// Bare side: one shown QWebEngineView of the Flash view's size with a minimal Ruffle page
// playing the same movie, read the same way, its web engine started with the program's
// flags. A third side, for information: the same bare web view given the program's
// allocator policy too (its own process and its web engine's processes return freed large
// blocks to the system), which any web view program could take: against it, the figure is
// what the program holds beyond the engine's floor.
// The reading covers the process and every descendant (the web engine's zygote, renderer
// and utility processes): its own peak resident size (VmHWM), the sum of the descendants'
// VmHWM (each one's own peak, so the sum is an upper bound of any moment's total and counts
// shared pages once per process), the tree's footprint at the moment of reading (every
// physical page a process of the tree maps, counted once: what the tree holds whatever else
// runs), on which the targets are read, and the sum of Pss over the tree (shared pages
// divided among every process of the machine that maps them, so it drops by tens of MiB
// while another program of the same web engine runs; the sides run at different moments,
// so a difference of Pss sums moves with whatever else ran at each), for information.
//
// The long session: each side chooses two lessons in turn, one choice every interval
// (the program through its lesson menu handler with both cache files complete, the bare
// side with a new player in its loaded page), and the tree's footprint and Pss are read
// after the second choice, every 50 choices and after the last. Printed: the readings, each
// process's resident size at them, and the growth per 100 choices of both sides, and the
// growth of the footprint after the last choice against the target.
//
// The old movie: a version 5 CWS lesson of ~16.8 MB (16 MiB of pictures, one text field
// in GBK, one action block of 30 million one-byte actions), whose text the program
// re-encodes for the player, against the same movie as version 8 (its text in UTF-8),
// which the player gets as it is. The program plays each from a complete cache file, in
// processes of their own, alternating; read: the main process's peak resident size
// (VmHWM) once the movie has played 3 s.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <zlib.h>

#include <filesystem>
#include <random>

#include "bench/bench_figures.h"
#include "bench/gui_bench_support.h"
#include "core/files.h"
#include "core/memory.h"
#include "host/flash_view.h"
#include "tools/swf/swf_writer.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw::bench {
namespace {

constexpr auto kPlaying = std::chrono::seconds(3);

// What kind of web engine process `pid` is ("renderer", "zygote", "utility", "gpu-process"),
// or "main" for the program itself.
std::string ProcessKind(int pid) {
    std::FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/cmdline").c_str(), "rb");
    if (!file) return "gone";
    std::string line(4096, '\0');
    line.resize(std::fread(line.data(), 1, line.size(), file));
    std::fclose(file);
    const auto at = line.find("--type=");
    if (at == std::string::npos) return pid == getpid() ? "main" : "other";
    return line.substr(at + 7, line.find('\0', at) - at - 7);
}

// With PEBBLEWICK_BENCH_SMAPS naming a folder, each process of the tree leaves its
// /proc/PID/smaps there at the reading (named side-PID-kind, the kind main, zygote, utility;
// renderers are forked from the zygote and show as zygote), to see which mappings the
// figures are made of.
void KeepMappings(const char* side) {
    const char* folder = std::getenv("PEBBLEWICK_BENCH_SMAPS");
    if (!folder || !*folder) return;
    for (const int pid : ProcessTree(getpid())) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/smaps", std::ios::binary);
        std::ofstream out(std::string(folder) + "/" + side + "-" + std::to_string(pid) + "-" + ProcessKind(pid),
                          std::ios::binary);
        out << in.rdbuf();
    }
}

constexpr int kSamples = 5;
constexpr auto kSampleGap = std::chrono::milliseconds(500);

// The tree's memory with its footprint and Pss each the median of five readings over two
// seconds while the lesson plays on. A player the renderer has not yet collected, or a
// collection under way, moves a single reading by tens of MiB either way; the median
// measures what the tree keeps. The peaks are those of the last reading.
TreeMemory MeasureTreeSteadily() {
    std::vector<double> pss, footprint;
    TreeMemory memory;
    for (int i = 0; i < kSamples; ++i) {
        if (i > 0) RunEventsUntil([] { return false; }, kSampleGap);
        memory = MeasureTree(getpid());
        pss.push_back(static_cast<double>(memory.totalPssKiB));
        footprint.push_back(static_cast<double>(memory.footprintKiB));
    }
    memory.totalPssKiB = static_cast<long long>(Summarise(pss).median);
    memory.footprintKiB = static_cast<long long>(Summarise(footprint).median);
    return memory;
}

// Each process's resident size (MiB) by kind, so that the memory can be placed: unlike
// its Pss, it does not move with what else runs (the pages of the libraries that all the
// processes map count in each).
std::string ProcessesByKind() {
    std::string detail;
    for (const int pid : ProcessTree(getpid())) {
        const long long rss = StatusKiB(pid, "VmRSS:");
        if (rss < 0) continue;
        char part[96];
        std::snprintf(part, sizeof part, " %s:%.0f", ProcessKind(pid).c_str(), rss / 1024.0);
        detail += part;
    }
    return detail;
}

void PrintReading(const TreeMemory& memory) {
    std::printf("reading %lld %lld %lld %d %lld\nprocesses%s\n", memory.ownPeakKiB, memory.childrenPeakKiB,
                memory.totalPssKiB, memory.processes, memory.footprintKiB, ProcessesByKind().c_str());
    std::fflush(stdout);
}

int ProgramSide(int argc, char** argv, const std::string& hostPort) {
    PrepareApplication(argc, argv);
    QApplication app(argc, argv);
    const SampleLesson lesson = LargestSampleLesson();
    ScratchDirectory directory;
    ProgramWindow program(hostPort, directory.Path());
    WriteWholeFile(program.program().FilePath(lesson.entry.cacheName),
                   std::span(reinterpret_cast<const std::uint8_t*>(lesson.body.data()), lesson.body.size()));
    auto* flash = program.Window().controlAs<FlashView>(names::kFlashView);
    program.program().OnLessonMenuItemClicked(lesson.entry.group, lesson.entry.item);
    if (!WaitForMovieLoaded(*flash, kWaitLimit)) return 1;
    RunEventsUntil([] { return false; }, kPlaying);
    PrintReading(MeasureTreeSteadily());
    KeepMappings("program");
    return MessagesShown() ? 1 : 0;
}

// The program playing the movie in `moviePath` as the largest sample lesson's complete
// cache file; prints its reading. The file is copied, never read into this process.
int ProgramMovieSide(int argc, char** argv, const std::string& hostPort, const std::string& moviePath) {
    PrepareApplication(argc, argv);
    QApplication app(argc, argv);
    const SampleLesson lesson = LargestSampleLesson();
    ScratchDirectory directory;
    ProgramWindow program(hostPort, directory.Path());
    std::error_code error;
    std::filesystem::copy_file(moviePath, program.program().FilePath(lesson.entry.cacheName), error);
    if (error) return 1;
    auto* flash = program.Window().controlAs<FlashView>(names::kFlashView);
    program.program().OnLessonMenuItemClicked(lesson.entry.group, lesson.entry.item);
    if (!WaitForMovieLoaded(*flash, kWaitLimit)) return 1;
    RunEventsUntil([] { return false; }, kPlaying);
    PrintReading(MeasureTreeSteadily());
    return MessagesShown() ? 1 : 0;
}

// The old lesson of the figure, as `version`, compressed (CWS): 16 MiB of pictures that
// do not compress (16 lossless bitmaps of 512 x 512 noise, never placed), a text field
// with "小朋友" (GBK up to version 5, UTF-8 after), and one action block of 30 million
// one-byte actions (Stop) on the first frame.
std::vector<std::uint8_t> OldLessonMovie(int version) {
    using namespace pw::swf;
    Movie movie(version, {0, 550 * 20, 0, 400 * 20}, 12);
    movie.Add(SetBackgroundColorTag({255, 255, 255}));
    std::mt19937 noise(2026);
    constexpr int kSide = 512;
    for (std::uint16_t id = 1; id <= 16; ++id) {
        std::vector<std::uint8_t> pixels(std::size_t{kSide} * kSide * 4);
        for (auto& byte : pixels) byte = static_cast<std::uint8_t>(noise());
        uLongf packedSize = compressBound(pixels.size());
        std::vector<std::uint8_t> packed(packedSize);
        compress2(packed.data(), &packedSize, pixels.data(), pixels.size(), 0);  // stored: noise does not shrink
        BitWriter bitmap;
        bitmap.U16(id);
        bitmap.U8(5);  // 32-bit ARGB
        bitmap.U16(kSide);
        bitmap.U16(kSide);
        bitmap.Append(std::vector<std::uint8_t>(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packedSize)));
        movie.Add({36, bitmap.Finish()});  // DefineBitsLossless2
    }
    const std::string text = version <= 5 ? FromUtf8("小朋友") : std::string("小朋友");
    movie.Add(DeviceFontTag(100, "_sans"));
    EditText field;
    field.bounds = {0, 400 * 20, 0, 80 * 20};
    field.fontId = 100;
    field.fontHeight = 48 * 20;
    field.color = {0, 0, 0, 255};
    field.text = text;
    movie.Add(DefineEditTextTag(101, field));
    Placement place;
    place.characterId = 101;
    place.depth = 1;
    place.hasMatrix = true;
    place.matrix = Matrix::Translate(40 * 20, 100 * 20);
    movie.Add(PlaceObject2Tag(place));
    std::vector<std::uint8_t> actions(30'000'000, 0x07);  // ActionStop
    actions.push_back(0);                                  // end of the block
    movie.Add({code::DoAction, std::move(actions)});
    movie.ShowFrame();
    std::vector<std::uint8_t> plain = movie.Finish();
    uLongf packedSize = compressBound(plain.size() - 8);
    std::vector<std::uint8_t> cws(8 + packedSize);
    std::copy_n(plain.begin(), 8, cws.begin());
    cws[0] = 'C';
    compress2(cws.data() + 8, &packedSize, plain.data() + 8, plain.size() - 8, 1);
    cws.resize(8 + packedSize);
    return cws;
}

// The tree's footprint and Pss, and each process's resident size by kind, so that growth
// can be placed (with PEBBLEWICK_BENCH_SMAPS, each process's mappings too).
void PrintSessionReading(const char* side, int choice) {
    const std::string detail = ProcessesByKind();
    KeepMappings((side + std::string("-c") + std::to_string(choice)).c_str());
    // A replaced player is garbage until the renderer collects it (some 60 MiB either way).
    const TreeMemory memory = MeasureTreeSteadily();
    std::printf("session %d %lld %lld\nprocesses %d%s\n", choice, memory.footprintKiB, memory.totalPssKiB, choice,
                detail.c_str());
    std::fflush(stdout);
}

bool ShouldReadAfter(int choice, int choices) {
    return choice == 2 || choice % 50 == 0 || choice == choices;
}

int ProgramSession(int argc, char** argv, const std::string& hostPort, int choices, int intervalMs) {
    PrepareApplication(argc, argv);
    QApplication app(argc, argv);
    const SampleLesson first = LargestSampleLesson();
    const SampleLesson second = OtherSampleLesson(first.entry);
    ScratchDirectory directory;
    ProgramWindow program(hostPort, directory.Path());
    for (const SampleLesson* lesson : {&first, &second})
        WriteWholeFile(program.program().FilePath(lesson->entry.cacheName),
                       std::span(reinterpret_cast<const std::uint8_t*>(lesson->body.data()), lesson->body.size()));
    auto* flash = program.Window().controlAs<FlashView>(names::kFlashView);
    for (int choice = 1; choice <= choices; ++choice) {
        const auto due = Clock::now() + std::chrono::milliseconds(intervalMs);
        const LessonEntry& entry = (choice % 2 ? first : second).entry;
        program.program().OnLessonMenuItemClicked(entry.group, entry.item);
        if (!WaitForMovieLoaded(*flash, kWaitLimit)) {
            std::fprintf(stderr, "choice %d: the lesson was not loaded within %lld s\n", choice,
                         static_cast<long long>(kWaitLimit.count()));
            return 1;
        }
        RunEventsUntil([&] { return Clock::now() >= due; }, std::chrono::milliseconds(intervalMs));
        if (ShouldReadAfter(choice, choices)) PrintSessionReading("program", choice);
    }
    return MessagesShown() ? 1 : 0;
}

int BareSession(int argc, char** argv, const std::string& hostPort, int choices, int intervalMs) {
    LetPlayerPagesCollectGarbage(argc, argv);  // the program's engine flags (the bare page calls no gc())
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QWebEngineView view;
    view.page()->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    view.resize(std::atoi(argv[3]), std::atoi(argv[4]));
    view.show();
    view.load(QUrl(BarePageUrl("http://" + hostPort, QString(), QString())));
    if (!RunEventsUntil([&] { return !view.page()->isLoading() && view.url().isValid(); }, kWaitLimit)) return 1;
    for (int choice = 1; choice <= choices; ++choice) {
        const auto due = Clock::now() + std::chrono::milliseconds(intervalMs);
        const QString token = QStringLiteral("c%1").arg(choice);
        const QString movie = choice % 2 ? QStringLiteral("/movie.swf") : QStringLiteral("/other.swf");
        view.page()->runJavaScript(QStringLiteral("benchPlay('%1', '%2')").arg(movie, token));
        if (!WaitForLoadedTitle(view, token, kWaitLimit)) return 1;
        RunEventsUntil([&] { return Clock::now() >= due; }, std::chrono::milliseconds(intervalMs));
        if (ShouldReadAfter(choice, choices)) PrintSessionReading("bare", choice);
    }
    return 0;
}

// The bare side runs its web engine with the program's flags (its page calls no gc()).
// With `allocatorPolicy`, it takes the program's allocator policy too (its own process's
// and its web engine processes'), for a figure that leaves that policy out.
int BareSide(int argc, char** argv, const std::string& hostPort, bool allocatorPolicy) {
    LetPlayerPagesCollectGarbage(argc, argv);
    if (allocatorPolicy) {
        ReturnLargeBlocksWhenFreed();
        ReturnLargeBlocksWhenFreedInChildProcesses();
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // The size of the program's Flash view, without building the program's window.
    QWebEngineView view;
    view.page()->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    view.resize(std::atoi(argv[3]), std::atoi(argv[4]));
    view.show();
    view.load(QUrl(BarePageUrl("http://" + hostPort, QStringLiteral("/movie.swf"), QStringLiteral("m"))));
    if (!WaitForLoadedTitle(view, QStringLiteral("m"), kWaitLimit)) return 1;
    RunEventsUntil([] { return false; }, kPlaying);
    PrintReading(MeasureTreeSteadily());
    KeepMappings(allocatorPolicy ? "bare-policy" : "bare");
    return 0;
}

// Runs this binary with `args`; what it printed, or nothing when it failed.
std::optional<std::string> RunSideOutput(const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0) return std::nullopt;
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string output;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    kill(-pid, SIGKILL);  // web engine helpers that outlived it
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return output;
}

// What one side printed: its reading, and its processes' Pss by kind.
struct SideReading {
    TreeMemory memory;
    std::string processes;
};

// Runs this binary with `args`; its reading, or nothing when it failed.
std::optional<SideReading> RunSide(const std::vector<std::string>& args) {
    const std::optional<std::string> output = RunSideOutput(args);
    if (!output) return std::nullopt;
    SideReading reading;
    TreeMemory& memory = reading.memory;
    const auto at = output->find("reading ");
    if (at == std::string::npos) return std::nullopt;
    if (std::sscanf(output->c_str() + at, "reading %lld %lld %lld %d %lld", &memory.ownPeakKiB,
                    &memory.childrenPeakKiB, &memory.totalPssKiB, &memory.processes, &memory.footprintKiB) != 5)
        return std::nullopt;
    const auto processes = output->find("processes", at);
    if (processes != std::string::npos)
        reading.processes = output->substr(processes + 9, output->find('\n', processes) - processes - 9);
    return reading;
}

// The session readings a side printed, by choice: the footprint and Pss in MiB.
struct SessionReading {
    int choice = 0;
    double footprint = 0;
    double pss = 0;
};
std::vector<SessionReading> SessionReadings(const std::string& output) {
    std::vector<SessionReading> readings;
    std::size_t at = 0;
    while ((at = output.find("session ", at)) != std::string::npos) {
        int choice = 0;
        long long footprint = 0, pss = 0;
        if (std::sscanf(output.c_str() + at, "session %d %lld %lld", &choice, &footprint, &pss) == 3)
            readings.push_back({choice, footprint / 1024.0, pss / 1024.0});
        at += 8;
    }
    return readings;
}

// The figure the targets are read on: the tree's footprint, or its Pss where the footprint
// cannot be read (not root).
const char* kFootprintName = "footprint (distinct resident pages)";
const char* kPssName = "sum of Pss";

}  // namespace
}  // namespace pw::bench

int main(int argc, char** argv) {
    using namespace pw;
    using namespace pw::bench;
    if (argc > 2 && std::strcmp(argv[1], "--program") == 0) return ProgramSide(argc, argv, argv[2]);
    if (argc > 4 && std::strcmp(argv[1], "--bare") == 0) return BareSide(argc, argv, argv[2], false);
    if (argc > 4 && std::strcmp(argv[1], "--bare-policy") == 0) return BareSide(argc, argv, argv[2], true);
    if (argc > 4 && std::strcmp(argv[1], "--program-session") == 0)
        return ProgramSession(argc, argv, argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (argc > 6 && std::strcmp(argv[1], "--bare-session") == 0)
        return BareSession(argc, argv, argv[2], std::atoi(argv[5]), std::atoi(argv[6]));
    if (argc > 3 && std::strcmp(argv[1], "--program-movie") == 0) return ProgramMovieSide(argc, argv, argv[2], argv[3]);
    const bool oldMovie = argc > 1 && std::strcmp(argv[1], "oldmovie") == 0;
    const bool session = argc > 1 && std::strcmp(argv[1], "session") == 0;
    const int choices = session ? CountArgument(argc, argv, 2, 250, 2) : 250;
    const int intervalMs = session ? CountArgument(argc, argv, 3, 1200) : 1200;
    const int rounds = oldMovie ? CountArgument(argc, argv, 2, 5) : CountArgument(argc, argv, 1, 7);
    QCoreApplication driver(argc, argv);  // the Ruffle files are found from the executable's folder

    testing::FixtureServer server;
    ServeQuietSite(server);
    if (!ServeBareRufflePage(server)) {
        std::fprintf(stderr, "the build's ruffle/ folder is missing (npm ci, then build)\n");
        return 1;
    }
    const SampleLesson lesson = LargestSampleLesson();
    server.Serve(lesson.entry.path, {.body = lesson.body});
    server.Serve("/movie.swf", {.body = lesson.body});
    const SampleLesson other = OtherSampleLesson(lesson.entry);
    server.Serve(other.entry.path, {.body = other.body});
    server.Serve("/other.swf", {.body = other.body});
    // The Flash view's size in the main window's description.
    int width = 0, height = 0;
    for (const auto& control : MainWindowDescription().controls)
        if (std::strcmp(control.name, names::kFlashView) == 0) {
            width = control.width;
            height = control.height;
        }

    if (oldMovie) {
        ScratchDirectory movies;
        const std::string old = movies.File("old.swf"), twin = movies.File("twin.swf");
        const auto oldBytes = OldLessonMovie(5), twinBytes = OldLessonMovie(8);
        if (!WriteWholeFile(old, oldBytes) || !WriteWholeFile(twin, twinBytes)) return 1;
        PairedRounds peak, treePss;
        for (int i = 0; i < rounds; ++i) {
            std::optional<SideReading> a, b;
            const std::vector<std::string> oldArgs{argv[0], "--program-movie", server.HostPort(), old};
            const std::vector<std::string> twinArgs{argv[0], "--program-movie", server.HostPort(), twin};
            // The lesson's address serves the movie played, so that its size probe finds the
            // cache file complete.
            const auto runOld = [&] {
                server.Serve(lesson.entry.path, {.body = std::string(oldBytes.begin(), oldBytes.end())});
                a = RunSide(oldArgs);
            };
            const auto runTwin = [&] {
                server.Serve(lesson.entry.path, {.body = std::string(twinBytes.begin(), twinBytes.end())});
                b = RunSide(twinArgs);
            };
            if (i % 2 == 0) {
                runOld();
                runTwin();
            } else {
                runTwin();
                runOld();
            }
            if (!a || !b) {
                std::fprintf(stderr, "the %s movie's side failed\n", a ? "version 8" : "version 5");
                return 1;
            }
            peak.Add(a->memory.ownPeakKiB / 1024.0, b->memory.ownPeakKiB / 1024.0);
            treePss.Add(a->memory.totalPssKiB / 1024.0, b->memory.totalPssKiB / 1024.0);
        }
        std::printf("An old lesson whose text is re-encoded: version 5 CWS (%zu bytes) against its version 8 twin "
                    "(%zu bytes)\n",
                    oldBytes.size(), twinBytes.size());
        peak.Print("Peak resident size of the main process (VmHWM)", "version 5 (MiB)", "version 8 (MiB)", "MiB",
                   "ratio version 5 / version 8", false, "<= 1.2");
        peak.PrintEach("each round, version 5/version 8 (MiB):");
        treePss.Print("Sum of Pss over the process tree (information)", "version 5 (MiB)", "version 8 (MiB)", "MiB",
                      "ratio version 5 / version 8", false, "none");
        return 0;
    }

    if (session) {
        const std::string n = std::to_string(choices), ms = std::to_string(intervalMs);
        // The program first, then the bare page: each side alone on the machine.
        const auto ours = RunSideOutput({argv[0], "--program-session", server.HostPort(), n, ms});
        const auto bare = RunSideOutput(
            {argv[0], "--bare-session", server.HostPort(), std::to_string(width), std::to_string(height), n, ms});
        if (!ours || !bare) {
            std::fprintf(stderr, "the %s side failed\n", ours ? "bare" : "program's");
            return 1;
        }
        std::printf("Long session: two lessons (%zu and %zu bytes) chosen in turn, one choice every %d ms, %d choices "
                    "(load average %.2f)\n",
                    lesson.body.size(), other.body.size(), intervalMs, choices, LoadAverage());
        for (const auto& [name, output] : {std::pair{"program", *ours}, std::pair{"bare page", *bare}}) {
            const auto readings = SessionReadings(output);
            if (readings.size() < 2) return 1;
            for (std::size_t at = 0; (at = output.find("processes ", at)) != std::string::npos; at += 10)
                std::printf("  %-10s resident size (MiB) by process after choice %s\n", name,
                            output.substr(at + 10, output.find('\n', at) - at - 10).c_str());
            const bool hasFootprint = readings.front().footprint >= 0 && readings.back().footprint >= 0;
            for (const bool footprint : {false, true}) {
                if (footprint && !hasFootprint) continue;
                std::printf("  %-10s %s (MiB) after choice", name, footprint ? kFootprintName : kPssName);
                for (const SessionReading& reading : readings)
                    std::printf("  %d: %.1f", reading.choice, footprint ? reading.footprint : reading.pss);
                std::printf("\n");
            }
            const SessionReading &first = readings.front(), &last = readings.back();
            const double growth = hasFootprint ? last.footprint - first.footprint : last.pss - first.pss;
            const bool isProgram = std::strcmp(name, "program") == 0;
            std::printf("  %-10s growth of the %s after choice %d: %.1f MiB, %.1f MiB per 100 choices%s%s\n", name,
                        hasFootprint ? kFootprintName : kPssName, first.choice, growth,
                        growth * 100.0 / (last.choice - first.choice),
                        isProgram ? " (target: <= 20 MiB after 250 choices)" : "",
                        isProgram && last.choice >= 250 ? Verdict(growth, "<= 20") : "");
        }
        return 0;
    }

    const std::vector<std::string> programArgs{argv[0], "--program", server.HostPort()};
    const std::vector<std::string> bareArgs{argv[0], "--bare", server.HostPort(), std::to_string(width),
                                            std::to_string(height)};
    std::vector<std::string> barePolicyArgs = bareArgs;
    barePolicyArgs[1] = "--bare-policy";
    PairedRounds footprint, pss, policyFootprint, policyPss, ownPeak, childrenPeak;
    int programProcesses = 0, bareProcesses = 0;
    bool hasFootprint = true;
    std::vector<std::string> byProcess;
    for (int i = 0; i < rounds; ++i) {
        std::optional<SideReading> a, b, c;
        // The three sides in turn, each round starting one further on.
        const std::function<void()> sides[] = {[&] { a = RunSide(programArgs); }, [&] { b = RunSide(bareArgs); },
                                               [&] { c = RunSide(barePolicyArgs); }};
        for (int side = 0; side < 3; ++side) sides[(i + side) % 3]();
        if (!a || !b || !c) {
            std::fprintf(stderr, "the %s side failed\n", !a ? "program's" : !b ? "bare" : "bare with the policy");
            return 1;
        }
        constexpr double kMiB = 1024.0;
        const TreeMemory &ours = a->memory, &bare = b->memory, &barePolicy = c->memory;
        hasFootprint = hasFootprint && ours.footprintKiB >= 0 && bare.footprintKiB >= 0 && barePolicy.footprintKiB >= 0;
        footprint.Add(ours.footprintKiB / kMiB, bare.footprintKiB / kMiB);
        policyFootprint.Add(ours.footprintKiB / kMiB, barePolicy.footprintKiB / kMiB);
        pss.Add(ours.totalPssKiB / kMiB, bare.totalPssKiB / kMiB);
        policyPss.Add(ours.totalPssKiB / kMiB, barePolicy.totalPssKiB / kMiB);
        ownPeak.Add(ours.ownPeakKiB / kMiB, bare.ownPeakKiB / kMiB);
        childrenPeak.Add(ours.childrenPeakKiB / kMiB, bare.childrenPeakKiB / kMiB);
        programProcesses = ours.processes;
        bareProcesses = bare.processes;
        byProcess.push_back("program" + a->processes + " | bare" + b->processes + " | bare, policy" + c->processes);
    }
    std::printf("Memory with a lesson playing (%zu bytes, 3 s after loading, the median of 5 readings over 2 s); "
                "processes: program %d, bare %d\n",
                lesson.body.size(), programProcesses, bareProcesses);
    const auto printTree = [](const PairedRounds& sides, const char* title, bool target) {
        sides.Print(title, "program (MiB)", "bare web view (MiB)", "MiB", "ratio program / bare", false, "none given");
        sides.PrintEach("each round, program/bare (MiB):");
        const Summary extra = sides.DifferenceSummary();
        std::printf("  %-52s median %9.3f MiB  (min %.3f, max %.3f)  target %s%s\n", "difference program - bare (MiB)",
                    extra.median, extra.min, extra.max, target ? "<= 0" : "none (information)",
                    target ? Verdict(extra.median, "<= 0") : "");
    };
    if (hasFootprint) printTree(footprint, "Footprint of the process tree (distinct resident pages)", true);
    printTree(pss, "Sum of Pss over the process tree", !hasFootprint);
    // The program returns freed large blocks to the system in all its processes; a bare web
    // view given the same policy shows what the program holds beyond the engine's floor.
    printTree(hasFootprint ? policyFootprint : policyPss,
              hasFootprint ? "Footprint, against a bare web view with the program's allocator policy"
                           : "Sum of Pss, against a bare web view with the program's allocator policy",
              false);
    std::printf("  Resident size by process, each round (MiB; renderers show as zygote):\n");
    for (const std::string& line : byProcess) std::printf("    %s\n", line.c_str());
    ownPeak.Print("Peak resident size of the main process (VmHWM)", "program (MiB)", "bare web view (MiB)", "MiB",
                  "ratio program / bare", false, "none given");
    childrenPeak.Print("Sum of the web engine processes' VmHWM", "program (MiB)", "bare web view (MiB)", "MiB",
                       "ratio program / bare", false, "none given");
    return 0;
}
