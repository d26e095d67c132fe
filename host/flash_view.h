#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <functional>
#include <optional>

class QTimer;
class QWebEngineProfile;

namespace pw {

class FlashSchemeHandler;

// Gives the player's pages the engine's gc() (V8's --expose-gc, added to
// QTWEBENGINE_CHROMIUM_FLAGS), with which a page collects its garbage once a movie is
// loaded. Every page of the engine then has gc(), which only starts a collection: a page
// that calls it costs time, as any busy script does, and reaches nothing else. Call
// before the application object, with the program's command line.
void LetPlayerPagesCollectGarbage(int argc, char** argv);
// The engine's flags (`flags`, nothing when the variable is unset) with that switch added,
// or nothing to leave the environment as it is: when they give V8 flags of their own (the
// engine takes only the last --js-flags), or when they are unset and the command line
// gives the engine flags after --webEngineArgs (the variable, once set, replaces those).
// The page then leaves collecting to the engine.
std::optional<QByteArray> ChromiumFlagsWithGarbageCollection(const std::optional<QByteArray>& flags,
                                                             bool commandLineGivesEngineFlags);

// The Flash player of the main window: a page of ours that runs Ruffle. Calls made
// before the page is ready are kept and applied once it is.
class FlashView : public QWebEngineView {
    Q_OBJECT
public:
    explicit FlashView(QWidget* parent = nullptr);
    ~FlashView() override;

    // Replaces the current movie with the one in the file, whatever its extension;
    // the previous movie's picture and sound end at once. A missing file or one that
    // is not a movie leaves the view empty. While the view is hidden, the new movie's
    // player is made only once the view is shown or told to play.
    void SetMovie(const QString& absolutePath);
    void Play();
    // Pauses the movie that plays, picture and sound; Play resumes it.
    void Pause();
    // 0..1, for the movie that plays and every later one, which starts at it.
    void SetVolume(double volume);

    // The page's state as JSON (players on the page, movie loaded, Ruffle's ready
    // state), for tests and measurements. Called back on the UI thread; "" while the
    // page is not ready.
    void QueryState(std::function<void(QString)> answer);

    // Ruffle keeps some memory of every player a page has made until the page goes. Once
    // a page has made this many players, the next movie opens in a fresh page, which
    // takes over when the movie is loaded; the old page goes with its renderer.
    void SetPlayersPerPage(int players);
    // A page whose renderer, a second after a movie has loaded, holds more than this
    // beyond the leanest renderer seen so far is not kept for more lessons either: the
    // next movie opens in a fresh page, loaded ahead. Some pages' renderers keep tens of
    // MiB of freed memory for as long as they live.
    void SetRendererAllowance(std::int64_t bytes);

protected:
    void showEvent(QShowEvent* event) override;

signals:
    // Ruffle has read the current movie's header and starts to play it.
    void movieLoaded();

private:
    void ReplaceMovie(const QString& absolutePath);
    void SilenceUntilShown(const QString& absolutePath);
    void ShowHeldMovie();
    QWebEnginePage* NewPlayerPage();
    void EnsurePage();
    void LoadPlayerPage();
    void OnPageLoaded(QWebEnginePage* loadedPage, bool ok);
    void OnPlayerReport(QWebEnginePage* reportingPage, const QString& token, bool loaded);
    void PreloadNextPage();
    void HoldOldPage();
    void StageNextPage();
    void ApplyMovie(QWebEnginePage* target);
    void RecoverPlayer();
    void SwapInNextPage();
    void DropNextPage();
    void AfterMovieSettled();

    QWebEngineProfile* profile_ = nullptr;
    FlashSchemeHandler* schemeHandler_ = nullptr;
    bool pageReady_ = false;
    QString movieToken_;
    bool hasMovie_ = false;
    bool playRequested_ = false;
    int recoveries_ = 0;  // page reloads for the current movie
    QTimer* loadWatch_ = nullptr;
    int playersOnPage_ = 0;
    int playersPerPage_;
    std::int64_t rendererAllowance_;
    std::optional<std::int64_t> leanestRenderer_;  // resident bytes, read as AfterMovieSettled reads them
    QWebEnginePage* next_ = nullptr;  // the fresh page, loaded ahead or loading the current movie
    bool nextReady_ = false;
    bool movieWaitsForNext_ = false;  // the current movie goes to the fresh page
    QTimer* preload_ = nullptr;
    QTimer* returnFreePages_ = nullptr;
    QWebEngineView* stage_ = nullptr;  // shows the fresh page out of sight while it loads
    double volume_ = 1.0;
    std::optional<QString> shownLater_;  // given while hidden: made once shown or played
};

}  // namespace pw
