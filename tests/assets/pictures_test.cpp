#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QSet>

#include "assets/asset_resources.h"

namespace pw {
namespace {

QByteArray ReadResource(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The frame markers of a JPEG (0xC0 to 0xCF except DHT, JPG and DAC), walking the marker
// segments from SOI up to the first scan.
std::vector<int> FrameMarkers(const QByteArray& jpeg) {
    std::vector<int> markers;
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(jpeg[i]); };
    if (jpeg.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8) return markers;
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && byte(at) == 0xFF) {
        const int marker = byte(at + 1);
        if (marker == 0xDA) break;  // start of scan
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) markers.push_back(marker);
        at += 2 + (byte(at + 2) << 8 | byte(at + 3));
    }
    return markers;
}

class AssetPictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitAssetResources(); }
};

TEST_F(AssetPictures, BackgroundIsUniformPinkAsDecoded) {
    const QImage background(BackgroundPicturePath());
    ASSERT_FALSE(background.isNull());
    EXPECT_EQ(background.size(), QSize(730, 700));
    int wrong = 0;
    for (int y = 0; y < background.height(); ++y)
        for (int x = 0; x < background.width(); ++x)
            if (background.pixel(x, y) != qRgb(254, 192, 255)) ++wrong;
    EXPECT_EQ(wrong, 0);
}

TEST_F(AssetPictures, ButtonsAre70By60Drawings) {
    for (int button = 1; button <= 8; ++button) {
        SCOPED_TRACE(button);
        const QImage picture(ButtonPicturePath(button));
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.size(), QSize(70, 60));
        QSet<QRgb> colours;
        for (int y = 0; y < picture.height(); y += 2)
            for (int x = 0; x < picture.width(); x += 2) colours.insert(picture.pixel(x, y));
        EXPECT_GT(colours.size(), 100) << "a drawing, not a plain fill";
    }
}

TEST_F(AssetPictures, JpegsAreBaseline) {
    QStringList paths = {BackgroundPicturePath()};
    for (int button = 1; button <= 8; ++button) paths << ButtonPicturePath(button);
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(FrameMarkers(ReadResource(path)), std::vector<int>{0xC0});
    }
}

TEST_F(AssetPictures, IconIs32By32WithAlpha) {
    const QImage icon(IconPath());
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(32, 32));
    EXPECT_TRUE(icon.hasAlphaChannel());
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << "corners are transparent";
    EXPECT_EQ(qAlpha(icon.pixel(16, 20)), 255) << "the middle is opaque";

    // The .ico holds one 32 x 32 image at 32 bits per pixel.
    const QByteArray ico = ReadResource(QStringLiteral(":/assets/pebblewick.ico"));
    ASSERT_GE(ico.size(), 22);
    const auto u16 = [&](int at) { return static_cast<unsigned char>(ico[at]) | static_cast<unsigned char>(ico[at + 1]) << 8; };
    EXPECT_EQ(u16(2), 1);  // icon type
    EXPECT_EQ(u16(4), 1);  // one image
    EXPECT_EQ(static_cast<unsigned char>(ico[6]), 32);
    EXPECT_EQ(static_cast<unsigned char>(ico[7]), 32);
    EXPECT_EQ(u16(12), 32);
}

}  // namespace
}  // namespace pw
