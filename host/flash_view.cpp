#include "host/flash_view.h"

#include <algorithm>
#include <utility>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTimer>
#include <QUuid>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "core/memory.h"
#include "host/first_frame.h"
#include "host/flash_scheme.h"

namespace pw {

namespace {

// Only a file that begins like a movie is handed to Ruffle; anything else would
// show Ruffle's error panel instead of an empty view.
bool LooksLikeSwf(const QString& path) {
    QFile file(path);
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray signature = file.read(3);
    return signature == "FWS" || signature == "CWS" || signature == "ZWS";
}

// How long a movie may take to be reported loaded before the page counts as failed.
constexpr int kLoadWatchMs = 8000;
// Reloads for one movie: a movie Ruffle cannot read at all is not retried for ever.
constexpr int kMaxRecoveries = 2;
// Ruffle leaves a little memory behind in its page for every player it has made, and a
// child's afternoon is hundreds of lessons: after this many players the next lesson
// opens in a fresh page, and the old page goes with its renderer.
constexpr int kPlayersPerPage = 20;

// A renderer that holds this much more than the leanest one seen, with a movie loaded, is
// not kept: a normal page's renderer holds 222-245 MiB with a lesson playing, while some
// run at 258-284 MiB from their first lesson on, with the difference in freed blocks that
// the C library's thread heaps keep until the renderer exits.
constexpr std::int64_t kRendererAllowance = std::int64_t{32} << 20;

// Once a page has made its last player and that movie is loaded, the fresh page is loaded
// this long after, out of the movie's way, so that the next lesson finds it ready.
constexpr int kPreloadDelayMs = 1500;

// Once a movie is loaded and has drawn its first frames, the heaps of this process give
// back what the replaced player and page freed, and the page's renderer is weighed. It
// holds the UI thread for a few ms: a lesson chosen before then puts it off until its own
// movie is loaded.
constexpr int kReturnFreePagesAfterMs = 1000;

// The device fonts as the page's calls take them: a list of URLs.
QJsonArray DeviceFontUrls() {
    QJsonArray fonts;
    if (QFileInfo(DeviceFontFile()).isFile()) fonts.append(FlashFontUrl().toString());
    return fonts;
}

QString Json(const QJsonArray& array) {
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QString NewMovieToken() {
    return QUuid::createUuid().toString(QUuid::Id128);
}

}  // namespace

std::optional<QByteArray> ChromiumFlagsWithGarbageCollection(const std::optional<QByteArray>& flags,
                                                             bool commandLineGivesEngineFlags) {
    const QByteArray exposeGc = "--js-flags=--expose-gc";
    if (!flags) return commandLineGivesEngineFlags ? std::nullopt : std::optional(exposeGc);
    if (flags->contains("--js-flags")) return std::nullopt;
    return flags->isEmpty() ? exposeGc : *flags + ' ' + exposeGc;
}

void LetPlayerPagesCollectGarbage(int argc, char** argv) {
    constexpr char kFlags[] = "QTWEBENGINE_CHROMIUM_FLAGS";
    // The engine finds the switch whatever its case.
    const bool commandLineGivesEngineFlags = std::any_of(argv, argv + argc, [](const char* argument) {
        return qstricmp(argument, "--webEngineArgs") == 0;
    });
    const auto set = qEnvironmentVariableIsSet(kFlags) ? std::optional(qgetenv(kFlags)) : std::nullopt;
    if (const auto flags = ChromiumFlagsWithGarbageCollection(set, commandLineGivesEngineFlags))
        qputenv(kFlags, *flags);
}

// What a player page tells the program, through its web channel: the page calls these.
class PlayerReports : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Ruffle has read the header of the movie of `token`.
    Q_INVOKABLE void loaded(const QString& token) { emit report(token, true); }
    // Ruffle has failed in a way that leaves the page's later players dead.
    Q_INVOKABLE void failed(const QString& token) { emit report(token, false); }

signals:
    void report(const QString& token, bool loaded);
};

FlashView::FlashView(QWidget* parent)
    : QWebEngineView(parent), playersPerPage_(kPlayersPerPage), rendererAllowance_(kRendererAllowance) {
    // The handler learns where Ruffle's files are now; the profile it serves comes later.
    schemeHandler_ = new FlashSchemeHandler(this);
    setContextMenuPolicy(Qt::NoContextMenu);
    // A movie that is handed over but never reported loaded means the player page has
    // failed: it is reloaded, and the movie with it.
    loadWatch_ = new QTimer(this);
    loadWatch_->setSingleShot(true);
    loadWatch_->setInterval(kLoadWatchMs);
    connect(loadWatch_, &QTimer::timeout, this, &FlashView::RecoverPlayer);
    preload_ = new QTimer(this);
    preload_->setSingleShot(true);
    preload_->setInterval(kPreloadDelayMs);
    connect(preload_, &QTimer::timeout, this, &FlashView::PreloadNextPage);
    returnFreePages_ = new QTimer(this);
    returnFreePages_->setSingleShot(true);
    returnFreePages_->setInterval(kReturnFreePagesAfterMs);
    connect(returnFreePages_, &QTimer::timeout, this, &FlashView::AfterMovieSettled);
    // The player's profile, page and renderer are made once the window has been drawn
    // the first time, and after the site page's view, whose page the child sees first:
    // the window does not wait for a view it does not show yet. A call before then makes
    // them at once.
    AfterWindowFirstDrawn(*this, [this] { QTimer::singleShot(0, this, [this] { EnsurePage(); }); });
}

FlashView::~FlashView() {
    // The pages must go before the profile that they use (page() would make a default
    // page when there is none yet).
    if (profile_) {
        delete next_;
        delete page();
        delete profile_;
    }
}

void FlashView::SetPlayersPerPage(int players) {
    playersPerPage_ = std::max(1, players);
}

void FlashView::SetRendererAllowance(std::int64_t bytes) { rendererAllowance_ = bytes; }

QWebEnginePage* FlashView::NewPlayerPage() {
    auto* playerPage = new QWebEnginePage(profile_, this);
    playerPage->setBackgroundColor(Qt::black);
    playerPage->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    playerPage->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    // The shown page and the next one report through the same slots; the slots look at
    // which page it is.
    connect(playerPage, &QWebEnginePage::loadFinished, this,
            [this, playerPage](bool ok) { OnPageLoaded(playerPage, ok); });
    auto* channel = new QWebChannel(playerPage);
    auto* reports = new PlayerReports(channel);
    channel->registerObject(QStringLiteral("host"), reports);
    playerPage->setWebChannel(channel);
    connect(reports, &PlayerReports::report, this,
            [this, playerPage](const QString& token, bool loaded) { OnPlayerReport(playerPage, token, loaded); });
    connect(playerPage, &QWebEnginePage::renderProcessTerminated, this,
            [this, playerPage](QWebEnginePage::RenderProcessTerminationStatus, int) {
                if (playerPage == page()) pageReady_ = false;
                // Act outside the signal: the page is still tearing down.
                QTimer::singleShot(0, this, [this, playerPage] {
                    if (playerPage == next_) {
                        const bool waiting = movieWaitsForNext_;
                        DropNextPage();
                        if (waiting && pageReady_) ApplyMovie(page());
                    } else if (playerPage == page()) {
                        LoadPlayerPage();
                    }
                });
            });
    return playerPage;
}

void FlashView::EnsurePage() {
    if (profile_) return;
    // A profile of its own, in memory only: no other page can reach our scheme, and
    // nothing the player does is kept on disk.
    profile_ = new QWebEngineProfile(this);
    profile_->installUrlSchemeHandler(kFlashScheme, schemeHandler_);

    setPage(NewPlayerPage());
    LoadPlayerPage();
}

void FlashView::SetMovie(const QString& absolutePath) {
    EnsurePage();
    if (!isVisible()) {
        SilenceUntilShown(absolutePath);
        return;
    }
    ReplaceMovie(absolutePath);
}

void FlashView::ReplaceMovie(const QString& absolutePath) {
    shownLater_.reset();
    returnFreePages_->stop();
    movieToken_ = NewMovieToken();
    recoveries_ = 0;
    hasMovie_ = LooksLikeSwf(absolutePath);
    schemeHandler_->SetMovie(movieToken_, hasMovie_ ? absolutePath : QString());
    playRequested_ = false;
    if (next_ && nextReady_ && !movieWaitsForNext_ && hasMovie_) {
        // Loaded ahead, with Ruffle ready: the player is made there at once, where it is
        // shown under this view, and the page takes over once the movie is loaded. Moving
        // the page into this view first held its renderer up for 25-60 ms before it ran
        // the player's script.
        HoldOldPage();
        movieWaitsForNext_ = true;
        ApplyMovie(next_);
        return;
    }
    if (next_) {
        // The fresh page takes this movie once it is loaded.
        HoldOldPage();
        movieWaitsForNext_ = true;
        if (nextReady_) {
            ApplyMovie(next_);
            if (!hasMovie_) SwapInNextPage();  // nothing to wait for
        }
        return;
    }
    if (hasMovie_ && pageReady_ && playersOnPage_ >= playersPerPage_) {
        // The old page goes on showing its lesson until the new one is ready, so the
        // child sees no empty player in between.
        HoldOldPage();
        StageNextPage();
        movieWaitsForNext_ = true;
        loadWatch_->start();
        return;
    }
    if (pageReady_) {
        ApplyMovie(page());
    }
}

void FlashView::SilenceUntilShown(const QString& absolutePath) {
    // A hidden view shows nothing, and this movie is not told to play: its player would
    // only take the renderer's time from what runs meanwhile, a lesson's download above
    // all. The movie that played is silenced now, and what it reports no longer counts;
    // the new movie's player is made once the view is shown or told to play.
    shownLater_ = absolutePath;
    playRequested_ = false;
    loadWatch_->stop();
    movieToken_ = NewMovieToken();
    hasMovie_ = false;
    schemeHandler_->SetMovie(movieToken_, QString());
    HoldOldPage();
    if (next_) {
        next_->setAudioMuted(true);
        if (nextReady_) next_->runJavaScript(QStringLiteral("pebblewick.pause()"));
    }
}

void FlashView::ShowHeldMovie() {
    // Taken out first: ReplaceMovie forgets the held movie.
    if (const auto movie = std::exchange(shownLater_, std::nullopt)) ReplaceMovie(*movie);
}

void FlashView::showEvent(QShowEvent* event) {
    EnsurePage();  // the engine's handler would make a page of its own
    QWebEngineView::showEvent(event);
    // Put off to the next turn of the event loop: a lesson given right after the view is
    // shown replaces the held movie before its player is made.
    if (shownLater_) QTimer::singleShot(0, this, [this] {
        if (isVisible()) ShowHeldMovie();
    });
}

void FlashView::HoldOldPage() {
    // The old page stays, silent, on its last picture until the fresh page takes over: the
    // previous movie's sound ends at once, and its frames no longer take the new player's time.
    page()->setAudioMuted(true);
    if (pageReady_) page()->runJavaScript(QStringLiteral("pebblewick.pause()"));
}

void FlashView::StageNextPage() {
    next_ = NewPlayerPage();
    nextReady_ = false;
    // The fresh page is shown out of sight, under this view, at its size: a player that
    // Ruffle started in a page shown in no view failed as soon as the page's next player
    // replaced it.
    if (!stage_) stage_ = new QWebEngineView(this);
    stage_->setGeometry(rect());
    stage_->lower();
    stage_->setPage(next_);
    stage_->show();
    next_->load(FlashPlayerPageUrl());
}

void FlashView::PreloadNextPage() {
    if (next_ || !pageReady_ || playersOnPage_ < playersPerPage_) return;
    StageNextPage();
    movieWaitsForNext_ = false;
}

void FlashView::Play() {
    EnsurePage();
    ShowHeldMovie();
    playRequested_ = true;
    if (next_) {
        if (nextReady_) next_->runJavaScript(QStringLiteral("pebblewick.play()"));
    } else if (pageReady_) {
        page()->runJavaScript(QStringLiteral("pebblewick.play()"));
    }
}

void FlashView::Pause() {
    EnsurePage();
    playRequested_ = false;
    if (pageReady_) page()->runJavaScript(QStringLiteral("pebblewick.pause()"));
    // The movie that will take over in the fresh page starts by itself otherwise.
    if (next_ && nextReady_) next_->runJavaScript(QStringLiteral("pebblewick.pause()"));
}

void FlashView::SetVolume(double volume) {
    volume_ = std::clamp(volume, 0.0, 1.0);
    const QString call = QStringLiteral("pebblewick.setVolume(%1)").arg(volume_);
    if (pageReady_) page()->runJavaScript(call);
    if (next_ && nextReady_) next_->runJavaScript(call);
}

void FlashView::QueryState(std::function<void(QString)> answer) {
    EnsurePage();
    if (!pageReady_) {
        answer(QString());
        return;
    }
    page()->runJavaScript(QStringLiteral("pebblewick.state()"),
                          [answer = std::move(answer)](const QVariant& state) { answer(state.toString()); });
}

void FlashView::LoadPlayerPage() {
    DropNextPage();
    pageReady_ = false;
    playersOnPage_ = 0;
    load(FlashPlayerPageUrl());
}

void FlashView::OnPageLoaded(QWebEnginePage* loadedPage, bool ok) {
    if (loadedPage == next_) {
        const bool waiting = movieWaitsForNext_;
        if (!ok) {
            // No fresh page: the old one plays the movie after all.
            DropNextPage();
            if (waiting && pageReady_) ApplyMovie(page());
            return;
        }
        nextReady_ = true;
        if (!waiting) {
            // Loaded ahead: it readies Ruffle and waits for the next movie.
            next_->runJavaScript(QStringLiteral("pebblewick.warmUp(%1)").arg(Json(DeviceFontUrls())));
            return;
        }
        ApplyMovie(next_);
        if (!hasMovie_) SwapInNextPage();  // nothing to wait for
        return;
    }
    if (loadedPage != page() || !ok || url() != FlashPlayerPageUrl()) {
        return;
    }
    pageReady_ = true;
    if (!movieToken_.isEmpty()) {
        ApplyMovie(page());
    }
}

void FlashView::OnPlayerReport(QWebEnginePage* reportingPage, const QString& token, bool loaded) {
    if (reportingPage == next_ && !movieWaitsForNext_) {
        // Ruffle failed while warming up the page loaded ahead, which would leave the
        // lesson's player dead there: the next lesson loads a page of its own instead.
        if (!loaded) DropNextPage();
        return;
    }
    if (token.isEmpty() || token != movieToken_) return;
    if (reportingPage != page() && !(reportingPage == next_ && movieWaitsForNext_)) return;
    if (!loaded) {
        RecoverPlayer();
        return;
    }
    if (reportingPage == next_) SwapInNextPage();
    loadWatch_->stop();
    // The page has made its last player: the next lesson's page is loaded meanwhile.
    if (playersOnPage_ >= playersPerPage_) preload_->start();
    returnFreePages_->start();
    emit movieLoaded();
}

void FlashView::AfterMovieSettled() {
    ReturnFreePagesOfTheHeaps();
    const auto resident = ResidentBytesOfProcess(page()->renderProcessPid());
    if (!resident) return;
    leanestRenderer_ = std::min(leanestRenderer_.value_or(*resident), *resident);
    if (*resident - *leanestRenderer_ > rendererAllowance_ && playersOnPage_ < playersPerPage_) {
        // Treated as a page that has made its last player.
        playersOnPage_ = playersPerPage_;
        preload_->start();
    }
}

void FlashView::SwapInNextPage() {
    QWebEnginePage* fresh = next_;
    next_ = nullptr;
    nextReady_ = false;
    movieWaitsForNext_ = false;
    // The old page goes, and its renderer with it (setPage() may already have deleted it,
    // as the view's child).
    QPointer<QWebEnginePage> old = page();
    old->disconnect(this);
    setPage(fresh);
    delete old;
    stage_->hide();
    pageReady_ = true;
    playersOnPage_ = hasMovie_ ? 1 : 0;
}

void FlashView::DropNextPage() {
    if (stage_) stage_->hide();
    delete next_;
    next_ = nullptr;
    nextReady_ = false;
    movieWaitsForNext_ = false;
}

void FlashView::RecoverPlayer() {
    loadWatch_->stop();
    if (!hasMovie_ || recoveries_ >= kMaxRecoveries) return;
    ++recoveries_;
    LoadPlayerPage();  // the movie is applied again once the page is ready
}

void FlashView::ApplyMovie(QWebEnginePage* target) {
    target->setAudioMuted(false);  // it may have been silenced for a fresh page that failed
    const QJsonArray arguments{hasMovie_ ? FlashMovieUrl(movieToken_).toString() : QString(), movieToken_,
                               DeviceFontUrls()};
    // The volume first: the new player starts at it.
    target->runJavaScript(QStringLiteral("pebblewick.setVolume(%1)").arg(volume_));
    const QString call = QStringLiteral("pebblewick.setMovie.apply(null, %1)").arg(Json(arguments));
    target->runJavaScript(call);
    if (playRequested_) target->runJavaScript(QStringLiteral("pebblewick.play()"));
    if (hasMovie_) {
        if (target == page()) ++playersOnPage_;
        loadWatch_->start();
    }
}

}  // namespace pw

#include "flash_view.moc"
