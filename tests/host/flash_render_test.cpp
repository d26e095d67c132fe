// GUI tests of what the Flash player draws: device-font text in Latin and Chinese, a
// text field's border, a button under real mouse input, and shapes drawn exactly as
// Ruffle draws them in a bare page of its own. Run under xvfb-run.
#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "host/flash_scheme.h"
#include "host/flash_view.h"
#include "tests/support/gui_test_support.h"
#include "tests/host/flash_test_support.h"
#include "tests/host/test_movies.h"
#include "tests/support/fixture_server.h"

using pw::FlashView;
using pw::test::DrawnByFont;
using pw::test::InkShape;
using pw::test::KeepShot;
using pw::test::Likeness;
using pw::test::PixelRect;
using pw::test::PixelsNear;
using pw::test::Rgb;
using pw::test::WriteFile;

namespace {

constexpr int kLoadTimeoutMs = 60000;
constexpr int kDrawTimeoutMs = 15000;
constexpr std::chrono::milliseconds kLoadTimeout{kLoadTimeoutMs};
constexpr std::chrono::milliseconds kDrawTimeout{kDrawTimeoutMs};

// Ruffle in a page of its own, with its default settings but for what a page without a
// user's click needs: start playing at once, no unmute button over the picture.
constexpr char kBarePage[] = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title></title>
<style>
  html, body { margin: 0; padding: 0; width: 100%; height: 100%; overflow: hidden; background: #000; }
  #stage { position: absolute; inset: 0; }
  #stage > * { width: 100%; height: 100%; display: block; }
</style>
<script src="/ruffle/ruffle.js"></script>
</head><body><div id="stage"></div>
<script>
const player = window.RufflePlayer.newest().createPlayer();
const query = new URLSearchParams(location.search);
player.addEventListener("loadedmetadata", () => { document.title = "loaded " + query.get("movie"); });
document.getElementById("stage").appendChild(player);
player.ruffle().load({
  url: query.get("movie"), autoplay: "on", unmuteOverlay: "hidden",
});
</script>
</body></html>
)";

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool IsDark(QRgb pixel) { return qGray(pixel) < 100; }

int DarkPixels(const QImage& image, const QRect& area) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const QRect inside = area.intersected(rgb.rect());
    int count = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = inside.left(); x <= inside.right(); ++x) count += IsDark(line[x]) ? 1 : 0;
    }
    return count;
}

int DarkPixelsOutside(const QImage& image, const QRect& area) {
    return DarkPixels(image, image.rect()) - DarkPixels(image, area);
}

// The smallest rectangle holding every dark pixel; null when there is none.
QRect DarkBounds(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    QRect bounds;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            if (IsDark(line[x])) bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

int DifferingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return a.width() * a.height();
    const QImage left = a.convertToFormat(QImage::Format_RGB32);
    const QImage right = b.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < left.height(); ++y) {
        const auto* l = reinterpret_cast<const QRgb*>(left.constScanLine(y));
        const auto* r = reinterpret_cast<const QRgb*>(right.constScanLine(y));
        for (int x = 0; x < left.width(); ++x) count += l[x] != r[x] ? 1 : 0;
    }
    return count;
}

QRect ToQRect(const PixelRect& r) { return {r.x, r.y, r.width, r.height}; }

// The movie's white stage is on screen (before, the page is black) and the field holds
// something dark.
bool ShowsTextStage(const QImage& shot, const QRect& field) {
    return PixelsNear(shot, qRgb(255, 255, 255)) > shot.width() * shot.height() / 2 && DarkPixels(shot, field) > 0;
}

// Shares of the area's pixels near `colour`, in percent.
int PercentNear(const QImage& image, const QRect& area, std::uint32_t colour) {
    return PixelsNear(image.copy(area), Rgb(colour)) * 100 / std::max(1, area.width() * area.height());
}

// The shapes movie's ground covers much of the picture.
bool ShapesDrawn(const QImage& shot) {
    return PixelsNear(shot, qRgb(250, 240, 200)) > shot.width() * shot.height() / 4;
}

// A FlashView the size of the stage, so that the movie's pixels are the view's.
struct ShownView {
    std::unique_ptr<FlashView> view = std::make_unique<FlashView>();
    qint64 loadMs = -1;  // from SetMovie to movieLoaded
};

std::unique_ptr<ShownView> ShowInFlashView(const QString& path, QSize size) {
    auto shown = std::make_unique<ShownView>();
    FlashView& view = *shown->view;
    QSignalSpy loaded(&view, &FlashView::movieLoaded);
    view.resize(size);
    view.show();
    // The page is ready first, so that the time below is the movie's alone.
    const bool pageReady = pw::testing::ProcessEventsUntil([&] {
        bool answered = false, ready = false;
        view.QueryState([&](QString state) {
            answered = true;
            ready = !state.isEmpty();
        });
        return pw::testing::ProcessEventsUntil([&] { return answered; }, std::chrono::seconds(5)) && ready;
    }, kLoadTimeout);
    if (!pageReady) return shown;
    QElapsedTimer timer;
    timer.start();
    view.SetMovie(path);
    view.Play();
    if (loaded.wait(kLoadTimeoutMs)) shown->loadMs = timer.elapsed();
    return shown;
}

}  // namespace

class FlashRenderTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void drawsDeviceText_data();
    void drawsDeviceText();
    void drawsLatinAndChineseInOneField();
    void drawsTheFontsOwnChineseGlyphs();
    void drawsLatinWhereBareRuffleDoes();
    void drawsFieldBorder();
    void buttonFollowsPointerAndPress();
    void shapesMatchBareRuffle();
    void cleanupTestCase() { bareView_.reset(); }

private:
    QString MovieFile(const QString& name, const std::vector<std::uint8_t>& bytes);
    // A grab of the movie in a bare Ruffle page the size of the stage, once `drawn` holds.
    QImage GrabInBarePage(const QString& name, QSize size, const std::function<bool(const QImage&)>& drawn);
    // Dark pixels of a field, drawn by the program's player.
    int DarkInField(const pw::test::TextMovie& movie, const QString& name);
    QImage FieldShot(const pw::test::TextMovie& movie, const QString& name);

    QTemporaryDir dir_;
    pw::testing::FixtureServer server_;
    QWebEngineProfile bareProfile_;
    std::unique_ptr<QWebEngineView> bareView_;  // goes before the profile
    const QString kLatinName = QStringLiteral("latin-bare.swf");
    const QString kShapesName = QStringLiteral("shapes.swf");
    const pw::test::TextMovie latinMovie_{.text = "Hello kids"};
    const pw::test::ShapesMovie shapesMovie_{};
    QImage bareLatin_;
    QImage bareShapes_;
};

void FlashRenderTest::initTestCase() {
    QVERIFY(dir_.isValid());
    const QString ruffle = pw::RuffleDirectory();
    QVERIFY2(!ruffle.isEmpty(), "the build's ruffle/ folder is missing");
    for (const auto& entry : std::filesystem::directory_iterator(ruffle.toStdString())) {
        const std::string name = entry.path().filename().string();
        std::string type = "application/octet-stream";
        if (name.ends_with(".js")) type = "text/javascript";
        if (name.ends_with(".wasm")) type = "application/wasm";
        server_.Serve("/ruffle/" + name, {.body = ReadWholeFile(entry.path()), .contentType = type});
    }
    server_.Serve("/bare.html", {.body = kBarePage, .contentType = "text/html"});

    // The bare page's pictures are taken first, while no player of the program's has run
    // in this process: after many players a bare page here was seen to stay unloaded.
    const QRect field = ToQRect(latinMovie_.field);
    MovieFile(kLatinName, pw::test::MakeTextMovie(latinMovie_));
    bareLatin_ = GrabInBarePage(kLatinName, {latinMovie_.widthPx, latinMovie_.heightPx},
                                [&](const QImage& shot) { return ShowsTextStage(shot, field); });
    MovieFile(kShapesName, pw::test::MakeShapesMovie(shapesMovie_));
    bareShapes_ = GrabInBarePage(kShapesName, {shapesMovie_.widthPx, shapesMovie_.heightPx}, ShapesDrawn);
    bareView_.reset();
}

QString FlashRenderTest::MovieFile(const QString& name, const std::vector<std::uint8_t>& bytes) {
    server_.Serve("/movie/" + name.toStdString(),
                  {.body = std::string(bytes.begin(), bytes.end()), .contentType = "application/x-shockwave-flash"});
    return WriteFile(dir_, name, bytes);
}

QImage FlashRenderTest::GrabInBarePage(const QString& name, QSize size,
                                       const std::function<bool(const QImage&)>& drawn) {
    // One bare view for the whole test, each movie in a freshly loaded page.
    if (!bareView_) {
        bareView_ = std::make_unique<QWebEngineView>();
        bareView_->setPage(new QWebEnginePage(&bareProfile_, bareView_.get()));
    }
    QWebEngineView& view = *bareView_;
    view.resize(size);
    view.show();
    const QString movieUrl = QString::fromStdString(server_.BaseUrl()) + QStringLiteral("/movie/") + name;
    QUrl url(QString::fromStdString(server_.BaseUrl() + "/bare.html"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("movie"), movieUrl);
    url.setQuery(query);
    view.load(url);
    QImage shot;
    const bool loaded =
        pw::testing::ProcessEventsUntil([&] { return view.title() == QStringLiteral("loaded ") + movieUrl; },
                                        kLoadTimeout);
    const bool shown = loaded && pw::testing::ProcessEventsUntil([&] {
        shot = view.grab().toImage();
        return drawn(shot);
    }, kDrawTimeout);
    view.hide();
    if (!shown) {
        qWarning("bare page: title \"%s\", %s", qPrintable(view.title()), loaded ? "loaded" : "not loaded");
        KeepShot(shot, name + QStringLiteral("-bare-failed.png"));
    }
    return shown ? shot : QImage();
}

// The settled picture of a text movie with something dark in its field; null when the
// movie did not load (`loadFailed`) or its field stayed empty.
QImage FlashRenderTest::FieldShot(const pw::test::TextMovie& movie, const QString& name) {
    const auto shown = ShowInFlashView(MovieFile(name, pw::test::MakeTextMovie(movie)), {movie.widthPx, movie.heightPx});
    if (shown->loadMs < 0) {
        qWarning("%s: the movie did not load", qPrintable(name));
        return {};
    }
    qInfo("%s: movie loaded %lld ms after SetMovie", qPrintable(name), shown->loadMs);
    const QRect field = ToQRect(movie.field);
    QImage shot;
    // Device text comes a little after the stage; an empty field never passes.
    if (!pw::testing::ProcessEventsUntil([&] {
            shot = shown->view->grab().toImage();
            return ShowsTextStage(shot, field);
        }, kDrawTimeout)) {
        KeepShot(shot, name + QStringLiteral("-failed.png"));
        return {};
    }
    // Settled: two grabs in a row agree (a picture still changing is checked as it is).
    (void)pw::testing::ProcessEventsUntil([&] {
        const QImage next = shown->view->grab().toImage();
        const bool same = next == shot;
        shot = next;
        return same;
    }, kDrawTimeout);
    KeepShot(shot, name + QStringLiteral(".png"));
    return shot;
}

int FlashRenderTest::DarkInField(const pw::test::TextMovie& movie, const QString& name) {
    const QImage shot = FieldShot(movie, name);
    if (shot.isNull()) return 0;
    const QRect field = ToQRect(movie.field);
    if (DarkPixelsOutside(shot, field) != 0) return -2;
    return DarkPixels(shot, field);
}

void FlashRenderTest::drawsDeviceText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("version");
    QTest::newRow("Latin") << QStringLiteral("Hello kids") << 8;
    QTest::newRow("Chinese") << QStringLiteral("小朋友你好") << 8;
    QTest::newRow("both") << QStringLiteral("AB 小朋友 CD") << 8;
    QTest::newRow("both, version 6") << QStringLiteral("AB 小朋友 CD") << 6;
    QTest::newRow("both, version 10") << QStringLiteral("AB 小朋友 CD") << 10;
}

// Text in the device font "_sans" shows inside its field and nowhere else.
void FlashRenderTest::drawsDeviceText() {
    QFETCH(QString, text);
    QFETCH(int, version);
    pw::test::TextMovie movie{.version = version, .text = text.toStdString()};
    const QString tag = QString::fromUtf8(QTest::currentDataTag()).remove(QLatin1Char(',')).replace(QLatin1Char(' '), QLatin1Char('-'));
    const int dark = DarkInField(movie, QStringLiteral("text-%1.swf").arg(tag));
    QVERIFY2(dark != -2, "dark pixels outside the text field");
    QVERIFY2(dark > 200, qPrintable(QStringLiteral("%1 dark pixels in the field").arg(dark)));
}

// One field with both scripts: the Chinese is drawn beside the Latin, not dropped.
void FlashRenderTest::drawsLatinAndChineseInOneField() {
    const int latin = DarkInField({.text = "AB  CD"}, QStringLiteral("mixed-latin.swf"));
    const int chinese = DarkInField({.text = "小朋友"}, QStringLiteral("mixed-chinese.swf"));
    const int both = DarkInField({.text = "AB 小朋友 CD"}, QStringLiteral("mixed-both.swf"));
    qInfo("dark pixels: Latin %d, Chinese %d, both %d", latin, chinese, both);
    QVERIFY(latin > 100);
    QVERIFY(chinese > 200);
    QVERIFY(both > latin + chinese * 3 / 4);
    QVERIFY(both < (latin + chinese) * 5 / 4);
}

// Each Chinese character is drawn as the device font's own glyph for it: two characters
// do not look alike (as tofu boxes would), and each looks like the font's outline of
// itself more than like that of the other.
void FlashRenderTest::drawsTheFontsOwnChineseGlyphs() {
    const QStringList characters{QStringLiteral("小"), QStringLiteral("朋")};
    QList<QImage> drawn;
    QList<QImage> outlines;
    for (const QString& character : characters) {
        const pw::test::TextMovie movie{.fontPx = 48, .text = character.toStdString()};
        const QImage shot = FieldShot(movie, QStringLiteral("glyph-%1.swf").arg(drawn.size()));
        QVERIFY2(!shot.isNull(), "no text drawn");
        drawn.append(InkShape(shot, ToQRect(movie.field)));
        const QImage outline = DrawnByFont(pw::DeviceFontFile(), character, movie.fontPx);
        outlines.append(InkShape(outline, outline.rect()));
        QVERIFY2(!outlines.last().isNull(), "the device font has no outline for the character");
    }
    const double alike = Likeness(drawn[0], drawn[1]);
    qInfo("the two characters drawn: likeness %.2f", alike);
    QVERIFY2(alike < 0.5, "two different characters are drawn alike");
    for (qsizetype i = 0; i < characters.size(); ++i) {
        const double own = Likeness(drawn[i], outlines[i]);
        const double other = Likeness(drawn[i], outlines[1 - i]);
        qInfo("%s drawn: likeness %.2f to its outline, %.2f to the other's", qPrintable(characters[i]), own, other);
        QVERIFY2(own > 0.6 && own > other + 0.2, qPrintable(characters[i]));
    }
}

// Latin device text: Ruffle alone draws it with its own font; the program draws it at
// the same size and place.
void FlashRenderTest::drawsLatinWhereBareRuffleDoes() {
    const pw::test::TextMovie& movie = latinMovie_;
    const QString name = kLatinName;
    const QSize size(movie.widthPx, movie.heightPx);
    const QRect field = ToQRect(movie.field);
    const QImage& bare = bareLatin_;
    QVERIFY2(!bare.isNull(), "the bare page drew no text");
    KeepShot(bare, QStringLiteral("latin-bare-page.png"));
    const auto shown = ShowInFlashView(dir_.filePath(name), size);
    QVERIFY(shown->loadMs >= 0);
    QImage ours;
    QVERIFY(pw::testing::ProcessEventsUntil([&] {
        ours = shown->view->grab().toImage();
        return ShowsTextStage(ours, field) && DarkBounds(ours).width() >= DarkBounds(bare).width() * 3 / 4;
    }, kDrawTimeout));
    KeepShot(ours, QStringLiteral("latin-program.png"));
    const QRect a = DarkBounds(bare);
    const QRect b = DarkBounds(ours);
    qInfo("text bounds: bare page %d,%d %dx%d; program %d,%d %dx%d", a.x(), a.y(), a.width(), a.height(), b.x(),
          b.y(), b.width(), b.height());
    QVERIFY(field.contains(a) && field.contains(b));
    QVERIFY(qAbs(a.left() - b.left()) <= 4);
    QVERIFY(qAbs(a.center().y() - b.center().y()) <= 6);
    QVERIFY(qAbs(a.height() - b.height()) <= a.height() / 3);
    QVERIFY(qAbs(a.width() - b.width()) <= a.width() / 3);
}

// A bordered field: a dark frame along the field's edges, the text inside it.
void FlashRenderTest::drawsFieldBorder() {
    const pw::test::TextMovie movie{.text = "AB 小朋友 CD", .border = true};
    const auto shown = ShowInFlashView(MovieFile(QStringLiteral("border.swf"), pw::test::MakeTextMovie(movie)),
                                       {movie.widthPx, movie.heightPx});
    QVERIFY(shown->loadMs >= 0);
    const QRect field = ToQRect(movie.field);
    const QRect inner = field.adjusted(3, 3, -3, -3);
    const auto frameDrawn = [&](const QImage& shot) {
        // Each edge: a dark line within a pixel or two of where the field says.
        for (const QRect& edge : {QRect(field.left() - 1, field.top() - 1, field.width() + 2, 3),
                                  QRect(field.left() - 1, field.bottom() - 1, field.width() + 2, 3),
                                  QRect(field.left() - 1, field.top() - 1, 3, field.height() + 2),
                                  QRect(field.right() - 1, field.top() - 1, 3, field.height() + 2)}) {
            if (DarkPixels(shot, edge) < std::max(edge.width(), edge.height()) * 9 / 10) return false;
        }
        return true;
    };
    QImage shot;
    QVERIFY(pw::testing::ProcessEventsUntil([&] {
        shot = shown->view->grab().toImage();
        return ShowsTextStage(shot, field) && frameDrawn(shot) && DarkPixels(shot, inner) > 300;
    }, kDrawTimeout));
    KeepShot(shot, QStringLiteral("border.png"));
    QCOMPARE(DarkPixelsOutside(shot, field.adjusted(-2, -2, 2, 2)), 0);
}

// Real mouse events reach the movie: the button shows its over and down states.
void FlashRenderTest::buttonFollowsPointerAndPress() {
    const pw::test::ButtonMovie movie;
    const auto shown = ShowInFlashView(MovieFile(QStringLiteral("button.swf"), pw::test::MakeButtonMovie(movie)),
                                       {movie.widthPx, movie.heightPx});
    QVERIFY(shown->loadMs >= 0);
    FlashView& view = *shown->view;
    const QRect button = ToQRect(movie.button);
    const auto showing = [&](std::uint32_t colour) { return PercentNear(view.grab().toImage(), button, colour) > 90; };
    QTRY_VERIFY_WITH_TIMEOUT(showing(movie.upRgb), kDrawTimeoutMs);

    // Events go to the widget that the engine draws into and reads input from. Moves go
    // through the view's window: moving to a widget warps the display's one pointer,
    // which another test program's window at that place would take.
    QWidget* target = view.focusProxy() ? view.focusProxy() : &view;
    const auto moveTo = [&](QPoint at) {
        QTest::mouseMove(view.window()->windowHandle(), target->mapTo(view.window(), at));
    };
    const QPoint outside(20, 20);
    const QPoint centre = button.center();
    moveTo(outside);
    // A move that comes before the player takes input is lost: the pointer moves within
    // the button until the over state shows.
    int nudge = 0;
    QTRY_VERIFY_WITH_TIMEOUT((moveTo(centre + QPoint(++nudge % 2, 0)), showing(movie.overRgb)), kDrawTimeoutMs);
    QTest::mousePress(target, Qt::LeftButton, {}, centre);
    QTRY_VERIFY_WITH_TIMEOUT(showing(movie.downRgb), kDrawTimeoutMs);
    KeepShot(view.grab().toImage(), QStringLiteral("button-down.png"));
    QTest::mouseRelease(target, Qt::LeftButton, {}, centre);
    QTRY_VERIFY_WITH_TIMEOUT(showing(movie.overRgb), kDrawTimeoutMs);
    moveTo(outside);
    QTRY_VERIFY_WITH_TIMEOUT(showing(movie.upRgb), kDrawTimeoutMs);
    // Nothing but the button changed: the stage around it stayed white.
    const QImage shot = view.grab().toImage();
    QCOMPARE(PixelsNear(shot, qRgb(255, 255, 255)), movie.widthPx * movie.heightPx - button.width() * button.height());
}

// A movie without device text looks the same, pixel for pixel, as in a bare Ruffle page.
void FlashRenderTest::shapesMatchBareRuffle() {
    const pw::test::ShapesMovie& movie = shapesMovie_;
    const QString name = kShapesName;
    const QSize size(movie.widthPx, movie.heightPx);
    const auto drawn = ShapesDrawn;
    const QImage& bare = bareShapes_;
    QVERIFY2(!bare.isNull(), "the bare page drew nothing");
    const auto shown = ShowInFlashView(dir_.filePath(name), size);
    QVERIFY(shown->loadMs >= 0);
    QImage ours;
    int differing = -1;
    // The first frames may still be on their way; the picture settles on the bare page's.
    (void)pw::testing::ProcessEventsUntil([&] {
        ours = shown->view->grab().toImage();
        differing = drawn(ours) ? DifferingPixels(bare, ours) : -1;
        return differing == 0;
    }, kDrawTimeout);
    KeepShot(bare, QStringLiteral("shapes-bare-page.png"));
    KeepShot(ours, QStringLiteral("shapes-program.png"));
    qInfo("shapes: %d of %d pixels differ from the bare page", differing, size.width() * size.height());
    QCOMPARE(ours.size(), bare.size());
    QCOMPARE(differing, 0);
}

int main(int argc, char** argv) {
    pw::RegisterFlashViewScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    FlashRenderTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "flash_render_test.moc"
