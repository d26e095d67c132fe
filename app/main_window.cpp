#include "app/main_window.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include "assets/idle_movie.h"
#include "core/files.h"
#include "core/hosts.h"
#include "core/message.h"
#include "core/program_state.h"
#include "lessons/lesson_selection.h"
#include "net/update_check.h"
#include "net/update_page_request.h"
#include "ui/window_controls.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {

LoadedWindow* MainWindow() { return LoadedWindow::Find(names::kMainWindow); }

namespace {

void ShowHomeView(MainWindowControls& controls) {
    controls.SetVisible(Control::FlashView, false);
    controls.SetVisible(Control::WebView, true);
    controls.SetVisible(Control::StatusLabel, false);
    controls.SetVisible(Control::ProgressBar, false);
}

}  // namespace

void OnMainWindowCreated() {
    LoadedWindow* window = MainWindow();
    if (!window) return;
    // The routines reach the main window's controls through this from now on.
    auto* controls = new WindowControls(*window);
    SetMainWindowControls(controls);

    Globals().CurrentVersion = "2.0";

    // An update download shows its progress display over the home view: the home view is
    // set up before its thread starts, never after.
    bool downloadStarted = false;
    UpdatePlatform platform;
    platform.dispatchQueuedMessages = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
    platform.fetchPage = FetchUpdatePage;
    platform.askYesNo = [](const Text& prompt, const Text& caption) { return AskYesNo(prompt, caption); };
    platform.openInBrowser = [](const Text& url) {
        QDesktopServices::openUrl(QUrl(QString::fromUtf8(ToUtf8(url))));
    };
    platform.startDownloadWorker = [&] {
        ShowHomeView(*controls);
        downloadStarted = true;
        StartDownloadWorker();
    };
    UpdateCheck(platform);

    if (!downloadStarted) ShowHomeView(*controls);
    controls->SetWebAddress(SiteBaseUrl() + "index.html");

    // A read-only program directory is no reason to stop: the idle movie is then missing.
    WriteWholeFile(ProgramFilePath(kIdleMovieName), IdleMovieBytes());
}

}  // namespace pw
