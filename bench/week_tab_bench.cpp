// "这一周" with a full history: a store holding 90 days of use of 500 lessons (every
// lesson shown every day), the parent corner's window open on "设置", and the time from a
// click on the "这一周" tab until its chart has been painted, read from that store.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" week_tab_bench [rounds, default 15]
//
// The store is a file in a scratch folder under /tmp, filled in one batch before the
// rounds; each round clicks "设置" and then "这一周", so the tab reads the history afresh.
#include <QApplication>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_figures.h"
#include "bench/gui_bench_support.h"
#include "bench/large_history.h"
#include "lessons/store.h"
#include "ui/parent_settings.h"
#include "ui/parent_tabs.h"

namespace pw::bench {
namespace {

int Run(int rounds) {
    const ScratchDirectory folder;
    const WallTime now = std::chrono::duration_cast<WallTime>(std::chrono::system_clock::now().time_since_epoch());
    const LocalDay today = LocalDayOf(now);
    int result = 0;
    {
        Store store(folder.File("pebblewick.db"));
        const auto fillStart = Clock::now();
        FillWithLargestHistory(store, today);
        std::printf("store filled with 90 days of 500 lessons in %.1f s, write error %d\n",
                    std::chrono::duration<double>(Clock::now() - fillStart).count(), store.LastWriteError());

        ParentCornerPages pages;
        pages.week = {&store, [now] { return now; }, [](const Text& cacheName) { return "title of " + cacheName; }};
        ParentSettingsDialog dialog(ParentSettings{}, {}, pages, {});
        dialog.show();
        auto* tabs = dialog.findChild<QTabWidget*>();
        QTabBar* bar = tabs->tabBar();
        QWidget* chart = dialog.findChild<WeekChart*>();
        PaintWatch watch;  // on the chart
        chart->installEventFilter(&watch);
        if (!QTest::qWaitForWindowExposed(&dialog)) std::printf("the window was not shown within 5 s\n");

        std::vector<double> times;
        for (int round = 0; round < rounds; ++round) {
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
            QApplication::processEvents();
            watch.painted = false;
            const auto start = Clock::now();
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
            const auto limit = start + std::chrono::seconds(10);
            while (!watch.painted && Clock::now() < limit) QApplication::processEvents(QEventLoop::AllEvents, 50);
            if (!watch.painted) {
                std::printf("the chart was not painted within 10 s\n");
                result = 1;
                break;
            }
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        if (!times.empty()) {
            const Summary s = Summarise(times);
            std::printf("click on 这一周 to its chart painted: median %.1f ms (min %.1f, max %.1f) over %zu rounds "
                        "[target: within 100 ms]\n",
                        s.median, s.min, s.max, times.size());
        }
    }
    return result;
}

}  // namespace
}  // namespace pw::bench

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return pw::bench::Run(pw::bench::CountArgument(argc, argv, 1, 15));
}
