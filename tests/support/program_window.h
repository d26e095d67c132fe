#pragma once

#include <QApplication>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "app/program.h"
#include "core/message.h"
#include "tests/support/gui_test_support.h"
#include "ui/main_window_display.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw::testing {

// Every host of the program at `hostPort` (a fixture server's 127.0.0.1:port).
inline Hosts AllHostsAt(const std::string& hostPort) { return Hosts{hostPort, hostPort, hostPort}; }

// What the program is made with in a test: its hosts, its data directory, and the
// message port that stands in for the boxes. Time-outs stay the program's own unless a
// test shortens them.
inline ProgramSetup TestSetup(const Hosts& hosts, const std::string& dataDirectory, MessagePort& messages) {
    ProgramSetup setup;
    setup.hosts = hosts;
    setup.dataDirectory = dataDirectory;
    setup.messages = &messages;
    setup.openInBrowser = [](const Text&) {};
    return setup;
}

// The program with its real main window, put together as the program's main does it. The
// window is neither created nor shown until Start, so that a test may attach a display of
// its own first.
class ProgramWindow {
public:
    explicit ProgramWindow(ProgramSetup setup)
        : program_(std::move(setup)), window_(MainWindowDescription(), program_), display_(window_) {
        program_.AttachDisplay(display_);
        program_.AttachMainWindow(window_);
    }
    ~ProgramWindow() {
        // As the program's main ends: the workers stop before the window goes.
        program_.EndProgram();
    }
    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;

    // The created event (home page, idle movie, update check on a worker), then shown.
    void Start() {
        window_.FireCreated();
        window_.ShowCentred();
    }

    Program& program() { return program_; }
    LoadedWindow& window() { return window_; }
    MainWindowDisplay& display() { return display_; }
    template <class T>
    T* Control(const char* name) const {
        return window_.controlAs<T>(name);
    }

private:
    Program program_;
    LoadedWindow window_;
    MainWindowDisplay display_;
};

// True when no worker of the program runs and every result they posted has been applied
// (applying a probe's result may start a download: then it is false).
inline bool ProgramSettled(Program& program) {
    // A worker started and ended while the posted results were applied would leave
    // results of its own: then it is not settled yet.
    const std::uint64_t started = program.WorkersStarted();
    // A file check counts until its answer is applied: that may start the next download.
    if (program.WorkersRunning() || program.FileChecksPending()) return false;
    QCoreApplication::sendPostedEvents();
    return !program.WorkersRunning() && !program.FileChecksPending() && program.WorkersStarted() == started;
}

// Processes events until the program has settled; false after `limit`.
inline bool ProgramSettles(Program& program, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    return ProcessEventsUntil([&] { return ProgramSettled(program); }, limit);
}

// The top-level window of this process named `name` (a description's name), while it exists.
inline QWidget* FindTopLevelWindow(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QString::fromUtf8(name)) return w;
    return nullptr;
}

}  // namespace pw::testing
