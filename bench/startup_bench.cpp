// Start-up to the first shown window: the real `pebblewick` against a bare program that
// shows a QWebEngineView with a page (bare_webview), each started as a process, rounds
// alternating, against the demo site on loopback.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" startup_bench [rounds, default 7]
//
// The programs are found beside this one (bare_webview) and in the build folder above it
// (pebblewick, tools/demo_site/pebblewick_demo_site). The demo site is started once on a
// free loopback port; the program's hosts point at it (PEBBLEWICK_*_HOST), the bare program
// loads its home page. Each start is timed from just before fork() until the X server
// reports a window of that process (_NET_WM_PID) mapped on the root window: the bench
// listens for the root's MapNotify events itself, nothing polls. For information it also
// times the first drawing on that window (the X Damage extension), which may come later
// than the map. The process group is then ended (SIGTERM, SIGKILL after 5 s), web engine
// helpers included.
// The program starts two ways, side by side: with its built-in lessons (no catalogue kept,
// and none trusted), and with a signed catalogue of 500 lessons kept in its data folder
// (the build folder), which it verifies and reads before its window shows. What the build
// folder held of a catalogue before is put back at the end.
// The store: every start with the built-in lessons begins with an empty one (none made
// yet, as at a first start), and a third way starts with the largest the program keeps (90
// days of use of 500 lessons, their hashes and last plays), which it opens and checks
// before its window shows; that way against the empty store is the store's figure. Both
// stores are in a folder of their own (XDG_STATE_HOME), never the user's.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_figures.h"
#include "bench/large_catalogue.h"
#include "bench/large_history.h"
#include "lessons/parent_corner_rules.h"
#include "lessons/parent_corner_state.h"
#include "lessons/store.h"

namespace pw::bench {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Starts `argv` in a process group of its own with `env` added; its stdout goes to
// `stdoutFd` when that is not -1.
pid_t Start(const std::vector<std::string>& argv, const std::vector<std::string>& env, int stdoutFd = -1) {
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        for (const std::string& assignment : env) putenv(const_cast<char*>(assignment.c_str()));
        if (stdoutFd != -1) dup2(stdoutFd, STDOUT_FILENO);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDERR_FILENO);  // the web engine's log lines would bury the figures
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    if (pid > 0) setpgid(pid, pid);
    return pid;
}

// Ends the process group that `pid` leads and reaps `pid`.
void Stop(pid_t pid) {
    kill(-pid, SIGTERM);
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < end) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            kill(-pid, SIGKILL);  // helpers that outlived their parent
            return;
        }
        usleep(10000);
    }
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

class MapWatcher {
public:
    MapWatcher() : connection_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(connection_)) return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        const char name[] = "_NET_WM_PID";
        auto* reply = xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 0, sizeof name - 1, name), nullptr);
        if (reply) pidAtom_ = reply->atom;
        std::free(reply);
        auto* damage = xcb_damage_query_version_reply(
            connection_, xcb_damage_query_version(connection_, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
            nullptr);
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection_, &xcb_damage_id);
        if (extension && extension->present) damageNotify_ = extension->first_event + XCB_DAMAGE_NOTIFY;
        const bool damageReady = damage && damageNotify_ >= 0;
        std::free(damage);
        xcb_flush(connection_);
        ok_ = pidAtom_ != XCB_NONE && damageReady;
    }
    ~MapWatcher() { xcb_disconnect(connection_); }
    MapWatcher(const MapWatcher&) = delete;
    MapWatcher& operator=(const MapWatcher&) = delete;
    bool Ok() const { return ok_; }

    // Drops the events of earlier rounds.
    void Drain() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) std::free(event);
    }

    struct Shown {
        Clock::time_point mapped, drawn;
    };

    // The moments a top-level window of process `pid` was mapped and first drawn on, or
    // nothing after `limit`.
    std::optional<Shown> WaitForWindowOf(pid_t pid, std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        std::optional<Clock::time_point> mapped;
        bool filled = false;
        const xcb_damage_damage_t damage = xcb_generate_id(connection_);
        while (Clock::now() < end) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                const auto when = Clock::now();
                const int type = event->response_type & 0x7f;
                const bool drawing = mapped && type == damageNotify_ &&
                                     reinterpret_cast<xcb_damage_notify_event_t*>(event)->damage == damage;
                if (!mapped && type == XCB_MAP_NOTIFY) {
                    auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                    if (!map->override_redirect && PidOf(map->window) == pid) {
                        mapped = when;
                        // Nothing is drawn on a window before it is mapped. The first report is
                        // the server's own fill of the window's background at the map.
                        xcb_damage_create(connection_, damage, map->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                        xcb_flush(connection_);
                    }
                } else if (drawing && std::exchange(filled, true)) {
                    std::free(event);
                    xcb_damage_destroy(connection_, damage);
                    xcb_flush(connection_);
                    return Shown{*mapped, when};
                }
                if (drawing) xcb_damage_subtract(connection_, damage, XCB_NONE, XCB_NONE);  // report the next
                std::free(event);
            }
            xcb_flush(connection_);
            pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
            poll(&fd, 1, 50);
        }
        return std::nullopt;
    }

private:
    pid_t PidOf(xcb_window_t window) {
        auto cookie = xcb_get_property(connection_, 0, window, pidAtom_, XCB_ATOM_CARDINAL, 0, 1);
        auto* reply = xcb_get_property_reply(connection_, cookie, nullptr);
        pid_t pid = -1;
        if (reply && xcb_get_property_value_length(reply) == 4)
            pid = static_cast<pid_t>(*static_cast<std::uint32_t*>(xcb_get_property_value(reply)));
        std::free(reply);
        return pid;
    }

    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    xcb_atom_t pidAtom_ = XCB_NONE;
    int damageNotify_ = -1;
    bool ok_ = false;
};

// Starts the demo site on a free loopback port; its pid and port.
std::pair<pid_t, int> StartDemoSite(const std::string& binary) {
    int out[2];
    if (pipe(out) != 0) return {-1, 0};
    const pid_t pid = Start({binary, "--port", "0"}, {}, out[1]);
    close(out[1]);
    // "Pebblewick demo site on http://127.0.0.1:PORT/tovel/"
    std::string line;
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    const auto colon = line.rfind(':');
    return {pid, colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1)};
}

}  // namespace
}  // namespace pw::bench

int main(int argc, char** argv) {
    using namespace pw;
    using namespace pw::bench;
    const int rounds = CountArgument(argc, argv, 1, 7);
    const fs::path here = fs::canonical("/proc/self/exe").parent_path();
    const std::string program = (here.parent_path() / "pebblewick").string();
    const std::string bare = (here / "bare_webview").string();
    const std::string site = (here.parent_path() / "tools/demo_site/pebblewick_demo_site").string();
    for (const std::string& file : {program, bare, site})
        if (!fs::exists(file)) {
            std::fprintf(stderr, "missing %s: build the targets pebblewick, bare_webview, pebblewick_demo_site\n",
                         file.c_str());
            return 1;
        }

    MapWatcher watcher;
    if (!watcher.Ok()) {
        std::fprintf(stderr, "no X display (run under xvfb-run)\n");
        return 1;
    }
    const auto [sitePid, port] = StartDemoSite(site);
    if (sitePid <= 0 || port <= 0) {
        std::fprintf(stderr, "the demo site did not start\n");
        return 1;
    }
    const std::string hostPort = "127.0.0.1:" + std::to_string(port);
    const std::vector<std::string> programEnv{"PEBBLEWICK_SITE_HOST=" + hostPort,
                                              "PEBBLEWICK_LESSON_HOST1=" + hostPort,
                                              "PEBBLEWICK_LESSON_HOST2=" + hostPort};
    const std::string homePage = "http://" + hostPort + "/tovel/index.html";

    // Milliseconds from fork to the window's map and to its first drawing.
    struct StartTimes {
        double mapped, drawn;
    };
    auto timeStart = [&](const std::vector<std::string>& args, const std::vector<std::string>& env) -> StartTimes {
        watcher.Drain();
        const auto start = Clock::now();
        const pid_t pid = Start(args, env);
        const auto shown = watcher.WaitForWindowOf(pid, std::chrono::seconds(60));
        Stop(pid);
        if (!shown) {
            std::fprintf(stderr, "%s showed no window\n", args[0].c_str());
            Stop(sitePid);
            std::exit(1);
        }
        const auto since = [&](Clock::time_point t) { return std::chrono::duration<double, std::milli>(t - start).count(); };
        return {since(shown->mapped), since(shown->drawn)};
    };
    // The data folder's catalogue files, as they were before, to be put back.
    const fs::path data = fs::path(program).parent_path();
    const std::vector<fs::path> catalogueFiles{data / "lessons.json", data / "lessons.json.minisig",
                                               data / "lessons.hashes"};
    std::vector<std::optional<std::string>> before;
    for (const fs::path& file : catalogueFiles) {
        std::optional<std::string> bytes;
        if (std::ifstream in(file, std::ios::binary); in) bytes = std::string(std::istreambuf_iterator<char>(in), {});
        before.push_back(bytes);
    }
    const auto removeCatalogue = [&] {
        for (const fs::path& file : catalogueFiles) fs::remove(file);
    };
    // Above any serial the demo site gives (the time): the site's catalogue never replaces it.
    const ListedLesson last{"最后一课", "/more/last.swf", "last", "body"};
    const LargeCatalogue large = MakeLargeCatalogue(last, 1ULL << 62);
    const LargeCatalogue mirrored = MakeLargeCatalogue(last, 1ULL << 62, {}, true);  // same key

    // The stores, apart from the user's: one made anew for every start, and the largest.
    const fs::path states = fs::temp_directory_path() / ("pebblewick-startup-bench-" + std::to_string(getpid()));
    const fs::path emptyState = states / "empty", largeState = states / "large";
    {
        fs::create_directories(largeState / "pebblewick");
        const WallTime now = std::chrono::duration_cast<WallTime>(std::chrono::system_clock::now().time_since_epoch());
        Store store((largeState / "pebblewick/pebblewick.db").string());
        FillWithLargestHistory(store, LocalDayOf(now));
    }
    std::vector<std::string> builtInEnv = programEnv, largeEnv = programEnv;
    builtInEnv.push_back("PEBBLEWICK_CATALOGUE_KEY=none");  // no catalogue is trusted: the built-in lessons
    largeEnv.push_back("PEBBLEWICK_CATALOGUE_KEY=" + large.publicKey);
    std::vector<std::string> largeStoreEnv = builtInEnv;
    builtInEnv.push_back("XDG_STATE_HOME=" + emptyState.string());
    largeEnv.push_back("XDG_STATE_HOME=" + emptyState.string());
    largeStoreEnv.push_back("XDG_STATE_HOME=" + largeState.string());
    auto ours = [&] {
        removeCatalogue();
        fs::remove_all(emptyState);
        return timeStart({program}, builtInEnv);
    };
    auto oursWithLargeCatalogue = [&] {
        removeCatalogue();
        fs::remove_all(emptyState);
        KeepCatalogue(data.string(), large);
        return timeStart({program}, largeEnv);
    };
    auto oursWithMirrors = [&] {
        removeCatalogue();
        fs::remove_all(emptyState);
        KeepCatalogue(data.string(), mirrored);
        return timeStart({program}, largeEnv);
    };
    auto oursWithLargeStore = [&] {
        removeCatalogue();
        return timeStart({program}, largeStoreEnv);
    };
    auto baseline = [&] { return timeStart({bare, homePage}, {}); };

    ours();  // warm-up: the page cache holds both programs and the web engine afterwards
    oursWithLargeCatalogue();
    oursWithLargeStore();
    oursWithMirrors();
    baseline();
    PairedRounds figures, largeFigures, storeFigures, mirrorFigures, drawnFigures;
    for (int i = 0; i < rounds; ++i) {
        // The order turns every round, so a drift of the machine's load hits all alike.
        constexpr int kWays = 5;
        StartTimes times[kWays] = {};
        const std::function<StartTimes()> ways[kWays] = {ours, oursWithLargeCatalogue, oursWithLargeStore, baseline,
                                                     oursWithMirrors};
        for (int k = 0; k < kWays; ++k) times[(i + k) % kWays] = ways[(i + k) % kWays]();
        figures.Add(times[0].mapped, times[3].mapped);
        largeFigures.Add(times[1].mapped, times[3].mapped);
        storeFigures.Add(times[2].mapped, times[0].mapped);
        mirrorFigures.Add(times[4].mapped, times[1].mapped);
        drawnFigures.Add(times[0].drawn, times[3].drawn);
    }
    Stop(sitePid);
    removeCatalogue();
    fs::remove_all(states);
    for (std::size_t i = 0; i < catalogueFiles.size(); ++i)
        if (before[i]) std::ofstream(catalogueFiles[i], std::ios::binary) << *before[i];

    figures.Print("Start-up to the first shown window, on the demo site, built-in lessons",
                  "pebblewick: fork -> main window mapped (ms)", "bare_webview: fork -> window mapped (ms)", "ms",
                  "ratio pebblewick / bare", false, "<= 1.0");
    drawnFigures.Print("For information: the same starts to the first drawing on the window",
                       "pebblewick: fork -> first drawn (ms)", "bare_webview: fork -> first drawn (ms)", "ms",
                       "ratio pebblewick / bare", false, "none");
    largeFigures.Print("The same with a signed catalogue of 500 lessons kept, verified and read before the window shows",
                       "pebblewick: fork -> main window mapped (ms)", "bare_webview: fork -> window mapped (ms)", "ms",
                       "ratio pebblewick / bare", false, "<= 1.0");
    mirrorFigures.Print("The same 500 lessons with 8 mirrors per lesson server, against none",
                        "pebblewick, 8 mirrors: fork -> main window mapped (ms)",
                        "pebblewick, no mirrors: fork -> main window mapped (ms)", "ms", "ratio mirrors / none", false,
                        "<= 1.05");
    storeFigures.Print("The store: start-up with 90 days of use of 500 lessons kept, against an empty store",
                       "pebblewick, largest store: fork -> main window mapped (ms)",
                       "pebblewick, empty store: fork -> main window mapped (ms)", "ms", "ratio largest / empty", false,
                       "<= 1.05");
    return 0;
}
