// Memory of the program with a lesson playing, against a bare web view playing the same
// movie in Ruffle. Each side runs in a process of its own, started by this one (the
// driver) from the same binary, sides alternating; the driver serves both over loopback
// from its fixture server, so the server's memory counts for neither.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" memory_bench [rounds, default 5]
//
// Program side: the real main window, built and shown as the GUI tests build it (created
// handler: update check, home page in the web view, idle movie), then the largest sample
// lesson chosen in the lesson menu handler with its cache file complete; once Ruffle has
// loaded it, it plays 3 s before the reading.
// Bare side: one shown QWebEngineView of the Flash view's size with a minimal Ruffle page
// playing the same movie, read after the same 3 s.
// The reading covers the process and every descendant (the web engine's zygote, renderer
// and utility processes): its own peak resident size (VmHWM), the sum of the descendants'
// VmHWM (each one's own peak, so the sum is an upper bound of any moment's total and counts
// shared pages once per process), and the sum of Pss over the whole tree at the moment of
// reading (shared pages divided among their users: the tree's real footprint then).
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
#include <string>

#include "bench/bench_figures.h"
#include "bench/gui_bench_support.h"
#include "core/files.h"
#include "host/flash_view.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw::bench {
namespace {

constexpr auto kLimit = std::chrono::seconds(60);
constexpr auto kPlaying = std::chrono::seconds(3);

void PrintReading(const TreeMemory& memory) {
    std::printf("reading %lld %lld %lld %d\n", memory.ownPeakKiB, memory.childrenPeakKiB, memory.totalPssKiB,
                memory.processes);
    std::fflush(stdout);
}

int ProgramSide(int argc, char** argv, const std::string& hostPort) {
    PrepareApplication();
    QApplication app(argc, argv);
    const SampleLesson lesson = LargestSampleLesson();
    ScratchDirectory directory;
    ProgramWindow program(hostPort, directory.Path());
    WriteWholeFile(program.program().FilePath(lesson.entry.cacheName),
                   std::span(reinterpret_cast<const std::uint8_t*>(lesson.body.data()), lesson.body.size()));
    auto* flash = program.Window().controlAs<FlashView>(names::kFlashView);
    program.program().OnLessonMenuItemClicked(lesson.entry.group, lesson.entry.item);
    if (!WaitForMovieLoaded(*flash, kLimit)) return 1;
    RunEventsUntil([] { return false; }, kPlaying);
    PrintReading(MeasureTree(getpid()));
    return MessagesShown() ? 1 : 0;
}

int BareSide(int argc, char** argv, const std::string& hostPort) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // The size of the program's Flash view, without building the program's window.
    QWebEngineView view;
    view.page()->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    view.resize(std::atoi(argv[3]), std::atoi(argv[4]));
    view.show();
    view.load(QUrl(BarePageUrl("http://" + hostPort, QStringLiteral("/movie.swf"), QStringLiteral("m"))));
    if (!WaitForLoadedTitle(view, QStringLiteral("m"), kLimit)) return 1;
    RunEventsUntil([] { return false; }, kPlaying);
    PrintReading(MeasureTree(getpid()));
    return 0;
}

// Runs this binary with `args`; its reading, or nothing when it failed.
std::optional<TreeMemory> RunSide(const std::vector<std::string>& args) {
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
    TreeMemory memory;
    const auto at = output.find("reading ");
    if (at == std::string::npos || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    if (std::sscanf(output.c_str() + at, "reading %lld %lld %lld %d", &memory.ownPeakKiB, &memory.childrenPeakKiB,
                    &memory.totalPssKiB, &memory.processes) != 4)
        return std::nullopt;
    return memory;
}

}  // namespace
}  // namespace pw::bench

int main(int argc, char** argv) {
    using namespace pw;
    using namespace pw::bench;
    if (argc > 2 && std::strcmp(argv[1], "--program") == 0) return ProgramSide(argc, argv, argv[2]);
    if (argc > 4 && std::strcmp(argv[1], "--bare") == 0) return BareSide(argc, argv, argv[2]);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
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
    // The Flash view's size in the main window's description.
    int width = 0, height = 0;
    for (const auto& control : MainWindowDescription().controls)
        if (std::strcmp(control.name, names::kFlashView) == 0) {
            width = control.width;
            height = control.height;
        }

    const std::vector<std::string> programArgs{argv[0], "--program", server.HostPort()};
    const std::vector<std::string> bareArgs{argv[0], "--bare", server.HostPort(), std::to_string(width),
                                            std::to_string(height)};
    PairedRounds pss, ownPeak, childrenPeak;
    int programProcesses = 0, bareProcesses = 0;
    for (int i = 0; i < rounds; ++i) {
        std::optional<TreeMemory> a, b;
        if (i % 2 == 0) {
            a = RunSide(programArgs);
            b = RunSide(bareArgs);
        } else {
            b = RunSide(bareArgs);
            a = RunSide(programArgs);
        }
        if (!a || !b) {
            std::fprintf(stderr, "the %s side failed\n", a ? "bare" : "program's");
            return 1;
        }
        constexpr double kMiB = 1024.0;
        pss.Add(a->totalPssKiB / kMiB, b->totalPssKiB / kMiB);
        ownPeak.Add(a->ownPeakKiB / kMiB, b->ownPeakKiB / kMiB);
        childrenPeak.Add(a->childrenPeakKiB / kMiB, b->childrenPeakKiB / kMiB);
        programProcesses = a->processes;
        bareProcesses = b->processes;
    }
    std::printf("Memory with a lesson playing (%zu bytes, 3 s after loading); processes: program %d, bare %d\n",
                lesson.body.size(), programProcesses, bareProcesses);
    pss.Print("Sum of Pss over the process tree", "program (MiB)", "bare web view (MiB)", "MiB", "ratio program / bare",
              false, "none given");
    ownPeak.Print("Peak resident size of the main process (VmHWM)", "program (MiB)", "bare web view (MiB)", "MiB",
                  "ratio program / bare", false, "none given");
    childrenPeak.Print("Sum of the web engine processes' VmHWM", "program (MiB)", "bare web view (MiB)", "MiB",
                       "ratio program / bare", false, "none given");
    return 0;
}
