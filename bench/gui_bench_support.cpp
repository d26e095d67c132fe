#include "bench/gui_bench_support.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QUrlQuery>
#include <QWebEnginePage>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/files.h"
#include "core/memory.h"
#include "core/message.h"
#include "host/flash_scheme.h"
#include "host/flash_view.h"
#include "tests/support/program_window.h"
#include "tools/swf/sample_lessons.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw::bench {
namespace {

std::atomic<int> g_messages{0};

class CountingPort final : public MessagePort {
public:
    MessageAnswer Ask(const MessageRequest& request) override {
        ++g_messages;
        std::fprintf(stderr, "message shown: %s\n", ToUtf8(request.text).c_str());
        return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    }
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One player per page load, configured like the program's (no fonts, no host calls).
constexpr char kBarePage[] = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title></title>
<style>
  html, body { margin: 0; padding: 0; width: 100%; height: 100%; overflow: hidden; background: #000; }
  #stage { position: absolute; inset: 0; }
  #stage > * { width: 100%; height: 100%; display: block; }
</style>
<script src="/ruffle/ruffle.js"></script>
</head><body><div id="stage"></div>
<script>
"use strict";
// One player on the stage at a time; a new one replaces the old, as in the program's page.
function benchClear() {
  const stage = document.getElementById("stage");
  while (stage.firstChild) stage.firstChild.remove();
}
function benchPlay(url, token, renderer) {
  benchClear();
  const player = window.RufflePlayer.newest().createPlayer();
  player.addEventListener("loadedmetadata", () => { document.title = "loaded " + token; });
  document.getElementById("stage").appendChild(player);
  player.ruffle().load({
    url: url, publicPath: "/ruffle/", polyfills: false, autoplay: "on",
    unmuteOverlay: "hidden", splashScreen: false, letterbox: "on", scale: "showAll",
    contextMenu: "off", warnOnUnsupportedContent: false, logLevel: "error",
    preferredRenderer: renderer || null,
  }).catch(() => {});
}
const query = new URLSearchParams(location.search);
if (query.get("movie")) benchPlay(query.get("movie"), query.get("token"));
</script>
</body></html>
)";

}  // namespace

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void PrepareApplication(int argc, char** argv) {
    ReturnLargeBlocksWhenFreed();  // the program's main does it once its window is shown
    ReturnLargeBlocksWhenFreedInChildProcesses();
    LetPlayerPagesCollectGarbage(argc, argv);
    RegisterFlashViewScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

GuiBench::GuiBench(int& argc, char** argv) : prepared(argc, argv), app(argc, argv) { ServeQuietSite(server); }

MessagePort& CountingMessages() {
    static CountingPort port;
    return port;
}

int MessagesShown() { return g_messages.load(); }

ScratchDirectory::ScratchDirectory() {
    char pattern[] = "/tmp/pebblewick-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    path_ = made;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

namespace {

ProgramSetup BenchSetup(const std::string& hostPort, const std::string& directory, const std::string& catalogueKey,
                        const std::function<void(ProgramSetup&)>& adjust) {
    ProgramSetup setup = testing::TestSetup(testing::AllHostsAt(hostPort), directory, CountingMessages());
    setup.catalogueKey = catalogueKey;
    if (adjust) adjust(setup);
    return setup;
}

}  // namespace

ProgramWindow::ProgramWindow(const std::string& hostPort, const std::string& directory, const std::string& catalogueKey,
                             const std::function<void(ProgramSetup&)>& adjust)
    : inner_(std::make_unique<testing::ProgramWindow>(BenchSetup(hostPort, directory, catalogueKey, adjust))) {
    inner_->Start();
}

ProgramWindow::~ProgramWindow() = default;

LoadedWindow& ProgramWindow::Window() { return inner_->window(); }
Program& ProgramWindow::program() { return inner_->program(); }
MainWindowDisplay& ProgramWindow::display() { return inner_->display(); }

void ServeQuietSite(testing::FixtureServer& server) {
    server.Serve("/tovel/test.html", {.body = FromUtf8("<p>////开始<p>最新版=2.0</p>////结束</p>"),
                                      .contentType = "text/html"});
    server.Serve("/tovel/index.html",
                 {.body = "<html><head><title>home</title></head><body>home</body></html>", .contentType = "text/html"});
}

bool ServeBareRufflePage(testing::FixtureServer& server) {
    const QString directory = RuffleDirectory();
    if (directory.isEmpty()) return false;
    for (const auto& entry : std::filesystem::directory_iterator(directory.toStdString())) {
        const std::string name = entry.path().filename().string();
        std::string type = "application/octet-stream";
        if (name.ends_with(".js")) type = "text/javascript";
        if (name.ends_with(".wasm")) type = "application/wasm";
        server.Serve("/ruffle/" + name, {.body = ReadFile(entry.path().string()), .contentType = type});
    }
    server.Serve("/bare/index.html", {.body = kBarePage, .contentType = "text/html"});
    return true;
}

QString BarePageUrl(const std::string& baseUrl, const QString& movieUrl, const QString& token) {
    QUrl url(QString::fromStdString(baseUrl + "/bare/index.html"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("movie"), movieUrl);
    query.addQueryItem(QStringLiteral("token"), token);
    url.setQuery(query);
    return url.toString();
}

SampleLesson LargestSampleLesson() {
    SampleLesson best;
    for (const LessonRow& row : LessonCatalogue()) {
        const std::vector<std::uint8_t> movie = swf::MakeSampleLesson(row.group, row.item);
        if (movie.size() > best.body.size()) best = {*Lookup(row.group, row.item), std::string(movie.begin(), movie.end())};
    }
    return best;
}

SampleLesson OtherSampleLesson(const LessonEntry& other) {
    for (const LessonRow& row : LessonCatalogue()) {
        if (row.group == other.group && row.item == other.item) continue;
        const std::vector<std::uint8_t> movie = swf::MakeSampleLesson(row.group, row.item);
        if (!movie.empty()) return {*Lookup(row.group, row.item), std::string(movie.begin(), movie.end())};
    }
    return {};
}

bool RunEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    if (done()) return true;
    // The loop sleeps between events; the condition is looked at every 2 ms.
    QEventLoop loop;
    QTimer check;
    const auto end = Clock::now() + limit;
    bool held = false;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        held = done();
        if (held || Clock::now() > end) loop.quit();
    });
    check.start(2);
    loop.exec();
    return held;
}

std::optional<Clock::time_point> WaitForLoadedTitle(QWebEngineView& view, const QString& token,
                                                     std::chrono::milliseconds limit) {
    std::optional<Clock::time_point> when;
    QEventLoop loop;
    const QString wanted = QStringLiteral("loaded ") + token;
    const auto connection = QObject::connect(view.page(), &QWebEnginePage::titleChanged, &loop,
                                             [&](const QString& title) {
                                                 if (title != wanted || when) return;
                                                 when = Clock::now();
                                                 loop.quit();
                                             });
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    if (view.title() != wanted) loop.exec();
    QObject::disconnect(connection);
    return when;
}

std::optional<Clock::time_point> WaitForMovieLoaded(FlashView& flash, std::chrono::milliseconds limit) {
    std::optional<Clock::time_point> when;
    QEventLoop loop;
    const auto connection = QObject::connect(&flash, &FlashView::movieLoaded, &loop, [&] {
        if (!when) when = Clock::now();
        loop.quit();
    });
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
    return when;
}

}  // namespace pw::bench
