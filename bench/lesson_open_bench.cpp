// Time from choosing a lesson whose cache file is complete to its movie loaded in the
// program's Flash player, against Ruffle loading the same file in a bare web view page.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" lesson_open_bench [rounds, default 9] [500 | mirrors]
//
// With "500" the program has kept a signed catalogue of 500 lessons, and the lesson is the
// last of them, judged by its size and hash (no request) instead of two HEAD requests.
// "mirrors" is the same catalogue listing 8 mirrors for each lesson server.
//
// The program's way: the lesson menu handler in the shown main window (two size probes
// by HEAD to the loopback fixture server, the cache file found complete, the playing
// view, a new Ruffle player in the already loaded player page), timed until
// FlashView::movieLoaded. Between rounds the player is emptied, so no movie plays while
// the other way is timed.
// The baseline: a bare QWebEngineView of the same size loading a minimal page of ours that
// embeds the same Ruffle files (the build's ruffle/ folder) and the same movie, all served
// over HTTP by the same loopback fixture server; timed from load() until Ruffle's
// loadedmetadata event reaches the view through the page title, as in the program's page.
// Between rounds it is emptied as well.
// The fair baseline, printed first: the same bare page already loaded in its own view,
// where a new Ruffle player is made for the movie (the program's player page is loaded
// once and makes a new player per movie too), timed from the call until loadedmetadata.
// Beside it, for information, the same bare page told to try Ruffle's canvas renderer
// first, as the program's page does where the engine has no GPU.
// Last: lessons that open in a fresh player page, as one in every 20 does, that page
// loaded ahead during the pause before the choice, against the median of the others (the
// target) and, for information, against the bare page loaded for the movie.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_figures.h"
#include "bench/gui_bench_support.h"
#include "bench/large_catalogue.h"
#include "core/files.h"
#include "host/flash_view.h"
#include "lessons/catalogue.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw::bench {
namespace {

// Between two lessons a child watches for a while; the fresh page loads meanwhile.
constexpr int kChildsPauseMs = 6000;

}  // namespace
}  // namespace pw::bench

int main(int argc, char** argv) {
    using namespace pw;
    using namespace pw::bench;
    const int rounds = CountArgument(argc, argv, 1, 9);
    const std::string mode = argc > 2 ? argv[2] : "";
    const bool withMirrors = mode == "mirrors", largeCatalogue = mode == "500" || withMirrors;
    GuiBench bench(argc, argv);
    testing::FixtureServer& server = bench.server;
    if (!ServeBareRufflePage(server)) {
        std::fprintf(stderr, "the build's ruffle/ folder is missing (npm ci, then build)\n");
        return 1;
    }
    const auto [lesson, body] = LargestSampleLesson();
    server.Serve(lesson.path, {.body = body});
    server.Serve("/movie.swf", {.body = body});

    ScratchDirectory directory;
    // The lesson as the menu offers it: in the built-in catalogue, or the last of 500.
    int group = lesson.group, item = lesson.item;
    std::string catalogueKey;
    if (largeCatalogue) {
        const LessonRow* row = nullptr;
        for (const LessonRow& r : LessonCatalogue())
            if (r.group == lesson.group && r.item == lesson.item) row = &r;
        const std::string cache = lesson.cacheName.substr(0, lesson.cacheName.size() - 4);  // without ".ylq"
        const LargeCatalogue catalogue = MakeLargeCatalogue({row->title, row->path, cache, body}, 1, {}, withMirrors);
        if (!KeepCatalogue(directory.Path(), catalogue)) return 1;
        group = catalogue.group;
        item = catalogue.item;
        catalogueKey = catalogue.publicKey;
    }
    ProgramWindow program(server.HostPort(), directory.Path(), catalogueKey);
    if (largeCatalogue && program.program().catalogue().lessons.size() != 500) {
        std::fprintf(stderr, "the program did not take the catalogue of 500 lessons\n");
        return 1;
    }
    WriteWholeFile(program.program().FilePath(lesson.cacheName),
                   std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()));
    auto* flash = program.Window().controlAs<FlashView>(names::kFlashView);
    const QString missingMovie = QString::fromStdString(directory.File("no-movie.swf"));

    QWebEngineView bare, warm;
    for (QWebEngineView* view : {&bare, &warm}) {
        view->page()->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
        view->resize(flash->size());
        view->show();
    }
    warm.load(QUrl(BarePageUrl(server.BaseUrl(), QString(), QString())));
    if (!RunEventsUntil([&] { return !warm.page()->isLoading() && warm.url().isValid(); }, kWaitLimit)) {
        std::fprintf(stderr, "the bare page did not load\n");
        return 1;
    }
    QObject::connect(bare.page(), &QWebEnginePage::loadingChanged, [](const QWebEngineLoadingInfo& info) {
        if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus)
            std::fprintf(stderr, "bare page failed to load: %s: %s (%d)\n", qPrintable(info.url().toString()),
                         qPrintable(info.errorString()), info.errorCode());
    });

    int round = 0;
    auto ours = [&]() -> double {
        const auto start = Clock::now();
        program.program().OnLessonMenuItemClicked(group, item);
        const auto loaded = WaitForMovieLoaded(*flash, kWaitLimit);
        if (!loaded) {
            std::fprintf(stderr, "the program's player did not load the lesson\n");
            std::exit(1);
        }
        flash->SetMovie(missingMovie);  // empties the player
        return Seconds(*loaded - start) * 1000;
    };
    auto baseline = [&]() -> double {
        const QString token = QStringLiteral("r%1").arg(++round);
        const auto start = Clock::now();
        bare.load(QUrl(BarePageUrl(server.BaseUrl(), QStringLiteral("/movie.swf"), token)));
        const auto loaded = WaitForLoadedTitle(bare, token, kWaitLimit);
        if (!loaded) {
            std::fprintf(stderr, "the bare page did not load the movie\n");
            std::exit(1);
        }
        bare.setHtml(QString());
        return Seconds(*loaded - start) * 1000;
    };

    // `renderer`: the one Ruffle is to try first, else none.
    auto warmBaseline = [&](const QString& renderer) -> double {
        const QString token = QStringLiteral("w%1").arg(++round);
        const auto start = Clock::now();
        warm.page()->runJavaScript(QStringLiteral("benchPlay('/movie.swf', '%1', '%2')").arg(token, renderer));
        const auto loaded = WaitForLoadedTitle(warm, token, kWaitLimit);
        if (!loaded) {
            std::fprintf(stderr, "the loaded bare page did not load the movie\n");
            std::exit(1);
        }
        warm.page()->runJavaScript(QStringLiteral("benchClear()"));
        return Seconds(*loaded - start) * 1000;
    };

    // Warm-up: the player page, Ruffle's files and the engine's caches, for all three.
    ours();
    baseline();
    warmBaseline(QString());
    warmBaseline(QStringLiteral("canvas"));
    PairedRounds figures, warmFigures, canvasFigures;
    std::vector<double> others;  // the program's lessons in the page in use
    for (int i = 0; i < rounds; ++i) {
        // The order turns every round, so a drift of the machine's load hits all alike.
        double a = 0, b = 0, c = 0, d = 0;
        const std::function<void()> ways[] = {
            [&] { a = ours(); },
            [&] { b = baseline(); },
            [&] { c = warmBaseline(QString()); },
            [&] { d = warmBaseline(QStringLiteral("canvas")); },
        };
        for (std::size_t k = 0; k < std::size(ways); ++k) ways[(static_cast<std::size_t>(i) + k) % std::size(ways)]();
        figures.Add(a, b);
        others.push_back(a);
        warmFigures.Add(a, c);
        canvasFigures.Add(a, d);
        RunEventsUntil([] { return false; }, std::chrono::milliseconds(200));  // let them settle
    }

    // Every so many lessons the player moves to a fresh page (FlashView::SetPlayersPerPage).
    // That page is loaded ahead, at idle once the page in use has made its last player: here
    // every lesson opens in a fresh page, chosen after a child's pause, and is measured
    // against the median of the lessons above, which open in the page in use.
    flash->SetPlayersPerPage(1);
    const auto idle = [] { RunEventsUntil([] { return false; }, std::chrono::milliseconds(kChildsPauseMs)); };
    ours();
    idle();
    PairedRounds freshPage;
    std::vector<double> freshTimes;
    const auto oursInFreshPage = [&] {
        const double ms = ours();
        freshTimes.push_back(ms);
        idle();  // the old page goes; the next one loads
        return ms;
    };
    freshPage.AddAlternating(std::max(3, rounds / 3), oursInFreshPage, baseline);
    std::printf("Lesson movie: %s, %zu bytes; catalogue: %s\n", ToUtf8(lesson.cacheName).c_str(), body.size(),
                withMirrors      ? "500 lessons and 8 mirrors per server, signed, the lesson the last (no request)"
                : largeCatalogue ? "500 lessons, signed, the lesson the last (no request)"
                                 : "built-in 32 (two HEAD requests)");
    // The fair baseline: the program's player page is loaded once at start, as the loaded
    // bare page is; a bare page loaded per movie pays for the page and Ruffle's start each time.
    warmFigures.Print("Lesson chosen with a complete cache file, until the movie is loaded, against a new player "
                      "in the already loaded bare page",
                      "program: menu handler -> movieLoaded (ms)", "loaded bare page: benchPlay() -> loadedmetadata (ms)",
                      "ms", "ratio program / loaded bare page", false, "<= 0.7");
    // Where the engine has no GPU, as under Xvfb, the program's page sends Ruffle straight to
    // the canvas renderer it would end with; the bare page above tries the GPU's first.
    canvasFigures.Print("The same against a new player in the loaded bare page sent straight to Ruffle's canvas "
                        "renderer (information)",
                        "program: menu handler -> movieLoaded (ms)",
                        "loaded bare page, canvas first: benchPlay() -> loadedmetadata (ms)", "ms",
                        "ratio program / loaded bare page, canvas first", false, "none");
    figures.Print("The same against a bare page loaded for the movie (information)",
                  "program: menu handler -> movieLoaded (ms)", "bare page: load() -> Ruffle loadedmetadata (ms)", "ms",
                  "ratio program / bare", false, "none");
    freshPage.Print("A lesson that opens in a fresh player page (after every 20 lessons), loaded ahead, against a "
                    "bare page loaded for the movie (information)",
                    "program: menu handler -> movieLoaded (ms)", "bare page: load() -> Ruffle loadedmetadata (ms)", "ms",
                    "ratio program / bare", false, "none");
    const Summary fresh = Summarise(freshTimes);
    const Summary inPage = Summarise(others);
    const double freshRatio = fresh.median / inPage.median;
    std::printf("A lesson in a fresh player page against the median of the others (%zu and %zu rounds)\n"
                "  fresh page: median %.1f ms (%.1f..%.1f); the others: median %.1f ms (%.1f..%.1f)\n"
                "  ratio fresh page / the others' median: %.3f, target <= 1.5%s\n",
                freshTimes.size(), others.size(), fresh.median, fresh.min, fresh.max, inPage.median, inPage.min,
                inPage.max, freshRatio, Verdict(freshRatio, "<= 1.5"));
    if (MessagesShown()) std::printf("  WARNING: %d message(s) shown during the run\n", MessagesShown());
    std::fflush(stdout);
    return MessagesShown() ? 1 : 0;
}
