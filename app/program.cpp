#include "app/program.h"

#include "app/parent_corner.h"

#include "assets/idle_movie.h"
#include "core/files.h"
#include "host/web_view.h"
#include "host/qt_text.h"
#include "lessons/catalogue.h"
#include "lessons/download_progress.h"
#include "lessons/lesson_selection.h"
#include "lessons/site_catalogue.h"
#include "lessons/update_check.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {
namespace {

StartData ReadOrTake(ProgramSetup& setup) {
    if (setup.startData) return std::move(*setup.startData);
    return ReadStartData(setup.storeFile, setup.dataDirectory, setup.catalogueKey);
}

}  // namespace

StartData ReadStartData(const Text& storeFile, const Text& dataDirectory, const Text& catalogueKey) {
    StartData data{std::make_unique<Store>(storeFile), BuiltInCatalogue()};
    if (!storeFile.empty()) BringInCornerRecord(JoinPath(FolderOf(storeFile), kOldStateFileName), *data.store);
    if (!storeFile.empty() && !dataDirectory.empty())
        BringInKeptHashes(JoinPath(dataDirectory, kLessonHashesName), *data.store);
    if (!catalogueKey.empty())
        if (auto kept = ReadKeptCatalogue(dataDirectory, catalogueKey, data.store.get())) data.catalogue = std::move(*kept);
    return data;
}

Program::Program(ProgramSetup setup) : Program(ReadOrTake(setup), setup) {}

Program::Program(StartData start, ProgramSetup& setup)
    : store_(std::move(start.store)),
      hosts_(std::move(setup.hosts)),
      dataDirectory_(std::move(setup.dataDirectory)),
      catalogueKey_(std::move(setup.catalogueKey)),
      catalogue_(std::move(start.catalogue)),
      messages_(*setup.messages),
      openInBrowser_(std::move(setup.openInBrowser)),
      openFolder_(std::move(setup.openFolder)),
      freeDiskSpace_(setup.freeDiskSpace ? std::move(setup.freeDiskSpace) : FreeDiskSpace),
      timeouts_(setup.timeouts),
      parentCorner_(std::make_unique<ParentCorner>(ParentCornerSetup{
          std::move(setup.parentSettingsFile), store_.get(), std::move(setup.clocks), hosts_.site,
          openInBrowser_,
          DownloadAllActions{[this] { StartDownloadAll(); }, [this] { CancelDownloadAll(); },
                             [this] { return DownloadAllRunning(); }},
          [this] { OnRestEnded(); },
          LibraryActions{[this] { return Library(); }, [this](const Text& name) { return DeleteLesson(name); },
                         [this] { DeleteAllLessons(); }, [this](const Text& name) { return LessonInUse(name); },
                         [this](bool importing, const Text& folder, auto progress, auto done) {
                             CarryLessons(importing, folder, std::move(progress), std::move(done));
                         }},
          [this](const Text& name) { return LessonTitle(name); }, &messages_})),
      lessonReady_(catalogue_.lessons.size(), false),
      snapshotDelay_(setup.snapshotDelay),
      hashes_(store_.get()),
      lessonFiles_(hashes_, [this](std::size_t check, bool whole) {
          PostToUiThread([this, check, whole] { OnLessonFileChecked(check, whole); });
      }, std::move(setup.isWholeMovie)) {
    snapshotClock_.setSingleShot(true);
    QObject::connect(&snapshotClock_, &QTimer::timeout, &uiThreadEvents_, [this] { OnSnapshotDue(); });
}

void Program::AttachMainWindow(LoadedWindow& mainWindow) {
    mainWindow_ = &mainWindow;
    parentCorner_->Attach(mainWindow);
}

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
    downloadAll_ = {};
    update_.reset();
    // All are asked at once, then joined: each request ends promptly once asked.
    downloads_.SupersedeCurrent();
    probes_.SupersedeCurrent();
    updateCheck_.SupersedeCurrent();
    catalogueFetch_.SupersedeCurrent();
    folderWork_.SupersedeCurrent();
    pictureFetch_.SupersedeCurrent();
    snapshotClock_.stop();
    downloads_.StopAll();
    folderWork_.StopAll();
    probes_.StopAll();
    updateCheck_.StopAll();
    catalogueFetch_.StopAll();
    pictureFetch_.StopAll();
    snapshotWrites_.StopAll();  // a snapshot being written is finished first
    currentDownloadJob_ = 0;
}

Text Program::FilePath(const Text& name) const { return JoinPath(dataDirectory_, name); }

bool Program::WorkersRunning() const {
    return downloads_.Running() || probes_.Running() || updateCheck_.Running() || catalogueFetch_.Running() ||
           pictureFetch_.Running() || snapshotWrites_.Running();
}

std::uint64_t Program::WorkersStarted() const {
    return downloads_.Started() + probes_.Started() + updateCheck_.Started() + catalogueFetch_.Started() +
           pictureFetch_.Started() + snapshotWrites_.Started();
}

bool Program::LessonReady(int group, int item) const {
    const LessonEntry* lesson = FindLesson(catalogue_, group, item);
    return lesson && lessonReady_[static_cast<std::size_t>(lesson - catalogue_.lessons.data())];
}

void Program::CheckLessonFile(std::size_t lesson) {
    const LessonEntry& entry = catalogue_.lessons[lesson];
    ++lessonChecksOut_;
    fileChecks_[++lastFileCheck_] = lesson;
    lessonFiles_.Check(lastFileCheck_, FilePath(entry.cacheName), entry.digest);
}

void Program::CheckCacheFile(const Text& fileName) {
    for (std::size_t i = 0; i < catalogue_.lessons.size(); ++i)
        if (catalogue_.lessons[i].cacheName == fileName) CheckLessonFile(i);
}

void Program::MarkCacheFileWhole(const Text& fileName) {
    for (std::size_t i = 0; i < catalogue_.lessons.size(); ++i) {
        if (catalogue_.lessons[i].cacheName != fileName) continue;
        // Checks of its file asked before now may have looked at it before it was renamed
        // into place: their answers are dropped.
        std::erase_if(fileChecks_, [i](const auto& check) { return check.second == i; });
        MarkLesson(i, true);
        // Its hash was learnt as it was kept; a check finds it at once, and keeps it for
        // the next start.
        if (catalogue_.lessons[i].digest) CheckLessonFile(i);
    }
}

void Program::OnLessonFileChecked(std::size_t check, bool whole) {
    --lessonChecksOut_;
    // The lesson a check is about; nothing when its answer no longer counts (about a former
    // catalogue's lesson, or asked before the lesson's download completed).
    std::optional<std::size_t> lesson;
    if (const auto asked = fileChecks_.find(check); asked != fileChecks_.end()) {
        lesson = asked->second;
        fileChecks_.erase(asked);
    }
    if (ended_) return;
    if (lesson) MarkLesson(*lesson, whole);
    ContinueDownloadAll();
}

void Program::MarkLesson(std::size_t lesson, bool whole) {
    lessonReady_[lesson] = whole;
    const LessonEntry& entry = catalogue_.lessons[lesson];
    display_->SetLessonReady(entry.group, entry.item, whole);
}

void Program::StartDownloadAll() {
    if (downloadAll_.running || ended_) return;
    // By the marks as they are: a lesson found whole since needs no room.
    if (const auto tooBig = NotEnoughSpaceMessage(KnownDownloadSize(catalogue_, lessonReady_),
                                                  freeDiskSpace_(dataDirectory_))) {
        ShowMessage(messages_, *tooBig);
        return;
    }
    downloadAll_ = {};
    downloadAll_.running = true;
    downloadAll_.hasView = true;
    parentCorner_->ShowDownloadAllState();
    // Which lessons it fetches is known once every cache file has been looked at afresh.
    for (std::size_t lesson = 0; lesson < lessonReady_.size(); ++lesson) CheckLessonFile(lesson);
}

void Program::ContinueDownloadAll() {
    DownloadAll& all = downloadAll_;
    if (!all.running || ended_) return;
    // The marks must be current: they choose the lessons and tell which were fetched.
    if (lessonChecksOut_ > 0) return;
    if (!all.listed) {
        for (std::size_t lesson = 0; lesson < lessonReady_.size(); ++lesson)
            if (!lessonReady_[lesson]) all.lessons.push_back(lesson);
        all.pending.assign(all.lessons.begin(), all.lessons.end());
        all.listed = true;
    }
    if (all.current) {
        if (currentDownloadJob_ == all.job) return;  // still on its way
        // A lesson choice or an update superseded it: it comes again after them.
        all.pending.push_front(*all.current);
        all.current.reset();
        --all.number;
    }
    // A chosen lesson goes first: its probes, then its download.
    if (lessonProbesOut_ > 0 || currentDownloadJob_ != 0) return;
    while (!all.pending.empty()) {
        const std::size_t lesson = all.pending.front();
        all.pending.pop_front();
        ++all.number;
        if (lessonReady_[lesson]) continue;  // fetched meanwhile
        const LessonEntry& entry = catalogue_.lessons[lesson];
        StartDownload(RemoteAddress(entry, hosts_), entry.cacheName, true, all.hasView,
                      DownloadAllCaption(all.number, all.lessons.size(), DownloadWaitingCaption()));
        if (currentDownloadJob_ == 0) continue;  // no thread: it stays not whole
        all.shown = all.shown || all.hasView;
        all.current = lesson;
        all.job = currentDownloadJob_;
        return;
    }
    FinishDownloadAll();
}

void Program::OnDownloadAllEvent(const DownloadEvent& event) {
    DownloadAll& all = downloadAll_;
    switch (event.kind) {
    case DownloadEvent::Kind::Progress:
        display_->SetStatusCaption(DownloadAllCaption(all.number, all.lessons.size(), event.caption));
        display_->SetProgressPosition(event.position);
        return;
    case DownloadEvent::Kind::Completed:
    case DownloadEvent::Kind::Failed:
        // Whether it was fetched is what its file says; a failure is told once, at the end.
        currentDownloadJob_ = 0;
        all.current.reset();
        if (event.diskFull) {
            // No lesson after it would fit either: the disk's message, and the list at the end.
            all.pending.clear();
            ShowMessage(messages_, event.message);
        }
        if (event.kind == DownloadEvent::Kind::Completed)
            MarkCacheFileWhole(currentDownloadFile_);
        else
            CheckCacheFile(currentDownloadFile_);
        StartPendingUpdate();  // an update the parent said Yes to goes before the next lesson
        ContinueDownloadAll();
        return;
    }
}

void Program::FinishDownloadAll() {
    DownloadAll& all = downloadAll_;
    all.running = false;
    parentCorner_->ShowDownloadAllState();
    if (all.hasView && all.shown) {
        display_->HideDownloadDisplay();
        ShowView(ContentView::WebPage);
    }
    // An update said Yes to meanwhile waited for the lesson in hand; it goes now.
    StartPendingUpdate();
    Text failed;
    for (std::size_t lesson : all.lessons) {
        if (lessonReady_[lesson]) continue;
        if (!failed.empty()) failed += Gbk<"、">();
        failed += catalogue_.lessons[lesson].title;
    }
    if (!failed.empty()) ShowMessage(messages_, Gbk<"这些课程没有下载成功：">() + failed);
}

void Program::CancelDownloadAll() {
    DownloadAll& all = downloadAll_;
    if (!all.running) return;
    if (all.current && currentDownloadJob_ == all.job) {
        downloads_.SupersedeCurrent();
        currentDownloadJob_ = 0;
    }
    all.lessons.clear();  // nothing to report
    all.pending.clear();
    all.current.reset();
    FinishDownloadAll();
}

void Program::PostToUiThread(std::function<void()> apply) {
    QMetaObject::invokeMethod(&uiThreadEvents_, std::move(apply), Qt::QueuedConnection);
}

void Program::HandleWindowEvent(WindowEvent event, int group, int item) {
    // After the session's end only the parent corner answers the controls; the windows are
    // still made (a rest kept from the last run holds from the start).
    const bool made = event == WindowEvent::MainWindowCreated || event == WindowEvent::PagesWindowCreated;
    if (parentCorner_->Resting() && !made && event != WindowEvent::ParentCornerClicked) return;
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
    case WindowEvent::ParentCornerClicked: OnParentCornerClicked(); break;
    case WindowEvent::FullScreenClicked: OnFullScreenClicked(); break;
    case WindowEvent::ShelfClicked: OnShelfClicked(); break;
    case WindowEvent::FavouriteClicked: OnFavouriteClicked(group, item); break;
    }
}

void Program::OnMainWindowCreated() {
    globals_.CurrentVersion = "2.0";

    // The window shows at once with the home page; the update page is read on a worker
    // and its question comes when the answer does.
    display_->HideDownloadDisplay();
    ShowView(ContentView::WebPage);
    // Before the window is first shown: a web view shown without its page makes Qt make
    // the window again, under a new id, once the page comes.
    display_->SetWebAddress(hosts_.SiteBaseUrl() + "index.html");
    display_->SetLessonMenu(LessonMenu(catalogue_));

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
    for (std::size_t lesson = 0; lesson < lessonReady_.size(); ++lesson) CheckLessonFile(lesson);
    StartCatalogueFetch();
}

void Program::StartUpdateCheck() {
    const Text pageUrl = hosts_.SiteBaseUrl() + "test.html";
    updateCheck_.Start([this, pageUrl, timeouts = timeouts_.page](std::stop_token stop) {
        Text body = FetchUpdatePage(pageUrl, timeouts, stop);
        if (!stop.stop_requested()) PostToUiThread([this, body = std::move(body)] { OnUpdatePage(body); });
    });
}

void Program::OnUpdatePage(const Text& body) {
    // A child who rests gets no question: it comes once the rest is over.
    if (parentCorner_->Resting()) {
        updatePageAfterRest_ = body;
        return;
    }
    auto openInBrowser = [this](const Text& url) {
        if (parentCorner_->MayLeave()) openInBrowser_(url);
    };
    UpdatePlatform platform{messages_, openInBrowser, [this] { StartDownloadWorker(); }};
    UpdateCheck(globals_, body, platform);
}

void Program::OnRestEnded() {
    if (updatePageAfterRest_ && !ended_) OnUpdatePage(*std::exchange(updatePageAfterRest_, std::nullopt));
}

void Program::OnLessonMenuItemClicked(int group, int item) {
    if (const LessonEntry* entry = FindLesson(catalogue_, group, item)) {
        globals_.CurrentUrl = RemoteAddress(*entry, hosts_);
        globals_.CurrentFileName = entry->cacheName;
        lessonChosen_ = true;
        // The lesson that is downloading goes on, shown: no new probe, no new request.
        if (currentDownloadJob_ != 0 && currentDownloadIsLesson_ && currentDownloadFile_ == entry->cacheName) {
            ++choice_;  // what an earlier choice's probes find no longer applies
            // Download all's lesson becomes the child's: it plays when whole, and the
            // queue goes on after it.
            if (downloadAll_.current && downloadAll_.job == currentDownloadJob_) downloadAll_.current.reset();
            downloadAll_.hasView = false;
            ShowView(ContentView::Downloading);
            return;
        }
        // An update said Yes to goes behind the lesson: one that runs goes on unless the
        // lesson must download first.
        const bool updateRuns = update_ && update_->job != 0;
        if (updateRuns && !update_->behind) display_->HideDownloadDisplay();
        if (update_) update_->behind = true;
        if (!updateRuns) {
            // A new lesson choice supersedes the running download.
            downloads_.SupersedeCurrent();
            currentDownloadJob_ = 0;
        }
        OpenLesson();
    } else if (group == GuestbookGroup(catalogue_) && item == kGuestbookItem) {
        OpenGuestbook();
    }
}

void Program::OpenLesson() {
    const std::uint64_t choice = ++choice_;
    const Text url = globals_.CurrentUrl;
    const Text fileName = globals_.CurrentFileName;
    const LessonEntry* lesson = LessonByCacheFile(fileName);
    const std::optional<LessonDigest> digest = lesson ? lesson->digest : std::nullopt;
    // The two probes wait on the lesson server: they run on a worker, and what they find
    // is applied only if no newer choice came in the meantime.
    ++lessonProbesOut_;  // until the probes have ended
    const bool started = probes_.Start([=, this, path = FilePath(fileName), timeouts = timeouts_.probe](std::stop_token stop) {
        DecideLesson(url, path, digest, hashes_, timeouts, stop, [&](LessonStep step) {
            if (stop.stop_requested()) return;
            PostToUiThread([=, this] {
                if (choice != choice_) return;
                if (step == LessonStep::Play)
                    PlayFile(fileName);
                else
                    StartDownload(url, fileName, true);
            });
        });
        // The choice has had its say: a choice that plays from disk lets a waiting update
        // go, and a download of all lessons may go on.
        const bool stopped = stop.stop_requested();
        PostToUiThread([=, this] {
            --lessonProbesOut_;
            if (!stopped && choice == choice_) StartPendingUpdate();
            ContinueDownloadAll();
        });
    });
    if (!started) --lessonProbesOut_;
}

void Program::PlayFile(const Text& fileName) {
    // A download that ends while the child rests keeps its lesson for later.
    if (parentCorner_->Resting()) return;
    downloadAll_.hasView = false;  // the lesson keeps the content area
    ShowView(ContentView::Lesson);
    playingFile_ = fileName;
    display_->SetFlashMovie(FilePath(fileName));
    display_->PlayFlash();
    parentCorner_->LessonShown(fileName);  // the recent row's record too
    StartSnapshotClock(fileName);
}

void Program::ShowView(ContentView view) {
    display_->ShowView(view);
    if (view != ContentView::Lesson) parentCorner_->LessonShown({});
}

void Program::StartDownloadWorker() {
    // The update never stops a lesson download, and never takes the content area from a
    // lesson the child chose: it then downloads behind it.
    update_ = AcceptedUpdate{globals_.CurrentUrl, globals_.CurrentFileName, lessonChosen_};
    StartPendingUpdate();
}

void Program::StartPendingUpdate() {
    if (!update_ || update_->job != 0 || currentDownloadJob_ != 0 || ended_) return;
    StartDownload(update_->url, update_->fileName, false, !update_->behind);
    update_->job = currentDownloadJob_;
    if (update_->job == 0) update_.reset();  // no thread: nothing happens
}

void Program::StartDownload(const Text& url, const Text& fileName, bool lesson, bool takeView, const Text& caption) {
    const LessonEntry* entry = lesson ? LessonByCacheFile(fileName) : nullptr;
    const DownloadJob job{++lastDownloadJob_, url, FilePath(fileName), lesson,
                          lesson ? WholeLessonRule(fileName) : nullptr,
                          entry && entry->digest ? entry->digest->size : 0,
                          entry && entry->digest ? MirrorAddresses(catalogue_, *entry) : std::vector<Text>{}};
    DownloadSettings settings;
    settings.connectTimeout = timeouts_.downloadConnect;
    settings.stallLimit = timeouts_.downloadStall;
    // A lesson download stops the update's (its part stays); the update goes on after it.
    if (update_ && update_->job != 0) {
        update_->job = 0;
        display_->SetUpdateFigures({});
    }
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
    if (lesson) CheckCacheFile(fileName);  // found not complete: is it still whole?
    // Never with the last download's text.
    display_->SetStatusCaption(caption);
    display_->SetProgressPosition(0);
    if (!takeView) return;
    // The downloading view, and the idle movie to silence the lesson that played.
    ShowView(ContentView::Downloading);
    playingFile_.clear();
    display_->SetFlashMovie(FilePath(kIdleMovieName));
}

void Program::OnDownloadEvent(const DownloadEvent& event) {
    if (event.job != currentDownloadJob_) return;  // superseded
    if (downloadAll_.current && event.job == downloadAll_.job) return OnDownloadAllEvent(event);
    if (update_ && event.job == update_->job && update_->behind) return OnUpdateEvent(event);
    switch (event.kind) {
    case DownloadEvent::Kind::Progress:
        display_->SetStatusCaption(event.caption);
        display_->SetProgressPosition(event.position);
        break;
    case DownloadEvent::Kind::Completed:
        currentDownloadJob_ = 0;
        if (update_ && event.job == update_->job) update_.reset();
        MarkCacheFileWhole(currentDownloadFile_);
        display_->SetProgressPosition(0);
        display_->SetStatusCaption(DownloadCompleteCaption());
        if (event.movie)
            PlayFile(currentDownloadFile_);
        else
            ShowDownloadedFile(currentDownloadFile_);
        // The lesson that was on disk plays; the newer one did not fit (the disk is full).
        if (!event.message.empty()) ShowMessage(messages_, event.message);
        StartPendingUpdate();
        break;
    case DownloadEvent::Kind::Failed:
        currentDownloadJob_ = 0;
        if (update_ && event.job == update_->job) update_.reset();
        CheckCacheFile(currentDownloadFile_);
        if (!event.message.empty()) ShowMessage(messages_, event.message);
        StartPendingUpdate();
        break;
    }
    ContinueDownloadAll();
}

void Program::OnUpdateEvent(const DownloadEvent& event) {
    if (event.kind == DownloadEvent::Kind::Progress) {
        display_->SetUpdateFigures(Gbk<"正在下载新版本：">() + event.figures);
        return;
    }
    currentDownloadJob_ = 0;
    update_.reset();
    display_->SetUpdateFigures({});
    // Kept and told of, never played over the child's lesson.
    if (event.kind == DownloadEvent::Kind::Completed)
        ShowDownloadedFile(currentDownloadFile_);
    else if (!event.message.empty())
        ShowMessage(messages_, event.message);
    ContinueDownloadAll();
}

void Program::ShowDownloadedFile(const Text& fileName) {
    // Not a movie (the player would show black), or an update that came in behind the
    // child's lesson: say where it is, and show its folder.
    ShowMessage(messages_, Gbk<"新版本已下载到：\n">() + FromUtf8(dataDirectory_) + Gbk<"\n文件：">() + fileName);
    // The file manager leaves the program: through the gate when a parent asked for it.
    if (openFolder_ && parentCorner_->MayLeave()) openFolder_(dataDirectory_);
}

void Program::SilenceLessonAndShowWebView() {
    downloadAll_.hasView = false;  // the page keeps the content area
    lessonChosen_ = false;
    ++choice_;  // a lesson still being probed no longer plays
    playingFile_.clear();  // the idle movie
    display_->SetFlashMovie(FilePath(globals_.CurrentFileName));
    display_->PlayFlash();
    ShowView(ContentView::WebPage);
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
    if (auto* view = pagesWindow_->controlAs<WebView>(names::kWebView)) {
        parentCorner_->PrepareWebView(*view);
        view->Navigate(ToQString(address));
    }
}

void Program::OpenGuestbook() {
    globals_.CurrentFileName = kIdleMovieName;
    SilenceLessonAndShowWebView();
    display_->SetWebAddress(hosts_.SiteBaseUrl() + "gb/");
}

void Program::OnButton5To8Clicked() { ShowMessage(messages_, msg::PleaseWaitForUpgrade()); }

void Program::OnParentCornerClicked() { parentCorner_->Open(); }

void Program::OnFullScreenClicked() { parentCorner_->ToggleFullScreen(); }

}  // namespace pw
