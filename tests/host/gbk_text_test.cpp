// Old movies' GBK text reaches the player as UTF-8: the scheme's copy of a movie, and the
// picture a version 5 movie draws beside the same text in a version 8 movie. Run under
// xvfb-run.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <optional>

#include "core/text.h"
#include "host/flash_scheme.h"
#include "host/flash_view.h"
#include "tests/support/gui_test_support.h"
#include "tests/host/flash_test_support.h"
#include "tools/swf/swf_writer.h"

namespace {

constexpr int kLoadTimeoutMs = 60000;
const std::string kChildUtf8 = "小朋友";

QByteArray ToBytes(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// A white stage with one read-only text field in the device font "_sans".
QByteArray TextMovie(int version, const std::string& text) {
    using namespace pw::swf;
    Movie movie(version, {0, 400 * 20, 0, 160 * 20}, 12);
    movie.Add(SetBackgroundColorTag({255, 255, 255}));
    BitWriter font;
    font.U16(1);
    font.U8(0);  // flags
    font.U8(0);  // language
    font.U8(5);
    for (char c : std::string_view("_sans")) font.U8(static_cast<std::uint8_t>(c));
    font.U16(0);  // no glyphs: a device font
    movie.Add({48, font.Finish()});  // DefineFont2
    BitWriter edit;
    edit.U16(2);
    WriteRect(edit, {0, 380 * 20, 0, 120 * 20});
    edit.U16(0x0080 | 0x0008 | 0x0004 | 0x0001 | 0x1000);  // text, read-only, colour, font, no select
    edit.U16(1);
    edit.U16(64 * 20);
    WriteRgba(edit, {0, 0, 0, 255});
    edit.String("");
    edit.String(text);
    movie.Add({37, edit.Finish()});  // DefineEditText
    Placement place;
    place.characterId = 2;
    place.hasMatrix = true;
    place.matrix = Matrix::Translate(10 * 20, 10 * 20);
    movie.Add(PlaceObject2Tag(place));
    movie.Add(StopActionTag());
    movie.ShowFrame();
    return ToBytes(movie.Finish());
}

int DarkPixels(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) count += qGray(line[x]) < 96 ? 1 : 0;
    }
    return count;
}

// A white picture with text on it: most pixels white, some dark.
bool ShowsText(const QImage& image) {
    const int dark = DarkPixels(image);
    return dark > 200 && dark < image.width() * image.height() / 4;
}

}  // namespace

class GbkTextTest : public QObject {
    Q_OBJECT

private slots:
    void oldMovieIsServedReencoded();
    void oldGbkTextDrawsAsNewUtf8Text();

private:
    QImage Shoot(const QByteArray& movie, const QString& name);
    QTemporaryDir dir_;
};

void GbkTextTest::oldMovieIsServedReencoded() {
    const auto copyOf = [this](const QByteArray& movie) -> std::optional<QByteArray> {
        const QString path = dir_.filePath(QStringLiteral("served.swf"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(movie) != movie.size()) return std::nullopt;
        file.close();
        const auto copy = pw::MovieCopyForPlayer(path, [] { return false; });
        if (!copy) return std::nullopt;
        return QByteArray(reinterpret_cast<const char*>(copy->data()), static_cast<qsizetype>(copy->size()));
    };
    const QByteArray old = TextMovie(5, pw::FromUtf8(kChildUtf8));
    const auto copy = copyOf(old);
    QVERIFY(copy);
    QVERIFY(copy->startsWith(QByteArray("FWS\x06", 4)));
    QVERIFY(copy->contains(QByteArray::fromStdString(kChildUtf8)));
    QVERIFY(!copyOf(TextMovie(8, kChildUtf8)));
    QVERIFY(!copyOf(old.left(old.size() - 1)));
}

QImage GbkTextTest::Shoot(const QByteArray& movie, const QString& name) {
    const QString path = dir_.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(movie) != movie.size()) return {};
    file.close();
    pw::FlashView view;
    QSignalSpy loaded(&view, &pw::FlashView::movieLoaded);
    view.resize(400, 160);
    view.show();
    view.SetMovie(path);
    view.Play();
    if (!loaded.wait(kLoadTimeoutMs)) return {};
    // The text is drawn once the device font has come; then the picture stays.
    QImage shot;
    const bool settled = pw::testing::ProcessEventsUntil([&] {
        const QImage now = view.grab().toImage();
        const bool same = ShowsText(now) && now == shot;
        shot = now;
        return same;
    }, std::chrono::seconds(20));
    if (!settled) qInfo("%s: the picture did not settle with text on it", qPrintable(name));
    const QString folder = qEnvironmentVariable("PEBBLEWICK_TEST_SHOTS");
    if (!folder.isEmpty()) shot.save(QDir(folder).filePath(name + QStringLiteral(".png")));
    return shot;
}

void GbkTextTest::oldGbkTextDrawsAsNewUtf8Text() {
    const QImage modern = Shoot(TextMovie(8, kChildUtf8), QStringLiteral("utf8.swf"));
    QVERIFY2(ShowsText(modern), "the version 8 movie draws no device text");
    // The text is the device font's own glyphs: its outlines of these characters, not of
    // the same ones in another order (tofu boxes would match either alike).
    const QRect field(0, 0, 400, 160);
    const QString text = QString::fromStdString(kChildUtf8);
    QString reversed = text;
    std::reverse(reversed.begin(), reversed.end());
    const QSize shape(3 * 64, 64);
    const auto outline = [&](const QString& characters) {
        const QImage drawn = pw::test::DrawnByFont(pw::DeviceFontFile(), characters, 64);
        return pw::test::InkShape(drawn, drawn.rect(), shape);
    };
    const double own = pw::test::Likeness(pw::test::InkShape(modern, field, shape), outline(text));
    const double other = pw::test::Likeness(pw::test::InkShape(modern, field, shape), outline(reversed));
    qInfo("likeness to the font's outlines: %.2f, to those of the reversed text %.2f", own, other);
    QVERIFY(own > 0.6 && own > other + 0.2);

    const QImage old = Shoot(TextMovie(5, pw::FromUtf8(kChildUtf8)), QStringLiteral("gbk.swf"));
    QVERIFY(ShowsText(old));
    QCOMPARE(old.size(), modern.size());
    QVERIFY(old == modern);
}

int main(int argc, char** argv) {
    pw::RegisterFlashViewScheme();
    QApplication app(argc, argv);
    GbkTextTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "gbk_text_test.moc"
