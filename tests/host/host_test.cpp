// GUI tests of the Flash player and the web view: a real engine, a real Ruffle and
// movies made by the test itself. Run under xvfb-run.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>

#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "host/flash_scheme.h"
#include "host/flash_view.h"
#include "host/guarded_page.h"
#include "host/web_view.h"
#include "tests/support/gui_test_support.h"
#include "tests/host/flash_test_support.h"
#include "tests/host/test_movies.h"

using pw::FlashView;
using pw::test::KeepShot;
using pw::test::PixelsNear;
using pw::test::Rgb;
using pw::test::WriteFile;
using namespace std::chrono_literals;

namespace {

constexpr int kLoadTimeoutMs = 60000;
constexpr std::chrono::milliseconds kLoadTimeout{kLoadTimeoutMs};

QString WriteMovie(const QTemporaryDir& dir, const QString& name, const pw::test::SquareMovie& movie) {
    return WriteFile(dir, name, pw::test::MakeSquareMovie(movie));
}

// The page's state, or an empty object while the page is not ready.
QJsonObject StateOf(FlashView& view) {
    QString answer;
    bool answered = false;
    view.QueryState([&](QString state) {
        answer = state;
        answered = true;
    });
    if (!pw::testing::ProcessEventsUntil([&] { return answered; })) return {};
    return QJsonDocument::fromJson(answer.toUtf8()).object();
}

bool WaitForPageReady(FlashView& view) {
    return pw::testing::ProcessEventsUntil([&] { return !StateOf(view).isEmpty(); }, kLoadTimeout);
}

// Runs `script` in the view's page and returns its result as text.
QString RunScript(QWebEngineView& view, const QString& script) {
    QString result = QStringLiteral("<no answer>");
    bool answered = false;
    view.page()->runJavaScript(script, [&](const QVariant& value) {
        result = value.toString();
        answered = true;
    });
    if (!pw::testing::ProcessEventsUntil([&] { return answered; }, 20s)) return QStringLiteral("<no answer>");
    return result;
}

// Reads `url` from inside the player page as the page itself would: "status:bytes",
// or "refused" when the request fails.
QString ReadFromPage(FlashView& view, const QString& url) {
    return RunScript(view, QStringLiteral(
        "(function (u) { try { const x = new XMLHttpRequest(); x.open('GET', u, false);"
        " x.overrideMimeType('text/plain; charset=x-user-defined'); x.send();"
        " return x.status + ':' + x.responseText.length; } catch (e) { return 'refused'; } })('%1')").arg(url));
}

// The picture holds the movie's background and its whole square.
bool ShowsMovie(const QImage& image, const pw::test::SquareMovie& movie) {
    const int square = movie.squarePx * movie.squarePx;
    return PixelsNear(image, Rgb(movie.backgroundRgb)) > movie.widthPx * movie.heightPx / 2 &&
           PixelsNear(image, Rgb(movie.squareRgb)) > square * 9 / 10;
}

// Shows the view at the test movies' size and waits until its first movie is loaded.
bool ShowWithMovie(FlashView& view, QSignalSpy& loaded, const QString& path) {
    view.resize(600, 500);
    view.show();
    view.SetMovie(path);
    return loaded.wait(kLoadTimeoutMs);
}

// The view that shows the fresh page loaded ahead under the player, once that page is loaded.
QWebEngineView* StageLoadedAhead(FlashView& view) {
    for (QWebEngineView* stage : view.findChildren<QWebEngineView*>()) {
        if (stage->isVisible() && stage->page() != view.page() && stage->url() == pw::FlashPlayerPageUrl() &&
            !stage->page()->isLoading()) {
            return stage;
        }
    }
    return nullptr;
}

// Shows `path` in a view that makes one player per page, and waits until the next page
// is loaded ahead.
bool ShowWithPageLoadedAhead(FlashView& view, QSignalSpy& loaded, const QString& path) {
    view.SetPlayersPerPage(1);
    return ShowWithMovie(view, loaded, path) &&
           pw::testing::ProcessEventsUntil([&view] { return StageLoadedAhead(view) != nullptr; }, kLoadTimeout);
}

// A failure inside Ruffle's WebAssembly, as the page's own scripts raise it.
const QString kRufflePanic =
    QStringLiteral("window.dispatchEvent(new ErrorEvent('error', {message: 'RuntimeError: unreachable'})); 1");

}  // namespace

class HostTest : public QObject {
    Q_OBJECT

private slots:
    void resolvesOnlyItsOwnFiles_data();
    void resolvesOnlyItsOwnFiles();
    void deviceFontIsTheBuildsCutDownCollection();
    void playsMovieSetBeforePageIsReady();
    void secondMovieReplacesFirst();
    void hiddenViewSilencesItsMovieAndMakesTheNextWhenShown();
    void missingOrInvalidMovieLeavesViewEmpty();
    void missingRuffleLeavesViewEmpty();
    void schemeServesOnlyCurrentMovieAndRuffleFiles();
    void movieIsReadAfreshAtEveryRequest();
    void reloadsAfterRenderProcessDies();
    void reloadsWhenRufflePanics();
    void pageLoadedAheadTakesTheNextMovie_data();
    void pageLoadedAheadTakesTheNextMovie();
    void pageLoadedAheadThatFailsIsDropped();
    void freshPageTakesOverAfterItsPlayers();
    void playsIdleMovie();
    void pageCollectsGarbageOnceTheMovieIsLoaded();
    void engineFlagsOfTheUserStay_data();
    void engineFlagsOfTheUserStay();
    void webViewNavigatesToPage();
    void sitePageCannotReachThePlayerScheme();
    void linksOnTheSiteHost_data();
    void linksOnTheSiteHost();

private:
    QTemporaryDir dir_;
    const pw::test::SquareMovie blueMovie_{};
    const pw::test::SquareMovie greenMovie_{.backgroundRgb = 0x20B040, .squareRgb = 0xF0E020};
};

void HostTest::resolvesOnlyItsOwnFiles_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("file");  // empty: refused
    QTest::newRow("page") << QStringLiteral("pwflash://player/") << QStringLiteral(":/pebblewick/host/player.html");
    QTest::newRow("ruffle.js") << QStringLiteral("pwflash://player/ruffle/ruffle.js") << QStringLiteral("/r/ruffle.js");
    QTest::newRow("wasm") << QStringLiteral("pwflash://player/ruffle/ab12.wasm") << QStringLiteral("/r/ab12.wasm");
    QTest::newRow("font") << QStringLiteral("pwflash://player/font/NotoSansCJK-Regular.ttc") << pw::DeviceFontFile();
    QTest::newRow("current movie") << QStringLiteral("pwflash://player/movie/tok.swf") << QStringLiteral("/m/lesson.ylq");
    QTest::newRow("other movie") << QStringLiteral("pwflash://player/movie/other.swf") << QString();
    QTest::newRow("movie without token") << QStringLiteral("pwflash://player/movie/.swf") << QString();
    QTest::newRow("dot dot") << QStringLiteral("pwflash://player/ruffle/..%2F..%2Fetc%2Fpasswd") << QString();
    QTest::newRow("dot dot raw") << QStringLiteral("pwflash://player/ruffle/../../etc/passwd") << QString();
    QTest::newRow("hidden name") << QStringLiteral("pwflash://player/ruffle/..ruffle.js") << QString();
    QTest::newRow("sub folder") << QStringLiteral("pwflash://player/ruffle/a/ruffle.js") << QString();
    QTest::newRow("escaped dot") << QStringLiteral("pwflash://player/ruffle/%2E%2E") << QString();
    QTest::newRow("other path") << QStringLiteral("pwflash://player/etc/passwd") << QString();
    QTest::newRow("other host") << QStringLiteral("pwflash://elsewhere/ruffle/ruffle.js") << QString();
    QTest::newRow("other scheme") << QStringLiteral("file:///r/ruffle.js") << QString();
}

void HostTest::resolvesOnlyItsOwnFiles() {
    QFETCH(QString, url);
    QFETCH(QString, file);
    const auto resource = pw::ResolveFlashUrl(QUrl(url), QStringLiteral("/r"), QStringLiteral("tok"),
                                              QStringLiteral("/m/lesson.ylq"));
    QCOMPARE(resource ? resource->filePath : QString(), file);
    if (url.contains(QLatin1String("/movie/")) && resource) {
        QCOMPARE(resource->mimeType, QByteArray("application/x-shockwave-flash"));
    }
}

void HostTest::deviceFontIsTheBuildsCutDownCollection() {
    // Found from the tests' folder; never the system's whole collection, of which Ruffle
    // would copy all 19 MB for each of its ten faces.
    QVERIFY2(pw::DeviceFontFile().endsWith(QLatin1String("/fonts/NotoSansCJK-SC-Subset.ttc")),
             qPrintable(pw::DeviceFontFile()));
}

void HostTest::playsMovieSetBeforePageIsReady() {
    const QString path = WriteMovie(dir_, QStringLiteral("lesson.ylq"), blueMovie_);
    FlashView view;
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    view.resize(600, 500);
    view.show();
    // The program sets its first movie right after the view is made.
    view.SetMovie(path);
    view.Play();
    QVERIFY(loaded.wait(kLoadTimeoutMs));

    // The movie's own colours come on screen, and the square moves.
    QTRY_VERIFY_WITH_TIMEOUT(ShowsMovie(view.grab().toImage(), blueMovie_), 10000);
    const QImage first = view.grab().toImage();
    QImage second;
    QTRY_VERIFY_WITH_TIMEOUT((second = view.grab().toImage()) != first, 10000);  // the square has moved
    KeepShot(first, QStringLiteral("playing-1.png"));
    KeepShot(second, QStringLiteral("playing-2.png"));
    QVERIFY(ShowsMovie(second, blueMovie_));
    QVERIFY(first != second);
    QCOMPARE(StateOf(view).value(QLatin1String("players")).toInt(), 1);
}

void HostTest::secondMovieReplacesFirst() {
    const QString blue = WriteMovie(dir_, QStringLiteral("blue.swf"), blueMovie_);
    const QString green = WriteMovie(dir_, QStringLiteral("green.ylq"), greenMovie_);
    FlashView view;
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    view.resize(600, 500);
    view.show();
    view.SetMovie(blue);
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    view.SetMovie(green);
    view.Play();
    QVERIFY(loaded.wait(kLoadTimeoutMs));

    QTRY_VERIFY_WITH_TIMEOUT(ShowsMovie(view.grab().toImage(), greenMovie_), 10000);
    QCOMPARE(PixelsNear(view.grab().toImage(), Rgb(blueMovie_.backgroundRgb)), 0);
    QCOMPARE(StateOf(view).value(QLatin1String("players")).toInt(), 1);
    QCOMPARE(loaded.count(), 2);
}

void HostTest::hiddenViewSilencesItsMovieAndMakesTheNextWhenShown() {
    // As when a download starts: the view is hidden and given the idle movie, not told to play.
    const QString blue = WriteMovie(dir_, QStringLiteral("blue.swf"), blueMovie_);
    const QString green = WriteMovie(dir_, QStringLiteral("green.ylq"), greenMovie_);
    FlashView view;
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    QVERIFY(ShowWithMovie(view, loaded, blue));
    view.Play();
    QTRY_VERIFY_WITH_TIMEOUT(StateOf(view).value(QLatin1String("playing")).toBool(), 10000);
    const QString blueToken = StateOf(view).value(QLatin1String("token")).toString();

    view.hide();
    view.SetMovie(green);
    QVERIFY(view.page()->isAudioMuted());
    const QJsonObject held = StateOf(view);
    QCOMPARE(held.value(QLatin1String("token")).toString(), blueToken);  // no player made for green
    QVERIFY(!held.value(QLatin1String("playing")).toBool());

    view.show();
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(ShowsMovie(view.grab().toImage(), greenMovie_), 10000);
    QVERIFY(!view.page()->isAudioMuted());

    // Told to play, a hidden view makes its player at once.
    view.hide();
    view.SetMovie(blue);
    view.Play();
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    QCOMPARE(loaded.count(), 3);
}

void HostTest::missingOrInvalidMovieLeavesViewEmpty() {
    const QString blue = WriteMovie(dir_, QStringLiteral("before.swf"), blueMovie_);
    const QString notMovie = WriteFile(dir_, QStringLiteral("text.ylq"), {'h', 'e', 'l', 'l', 'o'});
    FlashView view;
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    view.resize(600, 500);
    view.show();
    view.SetMovie(blue);
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(ShowsMovie(view.grab().toImage(), blueMovie_), 10000);

    for (const QString& path : {dir_.filePath(QStringLiteral("absent.ylq")), notMovie, QString()}) {
        view.SetMovie(path);
        view.Play();
        QTRY_COMPARE_WITH_TIMEOUT(StateOf(view).value(QLatin1String("players")).toInt(), 0, 10000);
        // The view has repainted without the old movie.
        QTRY_COMPARE_WITH_TIMEOUT(PixelsNear(view.grab().toImage(), Rgb(blueMovie_.backgroundRgb)), 0, 10000);
        const QImage shown = view.grab().toImage();
        QCOMPARE(PixelsNear(shown, Rgb(blueMovie_.backgroundRgb)), 0);
        QVERIFY(PixelsNear(shown, qRgb(0, 0, 0)) > shown.width() * shown.height() * 9 / 10);
    }
    QCOMPARE(loaded.count(), 1);

    // The view still plays what comes next.
    view.SetMovie(blue);
    QVERIFY(loaded.wait(kLoadTimeoutMs));
}

void HostTest::missingRuffleLeavesViewEmpty() {
    QTemporaryDir empty;
    pw::OverrideRuffleDirectory(empty.path());
    FlashView view;
    pw::OverrideRuffleDirectory(QString());
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    view.resize(600, 500);
    view.show();
    view.SetMovie(WriteMovie(dir_, QStringLiteral("no-ruffle.swf"), blueMovie_));
    view.Play();
    QVERIFY(WaitForPageReady(view));
    // The movie has reached the page, and the page's moment for making its player (a timer
    // of its own) has passed: a timer set later for longer runs after it.
    QTRY_VERIFY_WITH_TIMEOUT(!StateOf(view).value(QLatin1String("token")).toString().isEmpty(), 10000);
    RunScript(view, QStringLiteral("window.pwTestTimer = false; setTimeout(() => { window.pwTestTimer = true; }, 200); 1"));
    QTRY_COMPARE_WITH_TIMEOUT(RunScript(view, QStringLiteral("window.pwTestTimer === true")), QStringLiteral("true"), 10000);
    const QJsonObject state = StateOf(view);
    QCOMPARE(state.value(QLatin1String("ruffle")).toBool(), false);
    QCOMPARE(state.value(QLatin1String("players")).toInt(), 0);
    QCOMPARE(loaded.count(), 0);
    QCOMPARE(PixelsNear(view.grab().toImage(), Rgb(blueMovie_.backgroundRgb)), 0);
}

void HostTest::schemeServesOnlyCurrentMovieAndRuffleFiles() {
    const QString path = WriteMovie(dir_, QStringLiteral("current.ylq"), blueMovie_);
    const qint64 size = QFileInfo(path).size();
    FlashView view;
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    view.show();
    view.SetMovie(path);
    QVERIFY(loaded.wait(kLoadTimeoutMs));

    const QString token = StateOf(view).value(QLatin1String("token")).toString();
    QVERIFY(!token.isEmpty());
    const QString current = pw::FlashMovieUrl(token).toString();
    QCOMPARE(ReadFromPage(view, current), QStringLiteral("200:%1").arg(size));
    QVERIFY(ReadFromPage(view, QStringLiteral("ruffle/ruffle.js")).startsWith(QLatin1String("200:")));
    QCOMPARE(ReadFromPage(view, QStringLiteral("ruffle/..%2F..%2F..%2Fetc%2Fpasswd")), QStringLiteral("refused"));
    QCOMPARE(ReadFromPage(view, QStringLiteral("ruffle/../../../etc/passwd")), QStringLiteral("refused"));
    QCOMPARE(ReadFromPage(view, QStringLiteral("/etc/passwd")), QStringLiteral("refused"));
    QCOMPARE(ReadFromPage(view, pw::FlashMovieUrl(QStringLiteral("0123")).toString()), QStringLiteral("refused"));
    QCOMPARE(ReadFromPage(view, QStringLiteral("file:///etc/passwd")), QStringLiteral("refused"));

    // Once another movie is set, the old one's address reads nothing.
    view.SetMovie(WriteMovie(dir_, QStringLiteral("next.ylq"), greenMovie_));
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    QCOMPARE(ReadFromPage(view, current), QStringLiteral("refused"));
}

void HostTest::movieIsReadAfreshAtEveryRequest() {
    const QString path = WriteMovie(dir_, QStringLiteral("changing.ylq"), blueMovie_);
    FlashView view;
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    view.show();
    view.SetMovie(path);
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    const QString url = pw::FlashMovieUrl(StateOf(view).value(QLatin1String("token")).toString()).toString();
    const qint64 before = QFileInfo(path).size();
    QCOMPARE(ReadFromPage(view, url), QStringLiteral("200:%1").arg(before));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write(QByteArray(1000, 'x'));
    }
    QCOMPARE(ReadFromPage(view, url), QStringLiteral("200:%1").arg(before + 1000));
}

void HostTest::reloadsAfterRenderProcessDies() {
    FlashView view;
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    view.resize(600, 500);
    view.show();
    view.SetMovie(WriteMovie(dir_, QStringLiteral("survivor.swf"), greenMovie_));
    view.Play();
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    const qint64 renderer = view.page()->renderProcessPid();
    QVERIFY(renderer > 0);
    QCOMPARE(::kill(static_cast<pid_t>(renderer), SIGKILL), 0);

    QVERIFY(loaded.wait(kLoadTimeoutMs));
    QVERIFY(view.page()->renderProcessPid() != renderer);
    QCOMPARE(StateOf(view).value(QLatin1String("players")).toInt(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(ShowsMovie(view.grab().toImage(), greenMovie_), 10000);
}

void HostTest::reloadsWhenRufflePanics() {
    FlashView view;
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    view.resize(600, 500);
    view.show();
    view.SetMovie(WriteMovie(dir_, QStringLiteral("brave.swf"), greenMovie_));
    view.Play();
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    RunScript(view, kRufflePanic);

    QVERIFY(loaded.wait(kLoadTimeoutMs));  // the page came back with the same movie
    QCOMPARE(StateOf(view).value(QLatin1String("players")).toInt(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(ShowsMovie(view.grab().toImage(), greenMovie_), 10000);
}

bool ProcessEnded(qint64 pid) {
    return ::kill(static_cast<pid_t>(pid), 0) != 0;
}

// Once the page in use has made its last player, a fresh page loads out of sight; the
// next movie goes straight to it, as to a page in use, and it takes over.
// A page is done with after its last player, or as soon as its renderer holds too much.
void HostTest::pageLoadedAheadTakesTheNextMovie_data() {
    QTest::addColumn<bool>("heavyRenderer");
    QTest::newRow("after its players") << false;
    QTest::newRow("its renderer heavier than the leanest") << true;
}

void HostTest::pageLoadedAheadTakesTheNextMovie() {
    QFETCH(bool, heavyRenderer);
    const QString blue = WriteMovie(dir_, QStringLiteral("first.swf"), blueMovie_);
    const QString green = WriteMovie(dir_, QStringLiteral("second.ylq"), greenMovie_);
    FlashView view;
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    if (heavyRenderer) {
        view.SetRendererAllowance(-1);  // any renderer weighs more than the leanest less one byte
        QVERIFY(ShowWithMovie(view, loaded, blue));
        QVERIFY(pw::testing::ProcessEventsUntil([&view] { return StageLoadedAhead(view) != nullptr; }, kLoadTimeout));
    } else {
        QVERIFY(ShowWithPageLoadedAhead(view, loaded, blue));
    }
    const QPointer<QWebEnginePage> firstPage = view.page();
    view.SetMovie(green);
    view.Play();
    // The player is made in the page loaded ahead; the old page holds still, silent,
    // until the movie is loaded.
    QCOMPARE(view.page(), firstPage.data());
    QVERIFY(firstPage->isAudioMuted());
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    QVERIFY(firstPage.isNull());  // the old page goes once the movie is loaded
    QTRY_VERIFY_WITH_TIMEOUT(ShowsMovie(view.grab().toImage(), greenMovie_), 10000);
}

// Ruffle failing while it warms up the page loaded ahead would leave the next lesson's
// player dead there: that page goes, and the next lesson loads a page of its own.
void HostTest::pageLoadedAheadThatFailsIsDropped() {
    const QString blue = WriteMovie(dir_, QStringLiteral("first.swf"), blueMovie_);
    const QString green = WriteMovie(dir_, QStringLiteral("second.swf"), greenMovie_);
    FlashView view;
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    QVERIFY(ShowWithPageLoadedAhead(view, loaded, blue));
    RunScript(*StageLoadedAhead(view), kRufflePanic);
    QTRY_VERIFY_WITH_TIMEOUT(!StageLoadedAhead(view), kLoadTimeoutMs);

    view.SetMovie(green);
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(ShowsMovie(view.grab().toImage(), greenMovie_), 10000);
}

void HostTest::freshPageTakesOverAfterItsPlayers() {
    const QString blue = WriteMovie(dir_, QStringLiteral("first.swf"), blueMovie_);
    const QString green = WriteMovie(dir_, QStringLiteral("second.ylq"), greenMovie_);
    FlashView view;
    view.SetPlayersPerPage(2);
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    QVERIFY(ShowWithMovie(view, loaded, blue));
    const QPointer<QWebEnginePage> firstPage = view.page();
    view.SetMovie(green);
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    QCOMPARE(view.page(), firstPage.data());
    QTRY_VERIFY_WITH_TIMEOUT(ShowsMovie(view.grab().toImage(), greenMovie_), 10000);
    const qint64 oldRenderer = view.page()->renderProcessPid();
    QVERIFY(oldRenderer > 0);

    // The third movie opens in a fresh page; until it has loaded, the old page goes on
    // showing the last lesson, silent.
    view.SetMovie(blue);
    view.Play();
    QCOMPARE(view.page(), firstPage.data());
    QVERIFY(firstPage->isAudioMuted());
    QVERIFY(ShowsMovie(view.grab().toImage(), greenMovie_));
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    QVERIFY(firstPage.isNull());
    QVERIFY(view.page()->renderProcessPid() != oldRenderer);
    QTRY_VERIFY_WITH_TIMEOUT(ProcessEnded(oldRenderer), kLoadTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(ShowsMovie(view.grab().toImage(), blueMovie_), 10000);
    QCOMPARE(PixelsNear(view.grab().toImage(), Rgb(greenMovie_.backgroundRgb)), 0);
    const QJsonObject state = StateOf(view);
    QCOMPARE(state.value(QLatin1String("players")).toInt(), 1);
    QCOMPARE(state.value(QLatin1String("loaded")).toBool(), true);

    // The fresh page counts its own players: the next movie plays in it, the one after
    // opens in another fresh page.
    const QPointer<QWebEnginePage> secondPage = view.page();
    view.SetMovie(green);
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    QCOMPARE(view.page(), secondPage.data());
    QTRY_VERIFY_WITH_TIMEOUT(ShowsMovie(view.grab().toImage(), greenMovie_), 10000);
    view.SetMovie(blue);
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    QVERIFY(secondPage.isNull());
    QTRY_VERIFY_WITH_TIMEOUT(ShowsMovie(view.grab().toImage(), blueMovie_), 10000);
    QCOMPARE(loaded.count(), 5);
}

void HostTest::playsIdleMovie() {
    const QString idle = QStringLiteral(PEBBLEWICK_SOURCE_DIR "/assets/3.swf");
    QVERIFY2(QFileInfo::exists(idle), "assets/3.swf is missing");
    FlashView view;
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    view.resize(600, 500);
    view.show();
    view.SetMovie(idle);
    view.Play();
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    QTRY_COMPARE_WITH_TIMEOUT(StateOf(view).value(QLatin1String("readyState")).toInt(), 2, 10000);
    KeepShot(view.grab().toImage(), QStringLiteral("idle.png"));
}

void HostTest::pageCollectsGarbageOnceTheMovieIsLoaded() {
    // A replaced player's copies of the font stay in Ruffle's memory until the page collects.
    const QString path = WriteMovie(dir_, QStringLiteral("lesson.ylq"), blueMovie_);
    FlashView view;
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    QVERIFY(ShowWithMovie(view, loaded, path));
    QTRY_VERIFY_WITH_TIMEOUT(StateOf(view).value(QLatin1String("collections")).toInt() >= 1, 10000);
}

// The user's engine flags stay: from the environment, or after --webEngineArgs on the
// command line, which the variable would replace once set. A null column is "unset" (for
// the result: the environment left as it is).
void HostTest::engineFlagsOfTheUserStay_data() {
    QTest::addColumn<QByteArray>("flags");
    QTest::addColumn<bool>("commandLine");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray exposeGc("--js-flags=--expose-gc");
    QTest::newRow("unset") << QByteArray() << false << exposeGc;
    QTest::newRow("set empty") << QByteArray("") << false << exposeGc;
    QTest::newRow("others") << QByteArray("--log-level=3") << false << QByteArray("--log-level=3 ") + exposeGc;
    QTest::newRow("own V8 flags") << QByteArray("--js-flags=--max-lazy --log-level=3") << false << QByteArray();
    QTest::newRow("unset, command line") << QByteArray() << true << QByteArray();
    QTest::newRow("set, command line") << QByteArray("--log-level=3") << true
                                       << QByteArray("--log-level=3 ") + exposeGc;
}

void HostTest::engineFlagsOfTheUserStay() {
    QFETCH(QByteArray, flags);
    QFETCH(bool, commandLine);
    QFETCH(QByteArray, expected);
    const auto set = flags.isNull() ? std::nullopt : std::optional(flags);
    QCOMPARE(pw::ChromiumFlagsWithGarbageCollection(set, commandLine).value_or(QByteArray()), expected);
}

void HostTest::webViewNavigatesToPage() {
    httplib::Server server;
    std::atomic<int> requests{0};
    server.Get("/index.html", [&](const httplib::Request&, httplib::Response& response) {
        ++requests;
        response.set_content("<html><head><meta charset=\"utf-8\"><title>童话 home</title></head>"
                             "<body>hello</body></html>",
                             "text/html; charset=utf-8");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    QVERIFY(port > 0);
    std::jthread serving([&] { server.listen_after_bind(); });
    QVERIFY(pw::testing::ProcessEventsUntil([&] { return server.is_running(); }));

    pw::WebView view;
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);
    view.resize(600, 500);
    // As the program gives them: the address and the mute before the view is shown, when
    // it has no page yet.
    view.SetMuted(true);
    view.Navigate(QStringLiteral("http://127.0.0.1:%1/index.html").arg(port));
    view.show();
    // Navigate returns before the page is there.
    QCOMPARE(finished.count(), 0);
    QVERIFY(finished.wait(kLoadTimeoutMs));
    QCOMPARE(finished.first().first().toBool(), true);
    QCOMPARE(view.title(), QStringLiteral("童话 home"));
    QCOMPARE(requests.load(), 1);
    QVERIFY(view.page()->isAudioMuted());
    server.stop();
}

// The player's scheme lives in the player's own profile: a site page in the web view
// cannot read the player page, Ruffle's files or the current movie, while the player
// page itself can.
void HostTest::sitePageCannotReachThePlayerScheme() {
    httplib::Server server;
    server.Get("/index.html", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><title>site</title></head><body>x</body></html>", "text/html");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    QVERIFY(port > 0);
    std::jthread serving([&] { server.listen_after_bind(); });
    QVERIFY(pw::testing::ProcessEventsUntil([&] { return server.is_running(); }));

    FlashView player;
    QSignalSpy loaded(&player, &FlashView::movieLoaded);
    player.resize(600, 500);
    player.show();
    player.SetMovie(WriteMovie(dir_, QStringLiteral("guarded.swf"), blueMovie_));
    QVERIFY(loaded.wait(kLoadTimeoutMs));
    const QString movie = pw::FlashMovieUrl(StateOf(player).value(QLatin1String("token")).toString()).toString();
    const QString ruffle = pw::FlashPlayerPageUrl().resolved(QUrl(QStringLiteral("ruffle/ruffle.js"))).toString();
    QVERIFY(ReadFromPage(player, ruffle).startsWith(QLatin1String("200:")));

    pw::WebView site;
    QSignalSpy finished(&site, &QWebEngineView::loadFinished);
    site.resize(600, 500);
    site.show();
    site.Navigate(QStringLiteral("http://127.0.0.1:%1/index.html").arg(port));
    QVERIFY(finished.wait(kLoadTimeoutMs));
    for (const QString& url : {pw::FlashPlayerPageUrl().toString(), ruffle, movie}) {
        const QString read = RunScript(site, QStringLiteral(
            "(function (u) { try { const x = new XMLHttpRequest(); x.open('GET', u, false); x.send();"
            " return x.status + ':' + x.responseText.length; } catch (e) { return 'refused'; } })('%1')").arg(url));
        QCOMPARE(read, QStringLiteral("refused"));
    }
    server.stop();
}

void HostTest::linksOnTheSiteHost_data() {
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("onSite");
    const auto row = [](const char* name, const char* site, const char* url, bool onSite) {
        QTest::newRow(name) << QString::fromLatin1(site) << QString::fromLatin1(url) << onSite;
    };
    row("same host and port", "127.0.0.1:8080", "http://127.0.0.1:8080/tovel/a.html", true);
    row("another port", "127.0.0.1:8080", "http://127.0.0.1:8081/tovel/a.html", false);
    row("another host", "127.0.0.1:8080", "http://127.0.0.2:8080/", false);
    row("host in another case", "example.org", "http://EXAMPLE.org/tovel/", true);
    row("https link of an http site", "example.org", "https://example.org/tovel/", true);
    row("https on another port", "example.org", "https://example.org:8443/", false);
    row("http link of an https site", "https://example.org", "http://example.org/tovel/a.html", true);
    row("https site's port written out", "HTTPS://example.org/", "https://example.org:443/tovel/", true);
    row("http, another port, https site", "https://example.org", "http://example.org:8080/", false);
    row("https site on its own port", "https://127.0.0.1:8443", "https://127.0.0.1:8443/tovel/", true);
    row("standard port, site on its own", "https://127.0.0.1:8443", "http://127.0.0.1/tovel/", false);
    row("another scheme", "https://example.org", "ftp://example.org/", false);
}

void HostTest::linksOnTheSiteHost() {
    QFETCH(QString, site);
    QFETCH(QString, url);
    QFETCH(bool, onSite);
    QCOMPARE(pw::IsOnSiteHost(QUrl(url), site), onSite);
}

int main(int argc, char** argv) {
    pw::LetPlayerPagesCollectGarbage(argc, argv);
    pw::RegisterFlashViewScheme();
    QApplication app(argc, argv);
    HostTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "host_test.moc"
