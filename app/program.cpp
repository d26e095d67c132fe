#include "app/program.h"

#include "assets/idle_movie.h"
#include "core/files.h"
#include "host/web_view.h"
#include "host/qt_text.h"
#include "lessons/catalogue.h"
#include "lessons/download_progress.h"
#include "lessons/lesson_selection.h"
#include "lessons/update_check.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {

Program::Program(ProgramSetup setup)
    : hosts_(std::move(setup.hosts)),
      dataDirectory_(std::move(setup.dataDirectory)),
      messages_(*setup.messages),
      openInBrowser_(std::move(setup.openInBrowser)),
      openFolder_(std::move(setup.openFolder)),
      timeouts_(setup.timeouts) {}

Program::~Program() {
    // What the program does at its end: workers stop and are joined, the texts go, and
    // the network session is cleaned up last of all.
    EndProgram();
    globals_.CurrentVersion.clear();
    globals_.CurrentUrl.clear();
    globals_.CurrentFileName.clear();
}

void Program::EndProgram() {
    ended_ = true;  // an update check not yet started stays so
    pendingUpdate_.reset();
    // All are asked at once, then joined: each request ends promptly once asked.
    downloads_.SupersedeCurrent();
    probes_.SupersedeCurrent();
    updateCheck_.SupersedeCurrent();
    downloads_.StopAll();
    probes_.StopAll();
    updateCheck_.StopAll();
    currentDownloadJob_ = 0;
}

Text Program::FilePath(const Text& name) const { return JoinPath(dataDirectory_, name); }

bool Program::WorkersRunning() const {
    return downloads_.Running() || probes_.Running() || updateCheck_.Running();
}

std::uint64_t Program::WorkersStarted() const {
    return downloads_.Started() + probes_.Started() + updateCheck_.Started();
}

void Program::PostToUiThread(std::function<void()> apply) {
    QMetaObject::invokeMethod(&uiThreadEvents_, std::move(apply), Qt::QueuedConnection);
}

void Program::HandleWindowEvent(WindowEvent event, int group, int item) {
    switch (event) {
    case WindowEvent::None: break;
    case WindowEvent::MainWindowCreated: OnMainWindowCreated(); break;
    case WindowEvent::PagesWindowCreated: OnPagesWindowCreated(); break;
    case WindowEvent::PageButton1Clicked: OnPageButtonClicked(1); break;
    case WindowEvent::PageButton2Clicked: OnPageButtonClicked(2); break;
    case WindowEvent::PageButton3Clicked: OnPageButtonClicked(3); break;
    case WindowEvent::PageButton4Clicked: OnPageButtonClicked(4); break;
    case WindowEvent::Button5Clicked:
    case WindowEvent::Button6Clicked:
    case WindowEvent::Button7Clicked:
    case WindowEvent::Button8Clicked: OnButton5To8Clicked(); break;
    case WindowEvent::LessonMenuItemClicked: OnLessonMenuItemClicked(group, item); break;
    }
}

void Program::OnMainWindowCreated() {
    globals_.CurrentVersion = "2.0";

    // The window shows at once with the home page; the update page is read on a worker
    // and its question comes when the answer does.
    display_->HideDownloadDisplay();
    display_->ShowView(ContentView::WebPage);
    // Before the window is first shown: a web view shown without its page makes Qt make
    // the window again, under a new id, once the page comes.
    display_->SetWebAddress(hosts_.SiteBaseUrl() + "index.html");

    // The rest waits until the event loop runs, after the window is first shown. The
    // update check's first request loads libcurl, which would hold the dynamic loader (and
    // a core) while the window loads its GL and platform libraries.
    PostToUiThread([this] { OnMainWindowShown(); });
}

void Program::OnMainWindowShown() {
    if (ended_) return;
    // A read-only folder is no reason to stop: the idle movie is then missing.
    WriteWholeFile(FilePath(kIdleMovieName), IdleMovieBytes());
    StartUpdateCheck();
}

void Program::StartUpdateCheck() {
    const Text pageUrl = hosts_.SiteBaseUrl() + "test.html";
    updateCheck_.Start([this, pageUrl, timeouts = timeouts_.page](std::stop_token stop) {
        Text body = FetchUpdatePage(pageUrl, timeouts, stop);
        if (!stop.stop_requested()) PostToUiThread([this, body = std::move(body)] { OnUpdatePage(body); });
    });
}

void Program::OnUpdatePage(const Text& body) {
    UpdatePlatform platform{messages_, openInBrowser_, [this] { StartDownloadWorker(); }};
    UpdateCheck(globals_, body, platform);
}

void Program::OnLessonMenuItemClicked(int group, int item) {
    if (auto entry = Lookup(group, item)) {
        globals_.CurrentUrl = RemoteAddress(*entry, hosts_);
        globals_.CurrentFileName = entry->cacheName;
        // The lesson that is downloading goes on, shown: no new probe, no new request.
        if (currentDownloadJob_ != 0 && currentDownloadIsLesson_ && currentDownloadFile_ == entry->cacheName) {
            ++choice_;  // what an earlier choice's probes find no longer applies
            display_->ShowView(ContentView::Downloading);
            return;
        }
        // A new lesson choice supersedes the running download.
        downloads_.SupersedeCurrent();
        currentDownloadJob_ = 0;
        OpenLesson();
    } else if (group == kGuestbookGroup && item == kGuestbookItem) {
        OpenGuestbook();
    }
}

void Program::OpenLesson() {
    const std::uint64_t choice = ++choice_;
    const Text url = globals_.CurrentUrl;
    const Text fileName = globals_.CurrentFileName;
    // The two probes wait on the lesson server: they run on a worker, and what they find
    // is applied only if no newer choice came in the meantime.
    probes_.Start([=, this, path = FilePath(fileName), timeouts = timeouts_.probe](std::stop_token stop) {
        ProbeLesson(url, path, timeouts, stop, [&](LessonStep step) {
            if (stop.stop_requested()) return;
            PostToUiThread([=, this] {
                if (choice != choice_) return;
                if (step == LessonStep::Play)
                    PlayFile(fileName);
                else
                    StartDownload(url, fileName, true);
            });
        });
        // A choice that plays from disk lets a waiting update go.
        if (!stop.stop_requested()) PostToUiThread([=, this] {
            if (choice == choice_) StartPendingUpdate();
        });
    });
}

void Program::PlayFile(const Text& fileName) {
    display_->ShowView(ContentView::Lesson);
    display_->SetFlashMovie(FilePath(fileName));
    display_->PlayFlash();
}

void Program::StartDownloadWorker() {
    // The update never stops a lesson download: the child's lesson comes first. It waits
    // until that download has ended (completed or failed), then starts with its display.
    if (currentDownloadJob_ != 0 && currentDownloadIsLesson_) {
        pendingUpdate_ = PendingUpdate{globals_.CurrentUrl, globals_.CurrentFileName};
        return;
    }
    StartDownload(globals_.CurrentUrl, globals_.CurrentFileName, false);
}

void Program::StartPendingUpdate() {
    if (!pendingUpdate_ || currentDownloadJob_ != 0 || ended_) return;
    const PendingUpdate update = std::move(*pendingUpdate_);
    pendingUpdate_.reset();
    StartDownload(update.url, update.fileName, false);
}

void Program::StartDownload(const Text& url, const Text& fileName, bool lesson) {
    const DownloadJob job{++lastDownloadJob_, url, FilePath(fileName), lesson};
    DownloadSettings settings;
    settings.connectTimeout = timeouts_.downloadConnect;
    settings.stallLimit = timeouts_.downloadStall;
    const bool started = downloads_.Start([this, job, settings](std::stop_token stop) mutable {
        settings.stop = std::move(stop);
        DownloadWorker(
            job,
            [this](DownloadEvent event) {
                PostToUiThread([this, event = std::move(event)] { OnDownloadEvent(event); });
            },
            settings);
    });
    if (!started) return;  // no thread: nothing happens
    currentDownloadJob_ = job.id;
    currentDownloadFile_ = fileName;
    currentDownloadIsLesson_ = lesson;
    // The downloading view, never with the last download's text, and the idle movie to
    // silence the lesson that played.
    display_->ShowView(ContentView::Downloading);
    display_->SetStatusCaption(DownloadWaitingCaption());
    display_->SetProgressPosition(0);
    display_->SetFlashMovie(FilePath(kIdleMovieName));
}

void Program::OnDownloadEvent(const DownloadEvent& event) {
    if (event.job != currentDownloadJob_) return;  // superseded
    switch (event.kind) {
    case DownloadEvent::Kind::Progress:
        display_->SetStatusCaption(event.caption);
        display_->SetProgressPosition(event.position);
        break;
    case DownloadEvent::Kind::Completed:
        currentDownloadJob_ = 0;
        display_->SetProgressPosition(0);
        display_->SetStatusCaption(DownloadCompleteCaption());
        if (event.movie)
            PlayFile(currentDownloadFile_);
        else
            ShowDownloadedFile(currentDownloadFile_);
        StartPendingUpdate();
        break;
    case DownloadEvent::Kind::Failed:
        currentDownloadJob_ = 0;
        if (!event.message.empty()) ShowMessage(messages_, event.message);
        StartPendingUpdate();
        break;
    }
}

void Program::ShowDownloadedFile(const Text& fileName) {
    // Not a movie: the player would show black. Say where it is, and show its folder.
    ShowMessage(messages_, Gbk<"新版本已下载到：\n">() + FromUtf8(dataDirectory_) + Gbk<"\n文件：">() + fileName);
    if (openFolder_) openFolder_(dataDirectory_);
}

void Program::SilenceLessonAndShowWebView() {
    ++choice_;  // a lesson still being probed no longer plays
    display_->SetFlashMovie(FilePath(globals_.CurrentFileName));
    display_->PlayFlash();
    display_->ShowView(ContentView::WebPage);
}

void Program::OnPageButtonClicked(int page) {
    globals_.PageIndex = page;
    globals_.CurrentFileName = kIdleMovieName;
    SilenceLessonAndShowWebView();
    // A fresh window for every click, modal over the main window until it is closed.
    LoadedWindow pages(PagesWindowDescription(), *this);
    pagesWindow_ = &pages;
    pages.FireCreated();
    pages.ExecModal();
    pagesWindow_ = nullptr;
}

void Program::OnPagesWindowCreated() {
    const Text address = SitePageAddress(hosts_.SiteBaseUrl(), globals_.PageIndex);
    if (!pagesWindow_ || address.empty()) return;
    if (auto* view = pagesWindow_->controlAs<WebView>(names::kWebView)) view->Navigate(ToQString(address));
}

void Program::OpenGuestbook() {
    globals_.CurrentFileName = kIdleMovieName;
    SilenceLessonAndShowWebView();
    display_->SetWebAddress(hosts_.SiteBaseUrl() + "gb/");
}

void Program::OnButton5To8Clicked() { ShowMessage(messages_, msg::PleaseWaitForUpgrade()); }

}  // namespace pw
