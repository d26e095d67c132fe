#include "host/flash_view.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <QUuid>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

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

QString NewMovieToken() {
    return QUuid::createUuid().toString(QUuid::Id128);
}

}  // namespace

FlashView::FlashView(QWidget* parent) : QWebEngineView(parent) {
    // The handler learns where Ruffle's files are now; the profile it serves comes later.
    schemeHandler_ = new FlashSchemeHandler(this);
    setContextMenuPolicy(Qt::NoContextMenu);
    // A movie that is handed over but never reported loaded means the player page has
    // failed: it is reloaded, and the movie with it.
    loadWatch_ = new QTimer(this);
    loadWatch_->setSingleShot(true);
    loadWatch_->setInterval(kLoadWatchMs);
    connect(loadWatch_, &QTimer::timeout, this, &FlashView::RecoverPlayer);
    // The player's profile, page and renderer are made once the event loop runs, after
    // the window is first shown: the window does not wait for a view it does not show
    // yet. A call before then makes them at once.
    QTimer::singleShot(0, this, &FlashView::EnsurePage);
}

FlashView::~FlashView() {
    // The page must go before the profile that it uses (page() would make a default
    // page when there is none yet).
    if (profile_) {
        delete page();
        delete profile_;
    }
}

void FlashView::EnsurePage() {
    if (profile_) return;
    // A profile of its own, in memory only: no other page can reach our scheme, and
    // nothing the player does is kept on disk.
    profile_ = new QWebEngineProfile(this);
    profile_->installUrlSchemeHandler(kFlashScheme, schemeHandler_);

    auto* playerPage = new QWebEnginePage(profile_, this);
    playerPage->setBackgroundColor(Qt::black);
    playerPage->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    playerPage->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    setPage(playerPage);

    connect(playerPage, &QWebEnginePage::loadFinished, this, &FlashView::OnPageLoaded);
    connect(playerPage, &QWebEnginePage::titleChanged, this, &FlashView::OnTitleChanged);
    connect(playerPage, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus, int) {
                // Reload outside the signal: the page is still tearing down.
                pageReady_ = false;
                QTimer::singleShot(0, this, &FlashView::LoadPlayerPage);
            });
    LoadPlayerPage();
}

void FlashView::SetMovie(const QString& absolutePath) {
    EnsurePage();
    movieToken_ = NewMovieToken();
    movieReported_ = false;
    recoveries_ = 0;
    hasMovie_ = LooksLikeSwf(absolutePath);
    schemeHandler_->SetMovie(movieToken_, hasMovie_ ? absolutePath : QString());
    playRequested_ = false;
    if (pageReady_) {
        ApplyMovie();
    }
}

void FlashView::Play() {
    EnsurePage();
    playRequested_ = true;
    if (pageReady_) {
        page()->runJavaScript(QStringLiteral("pebblewick.play()"));
    }
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
    pageReady_ = false;
    load(FlashPlayerPageUrl());
}

void FlashView::OnPageLoaded(bool ok) {
    if (!ok || url() != FlashPlayerPageUrl()) {
        return;
    }
    pageReady_ = true;
    if (!movieToken_.isEmpty()) {
        ApplyMovie();
    }
    if (playRequested_) {
        page()->runJavaScript(QStringLiteral("pebblewick.play()"));
    }
}

void FlashView::OnTitleChanged(const QString& title) {
    if (movieToken_.isEmpty()) return;
    if (title == QStringLiteral("loaded ") + movieToken_) {
        movieReported_ = true;
        loadWatch_->stop();
        emit movieLoaded();
    } else if (title.startsWith(QStringLiteral("failed ") + movieToken_)) {
        RecoverPlayer();
    }
}

void FlashView::RecoverPlayer() {
    loadWatch_->stop();
    if (!hasMovie_ || recoveries_ >= kMaxRecoveries) return;
    ++recoveries_;
    movieReported_ = false;
    LoadPlayerPage();  // the movie is applied again once the page is ready
}

void FlashView::ApplyMovie() {
    QJsonArray fonts;
    if (QFileInfo(DeviceFontFile()).isFile()) {
        fonts.append(FlashFontUrl().toString());
    }
    const QJsonArray arguments{hasMovie_ ? FlashMovieUrl(movieToken_).toString() : QString(), movieToken_, fonts};
    const QString call = QStringLiteral("pebblewick.setMovie.apply(null, %1)")
                             .arg(QString::fromUtf8(QJsonDocument(arguments).toJson(QJsonDocument::Compact)));
    page()->runJavaScript(call);
    if (hasMovie_) loadWatch_->start();
}

}  // namespace pw
