// Closing the main window while a download runs, in-process and with the real program;
// two instances of the program in one directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <span>
#include <thread>

#include "app/program.h"
#include "assets/idle_movie.h"
#include "core/files.h"
#include "lessons/catalogue.h"
#include "lessons/download_worker.h"
#include "tests/hardening/hardening_support.h"
#include "tests/support/x11_windows.h"
#include "tests/support/fixture_server.h"
#include "tests/support/gui_test_support.h"
#include "tests/support/message_recorder.h"
#include "tests/support/program_window.h"
#include "tests/support/temp_dir.h"
#include "ui/roll_up_menu.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

extern char** environ;

namespace pw {
namespace {

using namespace std::chrono_literals;
using testing::FixtureServer;
using testing::ProcessEventsUntil;
using Clock = std::chrono::steady_clock;

std::string IdleMovie() {
    const auto bytes = IdleMovieBytes();
    return std::string(bytes.begin(), bytes.end());
}

TEST(ClosingDuringADownload, EndProgramStopsItAtOnceAndKeepsThePartialFile) {
    FixtureServer server;
    testing::TempDir dir;
    testing::MessageRecorder messages;
    server.Serve("/tovel/index.html", {.body = "<html><title>home</title></html>", .contentType = "text/html"});
    const LessonEntry lesson = *Lookup(1, 3);
    const std::string body = FixtureServer::GeneratedBody(600 * 1024);
    server.Serve(lesson.path, {.body = body, .chunkSize = 8192, .chunkDelay = 30ms});
    const std::string cacheFile = dir.File(lesson.cacheName);
    const std::string partFile = PartFilePath(cacheFile);  // where the download writes until whole

    auto app = std::make_unique<testing::ProgramWindow>(
        testing::TestSetup(testing::AllHostsAt(server.HostPort()), dir.Path(), messages));
    app->Start();
    auto* menu = app->Control<RollUpMenu>(names::kLessonMenu);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->headerRect(1).center());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->itemRect(3).center());
    ASSERT_TRUE(ProcessEventsUntil([&] { return LocalFileSize(partFile) >= 32768; }, 20s));
    ASSERT_TRUE(app->program().WorkersRunning());

    // As the program's main ends: EndProgram once the window has closed, then the rest goes.
    // It returns once every worker has ended; a worker that did not stop when asked would
    // hold it until the test's time-out.
    app->window().close();
    app->program().EndProgram();
    EXPECT_FALSE(app->program().WorkersRunning());
    app.reset();

    EXPECT_EQ(testing::FindTopLevelWindow(names::kMainWindow), nullptr);
    // Whatever the stopped worker had queued for the window finds nothing to touch.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    const std::string kept = testing::ReadWholeFile(partFile);
    EXPECT_GE(kept.size(), 32768u);
    EXPECT_LT(kept.size(), body.size());
    EXPECT_TRUE(testing::IsPrefixOf(kept, body));
    EXPECT_EQ(LocalFileSize(partFile), static_cast<std::int32_t>(kept.size()));  // no longer growing
    EXPECT_EQ(LocalFileSize(cacheFile), -1);  // never taken for the whole lesson
    EXPECT_TRUE(messages.Texts().empty());
}

// The real program, started from a copy in a folder of its own (it writes beside its
// executable), with every host at a closed loopback port. It runs in a process group of
// its own, which goes with this object: the program and the web engine's helper
// processes it started are killed if still there, and the program is reaped, so that
// no process of a failed test lives on holding connections to the display.
class ProgramProcess {
public:
    ProgramProcess(const std::string& directory, const std::string& logName) {
        const std::string host = "127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort());
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (!entry.starts_with("PEBBLEWICK_")) env.push_back(entry);
        }
        for (const char* name : {"PEBBLEWICK_SITE_HOST", "PEBBLEWICK_LESSON_HOST1", "PEBBLEWICK_LESSON_HOST2"})
            env.push_back(std::string(name) + "=" + host);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);

        const std::string program = directory + "/pebblewick";
        logPath_ = directory + "/" + logName;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);  // a group of its own, led by the program
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        if (posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv, envp.data()) != 0) pid_ = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ProgramProcess() {
        if (pid_ <= 0) return;
        // Whatever is left of the group, the program's helpers too, even after a clean end.
        ::kill(-pid_, SIGKILL);
        if (!exited_) ::waitpid(pid_, nullptr, 0);
    }
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running() {
        if (exited_) return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            status_ = status;
        }
        return !exited_;
    }
    // The wait status once the process has ended, or nothing after `limit`.
    std::optional<int> WaitForExit(std::chrono::milliseconds limit) {
        const auto until = Clock::now() + limit;
        while (Running() && Clock::now() < until) std::this_thread::sleep_for(10ms);
        if (!exited_) return std::nullopt;
        return status_;
    }
    std::string Log() const { return testing::ReadWholeFile(logPath_); }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = 0;
    std::string logPath_;
};

// A folder holding a copy of the program and its Ruffle files.
void InstallProgramCopy(const std::string& directory) {
    const std::filesystem::path built(PEBBLEWICK_BINARY);
    std::filesystem::copy_file(built, std::filesystem::path(directory) / "pebblewick");
    if (std::filesystem::exists(built.parent_path() / "ruffle"))
        std::filesystem::create_directory_symlink(built.parent_path() / "ruffle",
                                                  std::filesystem::path(directory) / "ruffle");
}

// Closes the window as the user would and expects a prompt, clean end.
void CloseAndExpectCleanExit(ProgramProcess& program, unsigned long window) {
    ASSERT_TRUE(testing::RequestWindowClose(window));
    const auto start = Clock::now();
    const auto status = program.WaitForExit(15s);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    ASSERT_TRUE(status.has_value()) << "still running 15 s after its window was closed\n" << program.Log();
    EXPECT_TRUE(WIFEXITED(*status)) << "ended by signal " << (WIFSIGNALED(*status) ? WTERMSIG(*status) : 0) << "\n"
                                    << program.Log();
    if (WIFEXITED(*status)) {
        EXPECT_EQ(WEXITSTATUS(*status), 0) << program.Log();
    }
    ::testing::Test::RecordProperty("exit_ms", static_cast<int>(took.count()));
    std::cout << "program ended " << took.count() << " ms after its window was closed\n";
}

constexpr auto kStartLimit = 90s;  // a sanitizer build of the web engine starts slowly

TEST(RealProgram, ClosingTheMainWindowEndsItPromptlyAndCleanly) {
    testing::TempDir dir;
    InstallProgramCopy(dir.Path());
    ProgramProcess program(dir.Path(), "program.log");
    ASSERT_GT(program.Pid(), 0);

    const auto window = testing::WaitForTopLevelWindow(program.Pid(), "Pebblewick2.0", kStartLimit);
    ASSERT_TRUE(window.has_value()) << program.Log();
    // Written once the window is shown.
    EXPECT_TRUE(testing::WaitFor([&] { return testing::ReadWholeFile(dir.File("3.swf")) == IdleMovie(); }, 20s));
    ASSERT_TRUE(program.Running()) << program.Log();

    CloseAndExpectCleanExit(program, *window);
}

TEST(RealProgram, TwoInstancesInOneFolderBothRunAndWriteTheSameIdleMovie) {
    testing::TempDir dir;
    InstallProgramCopy(dir.Path());
    ProgramProcess first(dir.Path(), "first.log");
    ProgramProcess second(dir.Path(), "second.log");
    ASSERT_GT(first.Pid(), 0);
    ASSERT_GT(second.Pid(), 0);

    const auto firstWindow = testing::WaitForTopLevelWindow(first.Pid(), "Pebblewick2.0", kStartLimit);
    const auto secondWindow = testing::WaitForTopLevelWindow(second.Pid(), "Pebblewick2.0", kStartLimit);
    ASSERT_TRUE(firstWindow.has_value()) << first.Log();
    ASSERT_TRUE(secondWindow.has_value()) << second.Log();
    // Each writes the idle movie once its window is shown.
    EXPECT_TRUE(testing::WaitFor([&] { return testing::ReadWholeFile(dir.File("3.swf")) == IdleMovie(); }, 20s));
    EXPECT_TRUE(first.Running()) << first.Log();
    EXPECT_TRUE(second.Running()) << second.Log();

    CloseAndExpectCleanExit(first, *firstWindow);
    EXPECT_TRUE(second.Running()) << second.Log();
    CloseAndExpectCleanExit(second, *secondWindow);
    EXPECT_EQ(testing::ReadWholeFile(dir.File("3.swf")), IdleMovie());
    // Once both have ended, nothing but their own files is in the folder: no temporary
    // file of either write is left. (While they run, one may be writing its own.)
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "pebblewick" || name == "ruffle" || name == "3.swf" || name.ends_with(".log")) << name;
    }
}

}  // namespace
}  // namespace pw
