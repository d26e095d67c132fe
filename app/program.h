#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>

#include "app/network_session.h"
#include "core/hosts.h"
#include "core/message.h"
#include "lessons/display.h"
#include "lessons/download_worker.h"
#include "lessons/program_state.h"
#include "net/remote_size_probe.h"
#include "net/update_page_request.h"
#include "ui/window_description.h"

namespace pw {

class LoadedWindow;

// How long the program waits on the network; tests shorten them.
struct NetworkTimeouts {
    ProbeTimeouts probe;
    PageTimeouts page;
    std::chrono::milliseconds downloadConnect{5000};
    std::chrono::milliseconds downloadStall{30000};
};

// What the program is made with.
struct ProgramSetup {
    Hosts hosts;
    Text dataDirectory;  // where the idle movie, the lesson caches and update files live
    MessagePort* messages = nullptr;  // message boxes; must outlive the program
    std::function<void(const Text& url)> openInBrowser;
    // Shows a folder of the data directory in the desktop's file manager.
    std::function<void(const Text& folder)> openFolder;
    NetworkTimeouts timeouts;
};

// The program: its state, the network session, its worker threads, the ports to the
// message boxes and the main window, and the handlers of every bound event. Everything
// here runs on the UI thread; workers hand their results to it as queued events, and
// those of a superseded choice are dropped.
class Program final : public WindowEventHandler {
public:
    explicit Program(ProgramSetup setup);
    ~Program() override;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The main window's content area; set before the main window's created event.
    void AttachDisplay(Display& display) { display_ = &display; }

    void HandleWindowEvent(WindowEvent event, int group, int item) override;

    // The handlers.
    void OnMainWindowCreated();
    void OnMainWindowShown();
    void OnLessonMenuItemClicked(int group, int item);
    void OpenLesson();
    void StartDownloadWorker();
    void OnPageButtonClicked(int page);
    void OnPagesWindowCreated();
    void OpenGuestbook();
    void OnButton5To8Clicked();

    // Stops every worker at once (partial files stay), and an update check not yet
    // started; run when the main window has closed.
    void EndProgram();

    ProgramState& globals() { return globals_; }
    const Hosts& hosts() const { return hosts_; }
    // dataDirectory + "/" + name.
    Text FilePath(const Text& name) const;
    // True while a download, probe or update check runs; how many have started (for tests).
    bool WorkersRunning() const;
    std::uint64_t WorkersStarted() const;

private:
    void PlayFile(const Text& fileName);
    void StartDownload(const Text& url, const Text& fileName, bool lesson);
    void StartPendingUpdate();
    void ShowDownloadedFile(const Text& fileName);
    void SilenceLessonAndShowWebView();
    void OnDownloadEvent(const DownloadEvent& event);
    void StartUpdateCheck();
    void OnUpdatePage(const Text& body);
    // Runs `apply` on the UI thread later, if the program still exists then.
    void PostToUiThread(std::function<void()> apply);

    NetworkSession session_;  // first made, last gone
    ProgramState globals_;
    Hosts hosts_;
    Text dataDirectory_;
    MessagePort& messages_;
    std::function<void(const Text&)> openInBrowser_;
    std::function<void(const Text&)> openFolder_;
    NetworkTimeouts timeouts_;
    NoDisplay noDisplay_;  // until the main window's display is attached
    Display* display_ = &noDisplay_;
    LoadedWindow* pagesWindow_ = nullptr;  // while the pages window is open
    bool ended_ = false;  // EndProgram has run

    // Counts the choices that supersede a pending lesson probe: lesson choices, page
    // buttons and the guestbook.
    std::uint64_t choice_ = 0;
    std::uint64_t lastDownloadJob_ = 0;
    std::uint64_t currentDownloadJob_ = 0;  // 0: none whose events are wanted
    Text currentDownloadFile_;
    bool currentDownloadIsLesson_ = false;
    // An update download the user said Yes to while a lesson was downloading.
    struct PendingUpdate {
        Text url;
        Text fileName;
    };
    std::optional<PendingUpdate> pendingUpdate_;

    QObject uiThreadEvents_;  // queued results land here; dropped once it is gone
    // Declared after what their threads' results reach, so they are joined first.
    WorkerThreads updateCheck_;
    WorkerThreads probes_;
    WorkerThreads downloads_;
};

}  // namespace pw
