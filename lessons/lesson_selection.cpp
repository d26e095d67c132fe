#include "lessons/lesson_selection.h"

#include <cmath>

#include "core/files.h"
#include "core/hosts.h"
#include "core/program_state.h"
#include "lessons/catalogue.h"
#include "lessons/download_worker.h"
#include "net/remote_size_probe.h"

namespace pw {
namespace {

MainWindowControls* g_controls = nullptr;

// Stands in before the main window exists, so a stray call changes nothing.
class NoControls final : public MainWindowControls {
public:
    void SetVisible(Control, bool) override {}
    bool IsVisible(Control) const override { return false; }
    void SetStatusCaption(const Text&) override {}
    Text StatusCaption() const override { return {}; }
    void SetProgressPosition(std::int32_t) override {}
    std::int32_t ProgressPosition() const override { return 0; }
    void SetFlashMovie(const Text&) override {}
    void PlayFlash() override {}
    void SetWebAddress(const Text&) override {}
};

}  // namespace

void SetMainWindowControls(MainWindowControls* controls) { g_controls = controls; }

MainWindowControls& MainControls() {
    static NoControls none;
    return g_controls ? *g_controls : none;
}

bool CacheFileIsComplete(std::int32_t localSize, double remoteSize) {
    return localSize >= 0 && std::fabs(localSize - remoteSize) <= 0.0000001;
}

void OnLessonMenuItemClicked(int group, int item) {
    if (auto entry = Lookup(group, item)) {
        ProgramState& globals = Globals();
        globals.CurrentUrl = RemoteAddress(*entry);
        globals.CurrentFileName = entry->cacheName;
        // A new lesson choice supersedes the running download.
        Downloads().SupersedeCurrent();
        OpenLesson();
    } else if (group == kGuestbookGroup && item == kGuestbookItem) {
        OpenGuestbook();
    }
}

void OpenLesson() {
    const ProgramState& globals = Globals();
    const Text path = ProgramFilePath(globals.CurrentFileName);

    // Two separate measurements and two separate tests: a file found complete first and
    // incomplete on the second look is played and fetched again.
    if (CacheFileIsComplete(LocalFileSize(path), RemoteSizeProbe(globals.CurrentUrl))) PlayCurrentFile();
    if (!CacheFileIsComplete(LocalFileSize(path), RemoteSizeProbe(globals.CurrentUrl))) StartDownloadWorker();
}

void PlayFile(MainWindowControls& controls, const Text& fileName) {
    controls.SetVisible(Control::StatusLabel, false);
    controls.SetVisible(Control::ProgressBar, false);
    controls.SetVisible(Control::FlashView, true);
    controls.SetVisible(Control::WebView, false);
    controls.SetFlashMovie(ProgramFilePath(fileName));
    controls.PlayFlash();
}

void PlayCurrentFile() { PlayFile(MainControls(), Globals().CurrentFileName); }

void StartDownloadWorker() {
    const ProgramState& globals = Globals();
    Downloads().Start({globals.CurrentUrl, globals.CurrentFileName}, MainControls());
}

void SilenceLessonAndShowWebView() {
    MainWindowControls& controls = MainControls();
    controls.SetFlashMovie(ProgramFilePath(Globals().CurrentFileName));
    controls.PlayFlash();
    controls.SetVisible(Control::FlashView, false);
    controls.SetVisible(Control::WebView, true);
}

void OpenGuestbook() {
    Globals().CurrentFileName = kIdleMovieName;
    SilenceLessonAndShowWebView();
    MainControls().SetWebAddress(SiteBaseUrl() + "gb/");
}

}  // namespace pw
