// The longest stall of the UI thread that a write to the store causes while a lesson plays.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" store_bench [writes, default 300]
//
// The real main window with its store on disk (under /tmp) holding the largest history it
// keeps (90 days of use of 500 lessons), and the largest sample lesson chosen from a
// complete cache file, playing. Then, every 50 ms of the event loop (the lesson plays on),
// the parent corner's poll runs with the corner's clocks moved on by 30 s, so that every
// poll writes the history of use and the corner's record, as the program does every 30 s
// of use; each poll is timed on the UI thread: the stall a write causes there. The store's
// own thread commits the writes meanwhile (synchronous=FULL: the disk flushed per commit).
// For information, the same poll when no write is due, timed the same way, the two kinds
// alternating. Printed: the median, p99 and largest of both; the target is the p99.
// Before, for information: the time to open that store as the program does before its
// window shows (open, WAL, quick_check, the corner's record), the median of five; the
// start-up figure with it is startup_bench's.
#include <QApplication>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/parent_corner.h"
#include "bench/bench_figures.h"
#include "bench/gui_bench_support.h"
#include "bench/large_history.h"
#include "core/data_directory.h"
#include "core/files.h"
#include "host/flash_view.h"
#include "lessons/store.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw::bench {
namespace {

// How far the corner's clocks are ahead of the system's.
std::atomic<std::int64_t> aheadMs{0};

CornerClocks ClocksAhead() {
    const CornerClocks system = SystemClocks();
    return {[system] { return system.wall() + Milliseconds{aheadMs.load()}; },
            [system] { return system.monotonic() + Milliseconds{aheadMs.load()}; }};
}

// Prints the median, p99 and largest, in ms; the p99.
double PrintStalls(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const double p99 = ms[std::min(ms.size() - 1, (ms.size() * 99 + 99) / 100 - 1)];
    std::printf("  %-52s median %.3f ms, p99 %.3f ms, largest %.3f ms (%zu)\n", what, ms[ms.size() / 2], p99, ms.back(),
                ms.size());
    return p99;
}

}  // namespace
}  // namespace pw::bench

int main(int argc, char** argv) {
    using namespace pw;
    using namespace pw::bench;
    const int writes = CountArgument(argc, argv, 1, 300, 10);
    GuiBench bench(argc, argv);
    const auto [lesson, body] = LargestSampleLesson();
    bench.server.Serve(lesson.path, {.body = body});

    ScratchDirectory directory;
    const std::string storeFile = directory.File("state/pebblewick.db");
    {
        MakeDirectories(directory.File("state"));
        Store store(storeFile);
        FillWithLargestHistory(store, LocalDayOf(SystemClocks().wall()));
    }
    std::vector<double> opening;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        Store store(storeFile);
        store.LoadCornerRecord();
        opening.push_back(Seconds(Clock::now() - start) * 1000);
    }
    ProgramWindow program(bench.server.HostPort(), directory.Path(), {}, [&](ProgramSetup& setup) {
        setup.storeFile = storeFile;
        setup.clocks = ClocksAhead();
    });
    WriteWholeFile(program.program().FilePath(lesson.cacheName),
                   std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()));
    auto* flash = program.Window().controlAs<FlashView>(names::kFlashView);
    program.program().OnLessonMenuItemClicked(lesson.group, lesson.item);
    if (!WaitForMovieLoaded(*flash, kWaitLimit)) {
        std::fprintf(stderr, "the program's player did not load the lesson\n");
        return 1;
    }
    Store& store = program.program().store();
    const LocalDay firstDay = LocalDayOf(SystemClocks().wall());
    const auto usedSoFar = [&] {
        Milliseconds used{0};
        for (const DayUse& day : store.UseByDay(firstDay, firstDay + 2)) used += day.used;
        return used;
    };
    const Milliseconds usedBefore = usedSoFar();

    ParentCorner& corner = program.program().parentCorner();
    std::vector<double> withWrite, withoutWrite;
    for (int i = 0; i < 2 * writes; ++i) {
        const bool write = i % 2 == 0;
        if (write) aheadMs += 30'000;  // 30 s of use have passed: the history is due
        const auto start = Clock::now();
        corner.CheckSession();
        (write ? withWrite : withoutWrite).push_back(Seconds(Clock::now() - start) * 1000);
        RunEventsUntil([] { return false; }, std::chrono::milliseconds(50));  // the lesson plays on
    }
    store.Flush();
    if (store.LastWriteError() != 0 || usedSoFar() - usedBefore < Milliseconds{30'000} * (writes - 1)) {
        std::fprintf(stderr, "the writes did not reach the store (error %d)\n", store.LastWriteError());
        return 1;
    }
    if (MessagesShown() != 0) return 1;

    std::printf("The UI thread's stall from a store write while a lesson plays (store of 90 days x 500 lessons, on %s)\n",
                directory.Path().c_str());
    std::printf("  load average %.2f\n", LoadAverage());
    const Summary open = Summarise(opening);
    std::printf("  opening that store (information):                    median %.3f ms (%.3f..%.3f)\n", open.median,
                open.min, open.max);
    const double p99 = PrintStalls("the corner's poll writing history and record:", withWrite);
    PrintStalls("the same poll with no write due (information):", withoutWrite);
    std::printf("  target: p99 < 5 ms%s\n", Verdict(p99, "<= 5"));
    return 0;
}
