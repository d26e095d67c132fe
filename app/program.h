#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "app/network_session.h"
#include "core/hosts.h"
#include "core/message.h"
#include "lessons/catalogue.h"
#include "lessons/display.h"
#include "lessons/download_progress.h"
#include "lessons/download_worker.h"
#include "lessons/lesson_folder.h"
#include "lessons/lesson_hashes.h"
#include "lessons/lesson_library.h"
#include "lessons/parent_corner_state.h"
#include "lessons/program_state.h"
#include "lessons/shelf.h"
#include "lessons/store.h"
#include "lessons/whole_file_checker.h"
#include "net/remote_size_probe.h"
#include "net/update_page_request.h"
#include "ui/window_description.h"

namespace pw {

class LoadedWindow;
class ParentCorner;

// How long the program waits on the network; tests shorten them.
struct NetworkTimeouts {
    ProbeTimeouts probe;
    PageTimeouts page;
    std::chrono::milliseconds downloadConnect{5000};
    std::chrono::milliseconds downloadStall{30000};
};

// What the program reads before its window can be built: the store (what an earlier
// version kept in files of its own read into it once) and the catalogue, the kept one
// when it verifies with `catalogueKey`, else the built-in one. Safe on any thread, so
// that it can be read while the application and its window are made.
struct StartData {
    std::unique_ptr<Store> store;
    Catalogue catalogue;
};
StartData ReadStartData(const Text& storeFile, const Text& dataDirectory, const Text& catalogueKey);

// What the program is made with.
struct ProgramSetup {
    Hosts hosts;
    Text dataDirectory;  // where the idle movie, the lesson caches and update files live
    // The minisign public key (base64) the site's lesson catalogue must be signed with;
    // empty: none is looked for, and the built-in lessons are all there is.
    Text catalogueKey;
    MessagePort* messages = nullptr;  // message boxes; must outlive the program
    std::function<void(const Text& url)> openInBrowser;
    // Shows a folder of the data directory in the desktop's file manager.
    std::function<void(const Text& folder)> openFolder;
    NetworkTimeouts timeouts;
    Text parentSettingsFile;  // empty: the parent corner's defaults, kept nowhere
    // The store's database: the corner's record, the lessons' hashes, the history of use.
    // Empty: in memory, nothing outlasts the run. An earlier version's state.ini beside it
    // and lessons.hashes in the data directory are read into it once.
    Text storeFile;
    CornerClocks clocks;      // for the session and the gate's pause; empty: the system's
    // Whether a lesson's cache file is whole, for its menu mark; empty: the whole-movie
    // rule. Runs on the checker's thread.
    std::function<bool(const Text& path)> isWholeMovie;
    // The bytes the data folder's disk still takes; empty: the system's answer.
    std::function<std::optional<std::uint64_t>(const Text& folder)> freeDiskSpace;
    // How long a lesson plays before the shelf's snapshot of it is taken.
    std::chrono::milliseconds snapshotDelay{5000};
    // Read already, from `storeFile`, `dataDirectory` and `catalogueKey`; empty: the
    // program reads them itself.
    std::optional<StartData> startData;
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
    // The main window itself, for the parent corner; after AttachDisplay.
    void AttachMainWindow(LoadedWindow& mainWindow);
    ParentCorner& parentCorner() { return *parentCorner_; }
    Store& store() { return *store_; }

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
    void OnParentCornerClicked();
    void OnFullScreenClicked();
    // The shelf (program_shelf.cpp): the "书架" button and Esc show it or leave it; a heart
    // marks a favourite or unmarks it.
    void OnShelfClicked();
    void OnFavouriteClicked(int group, int item);
    // The shelf's rows as they are now.
    std::vector<ShelfRow> ShelfContent() const;
    // The lesson has played for the snapshot's delay: it is taken unless something covers
    // the lesson, and tried again after as long again then.
    void OnSnapshotDue();

    // Downloads every lesson that is not whole on disk, one after another, with one
    // overall progress: the usual caption, its waiting line saying "正在下载第 k / n 课".
    // A lesson chosen meanwhile goes first; the rest follow it. A lesson that fails is
    // skipped, and the ones not whole at the end are named in one message. Nothing while
    // it runs already, nor when the sizes the catalogue gives do not fit on the disk (a
    // message says so).
    void StartDownloadAll();
    // Stops it; the lesson in hand keeps its partial file, and nothing is reported.
    void CancelDownloadAll();
    bool DownloadAllRunning() const { return downloadAll_.running; }

    // The parent's library: the lessons of the catalogue whose file is on this computer,
    // newest use first, and the disk's free space.
    LibraryListing Library() const;
    // Deletes a lesson's file and its parts, and its menu mark goes. False, with nothing
    // deleted, for a lesson in use or not in the catalogue; false too when the file stays.
    bool DeleteLesson(const Text& cacheName);
    // Every lesson on disk but the one in use.
    void DeleteAllLessons();
    // The lesson shown now, or being chosen or downloaded: its file must stay.
    bool LessonInUse(const Text& cacheName) const;
    // The catalogue's title of a cache file; the name itself for a lesson no longer offered.
    Text LessonTitle(const Text& cacheName) const;
    // The lessons carried in a folder (ExportLessons, ImportLessons), on a worker: each
    // file's line and count go to `progress`, the summary to `done`, on the UI thread. After
    // an import the menu and its marks follow what came in.
    void CarryLessons(bool importing, const Text& folder, FolderProgress progress,
                      std::function<void(const Text& summary)> done);

    // Stops every worker at once (partial files stay), and an update check not yet
    // started; run when the main window has closed.
    void EndProgram();

    ProgramState& globals() { return globals_; }
    const Hosts& hosts() const { return hosts_; }
    // dataDirectory + "/" + name.
    Text FilePath(const Text& name) const;
    // True while a download, probe or update check runs; how many threads have started;
    // whether a lesson file's check is not yet applied (for tests).
    bool WorkersRunning() const;
    bool FileChecksPending() const { return lessonChecksOut_ > 0; }
    std::uint64_t WorkersStarted() const;
    // True when the lesson at (group, item) was last found whole on disk (its menu mark).
    bool LessonReady(int group, int item) const;
    // The lessons offered: the built-in ones, or those of the signed catalogue in use.
    const Catalogue& catalogue() const { return catalogue_; }

private:
    Program(StartData start, ProgramSetup& setup);
    // The site's catalogue (program_catalogue.cpp): the one kept from an earlier run,
    // verified before the window shows; a newer one fetched on a worker after it shows.
    void StartCatalogueFetch();
    void OnCatalogueFetched(Catalogue catalogue);
    // The lesson of the catalogue whose cache file is `fileName`, or nothing.
    const LessonEntry* LessonByCacheFile(const Text& fileName) const;
    // How a lesson's file is judged whole while its download arrives, or once it is on
    // disk: by its catalogue's size and hash when it has them.
    std::function<bool(const Text&, const SwfByteSource&)> WholeLessonRule(const Text& fileName);

    void PlayFile(const Text& fileName);
    // Shows that view in the content area; the history of use follows which lesson it shows.
    void ShowView(ContentView view);
    // `lesson`: a lesson's cache file (kept only when it is a whole movie, resumed), else
    // an update file. `takeView`: the downloading view replaces what the content area
    // shows, and the lesson that played is silenced. `caption`: the status label's first
    // text.
    void StartDownload(const Text& url, const Text& fileName, bool lesson, bool takeView = true,
                       const Text& caption = DownloadWaitingCaption());
    // The update said Yes to starts when no download runs: over the content area while no
    // lesson of the child's has it, else behind the lesson.
    void StartPendingUpdate();
    void OnUpdateEvent(const DownloadEvent& event);
    void ShowDownloadedFile(const Text& fileName);
    void SilenceLessonAndShowWebView();
    void OnDownloadEvent(const DownloadEvent& event);
    void StartUpdateCheck();
    void OnUpdatePage(const Text& body);
    // The child's rest is over: an update page that came during it is answered now.
    void OnRestEnded();
    // Runs `apply` on the UI thread later, if the program still exists then.
    void PostToUiThread(std::function<void()> apply);
    // The menu's marks: which cache files are whole, checked off the UI thread.
    void CheckLessonFile(std::size_t lesson);
    void OnLessonsImported();
    void CheckCacheFile(const Text& fileName);
    void OnLessonFileChecked(std::size_t lesson, bool whole);
    void MarkLesson(std::size_t lesson, bool whole);
    // A completed lesson download is whole already: the worker checked it before keeping
    // it. A check asked for before then no longer tells of the file.
    void MarkCacheFileWhole(const Text& fileName);
    // Download all: starts the next lesson when nothing else needs the worker.
    void ContinueDownloadAll();
    void OnDownloadAllEvent(const DownloadEvent& event);
    void FinishDownloadAll();
    // The catalogue's pictures, kept or fetched on a worker once the catalogue is settled.
    void StartPictureFetch();
    // The picture a lesson's tile shows; empty: one drawn from its title.
    Text PictureOf(const LessonEntry& lesson) const;
    // A lesson with no catalogue picture is snapped once it has played for a while.
    void StartSnapshotClock(const Text& fileName);

    NetworkSession session_;  // first made, last gone
    // Everything below may write to it; made before the catalogue, whose no-rollback floor
    // it keeps.
    std::unique_ptr<Store> store_;
    ProgramState globals_;
    Hosts hosts_;
    Text dataDirectory_;
    Text catalogueKey_;
    Catalogue catalogue_;
    MessagePort& messages_;
    std::function<void(const Text&)> openInBrowser_;
    std::function<void(const Text&)> openFolder_;
    std::function<std::optional<std::uint64_t>(const Text&)> freeDiskSpace_;
    NetworkTimeouts timeouts_;
    NoDisplay noDisplay_;  // until the main window's display is attached
    Display* display_ = &noDisplay_;
    LoadedWindow* pagesWindow_ = nullptr;  // while the pages window is open
    std::unique_ptr<ParentCorner> parentCorner_;
    bool ended_ = false;  // EndProgram has run

    // Counts the choices that supersede a pending lesson probe: lesson choices, page
    // buttons and the guestbook.
    std::uint64_t choice_ = 0;
    std::uint64_t lastDownloadJob_ = 0;
    std::uint64_t currentDownloadJob_ = 0;  // 0: none whose events are wanted
    Text currentDownloadFile_;
    bool currentDownloadIsLesson_ = false;
    // The content area shows, or waits for, a lesson the child chose.
    bool lessonChosen_ = false;
    Text playingFile_;  // the movie the player has, but for the idle one
    // An update download the user said Yes to, until it is in. It never stops a lesson
    // download: it waits for it to end, and a lesson download stops it (its part stays).
    struct AcceptedUpdate {
        Text url;
        Text fileName;
        // The child's lesson has the content area: the update's figures go to the strip
        // below it, and once in, the update is announced, not played.
        bool behind = false;
        std::uint64_t job = 0;  // its download, while one runs
    };
    std::optional<AcceptedUpdate> update_;
    std::optional<Text> updatePageAfterRest_;  // its question waits until the rest is over

    // Whole on disk, by catalogue index; and how many checks are still out.
    std::vector<bool> lessonReady_;
    std::size_t lessonChecksOut_ = 0;
    // The lesson each check is about, by its tag; checks whose answers no longer count
    // are not here (about a former catalogue's lessons, or asked before a lesson's
    // download completed), and their answers are dropped.
    std::map<std::size_t, std::size_t> fileChecks_;
    std::size_t lastFileCheck_ = 0;
    std::size_t lessonProbesOut_ = 0;  // lesson choices whose probes have not yet ended

    struct DownloadAll {
        bool running = false;
        bool listed = false;  // its lessons were chosen by the marks checked at its start
        std::vector<std::size_t> lessons;  // catalogue indices, as listed
        std::deque<std::size_t> pending;
        std::optional<std::size_t> current;
        std::size_t number = 0;   // of the lesson in hand, from 1
        std::uint64_t job = 0;    // its download
        bool hasView = false;     // it may show its display: nothing else was shown since its start
        bool shown = false;       // and it did
    } downloadAll_;

    std::map<Text, Text> cataloguePictures_;  // by cache name: the pictures kept whole
    Text snapshotLesson_;                     // the cache file the snapshot clock runs for
    std::chrono::milliseconds snapshotDelay_;
    LoadedWindow* mainWindow_ = nullptr;

    LessonHashes hashes_;  // used by the threads below; kept in the store
    QObject uiThreadEvents_;  // queued results land here; dropped once it is gone
    WholeFileChecker lessonFiles_;
    // Declared after what their threads' results reach, so they are joined first.
    WorkerThreads catalogueFetch_;
    WorkerThreads updateCheck_;
    WorkerThreads probes_;
    WorkerThreads downloads_;
    WorkerThreads folderWork_;  // an export or import of lessons
    WorkerThreads pictureFetch_;
    WorkerThreads snapshotWrites_;
    QTimer snapshotClock_;
};

}  // namespace pw
