#pragma once

#include <QApplication>
#include <QEvent>
#include <QString>
#include <QWebEngineView>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/program.h"
#include "lessons/catalogue.h"
#include "tests/support/fixture_server.h"

// What the GUI benchmarks share: the application as the program makes it, the real main
// window built as the GUI tests build it, and a bare Ruffle page to compare against.
namespace pw {
class FlashView;
class LoadedWindow;
class MainWindowDisplay;
namespace testing {
class ProgramWindow;
}
}  // namespace pw

namespace pw::bench {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::duration d);
// How long a benchmark waits for the program before it gives up.
inline constexpr std::chrono::seconds kWaitLimit{60};

// Sets the program's allocator policy and web engine flags and registers the player's URL
// scheme and the shared GL contexts, as the program's main does (the policy of its own
// process there once the window is shown): call before QApplication, with its arguments.
void PrepareApplication(int argc, char** argv);

// What a GUI benchmark's main begins with, kept for the whole run: the application, made
// as the program makes it, and a fixture server that answers as a quiet site.
struct GuiBench {
    GuiBench(int& argc, char** argv);
    struct Prepared {
        Prepared(int argc, char** argv) { PrepareApplication(argc, argv); }
    } prepared;  // first: before the application is made
    QApplication app;
    testing::FixtureServer server;
};

// Marks that the widget it filters has had a paint event; the widget has been painted
// once the event loop's turn that delivered it returns.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

// Messages the program would show are printed on stderr and counted instead (questions
// are answered No): a benchmark that shows one did not measure what it says.
MessagePort& CountingMessages();
int MessagesShown();

// A fresh directory under /tmp, removed with what it holds.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The program with its main window, shown, its hosts pointed at `hostPort` and its data
// directory in `directory`, its messages counted; its created handler has run (update
// check on a worker, home page). `catalogueKey`: the site's catalogue key; empty: none.
// `adjust`, when given, changes the rest of the setup first (a store file, clocks).
class ProgramWindow {
public:
    ProgramWindow(const std::string& hostPort, const std::string& directory, const std::string& catalogueKey = {},
                  const std::function<void(ProgramSetup&)>& adjust = {});
    ~ProgramWindow();
    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;
    LoadedWindow& Window();
    Program& program();
    // The window's own display, to wrap in an observer (attach that with program().AttachDisplay).
    MainWindowDisplay& display();

private:
    std::unique_ptr<testing::ProgramWindow> inner_;
};

// What the site must answer for the main window to come up quietly: the update page
// announcing the program's own version, and the home page.
void ServeQuietSite(testing::FixtureServer& server);

// Serves the Ruffle files of the build (RuffleDirectory()) at /ruffle/<name> and a minimal
// Ruffle page at /bare/index.html: ?movie=URL&token=T makes one player for the movie and
// sets the title to "loaded T" on Ruffle's loadedmetadata, as the program's page does; in
// a loaded page, benchPlay(URL, T[, RENDERER]) replaces the player with a new one for the
// movie (RENDERER: the one Ruffle tries first) and benchClear() removes it.
// False when the Ruffle files are missing.
bool ServeBareRufflePage(testing::FixtureServer& server);
QString BarePageUrl(const std::string& baseUrl, const QString& movieUrl, const QString& token);

// The largest of the sample lessons (the most for Ruffle to read): its entry and bytes.
struct SampleLesson {
    LessonEntry entry;
    std::string body;
};
SampleLesson LargestSampleLesson();
// The first sample lesson of the catalogue other than `other`.
SampleLesson OtherSampleLesson(const LessonEntry& other);

// Runs the event loop until `done()` holds; false when `limit` passes first.
bool RunEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

// Runs the event loop until the page title of `view` reads "loaded <token>"; the time the
// title arrived, or nothing after `limit`.
std::optional<Clock::time_point> WaitForLoadedTitle(QWebEngineView& view, const QString& token,
                                                     std::chrono::milliseconds limit);

// Runs the event loop until the player signals movieLoaded; its time, or nothing after `limit`.
std::optional<Clock::time_point> WaitForMovieLoaded(FlashView& flash, std::chrono::milliseconds limit);

}  // namespace pw::bench
